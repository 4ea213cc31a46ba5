#pragma once

#include <nlohmann/json.hpp>

#include <cstddef>
#include <string_view>

namespace vantrel::backend_detail {

/// Deepest nesting of arrays and objects accepted in a document from outside. The value decoder,
/// JSON copies and encoders recurse once per level, so a deeper document is refused while it is
/// read, before any of them sees it.
inline constexpr std::size_t kMaximumJsonDepth = 256;

/// Parses `text` (a server answer, a LiveQuery frame, a stored file); a document that is not JSON
/// or is nested deeper than `maximumDepth` comes back discarded (`is_discarded()`).
nlohmann::json parseJsonDocument(std::string_view text, std::size_t maximumDepth = kMaximumJsonDepth);

/// Makes the JSON parser's process-wide machinery (the parser implementation chosen for this CPU)
/// now. The library builds it on first use and destroys it at exit in the reverse order of making;
/// made before the transport libraries' exit stops are registered, it outlives the threads they end.
void prepareJsonParsing();

/// Whether `text` nests arrays and objects deeper than `maximumDepth` (brackets inside strings do
/// not count). Linear, no allocation.
bool isNestedDeeperThan(std::string_view text, std::size_t maximumDepth);

}  // namespace vantrel::backend_detail
