#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <optional>
#include <string>
#include <string_view>

namespace vantrel {

/// The text without the white space and line breaks at both ends. Besides ASCII blanks and control
/// line breaks it trims the Unicode space separators and line/paragraph separators (UTF-8 encoded).
[[nodiscard]] std::string_view trimmingWhitespaceAndNewlines(std::string_view text);

/// True when a text holds something: it is present and not empty once white space and line breaks
/// are trimmed from both ends. Records use it to decide whether a path, identifier or name is set.
[[nodiscard]] bool isNotBlank(const std::optional<std::string>& text);
/// The same test for a text that is always present.
[[nodiscard]] bool isNotBlank(std::string_view text);
/// The same test for a text that is always present.
[[nodiscard]] bool isNotBlank(const std::string& text);
/// The same test for a C string; a null pointer counts as absent.
[[nodiscard]] bool isNotBlank(const char* text);

}  // namespace vantrel

#pragma GCC visibility pop
