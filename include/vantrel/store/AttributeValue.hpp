#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <chrono>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace vantrel {

/// A point in time as the store keeps it (seconds since 1970, with fractions).
using Date = std::chrono::system_clock::time_point;
/// Binary data as the store keeps it.
using Blob = std::vector<std::uint8_t>;

/// The value of one attribute of a managed object. `std::monostate` stands for "no value" (nil);
/// integers of every width are held as 64 bits, floats of every width as double.
using AttributeValue = std::variant<std::monostate, std::int64_t, double, bool, std::string, Blob, Date>;

/// Equality of attribute values as the store's predicates see it: integers and floats compare by
/// number, everything else by type and value; "no value" equals only "no value".
bool attributeValuesEqual(const AttributeValue& a, const AttributeValue& b) noexcept;

/// Seconds since 1970 of `date`.
double secondsSince1970(Date date) noexcept;
/// The date `seconds` after 1970; beyond the dates `Date` holds, the nearest of them, and 1970 for NaN.
Date dateFromSecondsSince1970(double seconds) noexcept;

}  // namespace vantrel

#pragma GCC visibility pop
