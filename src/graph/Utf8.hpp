#pragma once

// UTF-8 decoding for text geometry. Private to the scene graph.

#include <string_view>
#include <vector>

namespace vantrel::graph_internal {

/// The code points of `text`; malformed sequences, surrogates and overlong forms each give U+FFFD.
std::vector<char32_t> decodeUtf8(std::string_view text);

}  // namespace vantrel::graph_internal
