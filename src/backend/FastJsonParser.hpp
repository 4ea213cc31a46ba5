#pragma once

// The fast JSON parser's reading of one text, for the files that read its document directly.
// Every file including this header is compiled with SIMDJSON_THREADS_ENABLED=1 (see CMakeLists).

#include <simdjson.h>

#include <cstddef>
#include <string_view>

namespace vantrel::backend_detail {

/// `text` as read by the fast parser, valid while this lives. Each thread keeps one parser for
/// texts up to 256 KiB, its buffers reused from text to text; a larger text, or one read while the
/// thread's parser is still in use (a factory that parses while its record is decoded), gets a
/// parser of its own. A parser that cannot have its memory answers MEMALLOC.
class ParsedJson {
public:
    ParsedJson(std::string_view text, std::size_t maximumDepth);
    ~ParsedJson();
    ParsedJson(const ParsedJson&) = delete;
    ParsedJson& operator=(const ParsedJson&) = delete;

    /// The document's root, or why there is none (DEPTH_ERROR beyond the depth, say).
    [[nodiscard]] const simdjson::simdjson_result<simdjson::dom::element>& result() const noexcept { return result_; }

private:
    simdjson::dom::parser own_;
    bool holdsThreadParser_ = false;
    simdjson::simdjson_result<simdjson::dom::element> result_;
};

}  // namespace vantrel::backend_detail
