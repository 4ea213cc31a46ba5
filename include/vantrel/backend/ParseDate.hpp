#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace vantrel {

/// A point in time as the backend stores it: UTC with millisecond precision.
using ParseDate = std::chrono::time_point<std::chrono::system_clock, std::chrono::milliseconds>;

/// The backend's text form of a date: "2024-05-01T12:30:00.123Z".
std::string formatParseDate(ParseDate date);

/// Reads an ISO 8601 date-time in UTC ("Z", or an offset such as "+02:00"), with or without
/// fractional seconds; none when the text is not one.
std::optional<ParseDate> parseParseDate(std::string_view text);

}  // namespace vantrel

#pragma GCC visibility pop
