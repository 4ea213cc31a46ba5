#pragma once

// What log lines may quote of network traffic. Lines are redacted where they are built: header
// values by an allow-list, credential fields of JSON bodies replaced, query strings of URLs (the
// signatures of signed URLs) cut, and long bodies truncated.

#include <cstddef>
#include <string>
#include <string_view>

namespace vantrel::detail {

/// What stands in place of a withheld value.
inline constexpr std::string_view kRedacted = "<redacted>";
/// Bodies quoted in log lines are cut after this many bytes.
inline constexpr std::size_t kLoggedBodyLimit = 2048;

/// Whether the value of this header may appear in a log line (names compare case-insensitively).
bool isLoggableHeader(std::string_view name);
/// `url` without its query string: "https://host/path?<redacted>".
std::string redactedUrl(std::string_view url);
/// `body` (JSON or any text) as a log line may quote it: cut to `limit` bytes, the string values
/// of credential keys ("password", "sessionToken", "clientKey" and the other keys of the backend)
/// replaced, and URLs in string values without their query strings. Works on cut documents too.
std::string loggableBody(std::string_view body, std::size_t limit = kLoggedBodyLimit);

}  // namespace vantrel::detail
