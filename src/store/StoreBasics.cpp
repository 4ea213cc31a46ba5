// Store errors, attribute values and predicates: the small pieces the store is made of.

#include "vantrel/store/AttributeValue.hpp"
#include "vantrel/store/FetchRequest.hpp"
#include "vantrel/store/StoreError.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <stdexcept>

namespace vantrel {

Error makeStoreError(StoreErrorCode code, std::string message, nlohmann::json userInfo) {
    return Error(std::string(kStoreErrorDomain), static_cast<long>(code), std::move(message), std::move(userInfo));
}

bool isStoreError(const Error& error, StoreErrorCode code) noexcept {
    return error.domain == kStoreErrorDomain && error.code == static_cast<long>(code);
}

bool attributeValuesEqual(const AttributeValue& a, const AttributeValue& b) noexcept {
    const auto number = [](const AttributeValue& v) -> std::optional<double> {
        if (const auto* i = std::get_if<std::int64_t>(&v)) return static_cast<double>(*i);
        if (const auto* d = std::get_if<double>(&v)) return *d;
        return std::nullopt;
    };
    const auto x = number(a);
    const auto y = number(b);
    if (x && y) return *x == *y;
    return a == b;
}

double secondsSince1970(Date date) noexcept { return std::chrono::duration<double>(date.time_since_epoch()).count(); }

Date dateFromSecondsSince1970(double seconds) noexcept {
    // A stored number can be anything: beyond what a date holds (about ±292 years around 1970 in
    // nanoseconds) it is the nearest date there is, and not a number is 1970 itself.
    using Seconds = std::chrono::duration<double>;
    const double earliest = std::chrono::duration_cast<Seconds>(Date::duration::min()).count();
    const double latest = std::chrono::duration_cast<Seconds>(Date::duration::max()).count();
    if (std::isnan(seconds)) return Date{};
    // A second inside the ends: their doubles are rounded, and the cast must not step past them.
    if (seconds <= earliest + 1.0) return Date(Date::duration::min());
    if (seconds >= latest - 1.0) return Date(Date::duration::max());
    return Date(std::chrono::duration_cast<Date::duration>(Seconds(seconds)));
}

namespace {

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
    return text;
}

// Splits at " AND " (any case, surrounded by blanks).
std::vector<std::string_view> conjuncts(std::string_view format) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (std::size_t i = 0; i + 5 <= format.size(); ++i) {
        const auto word = format.substr(i, 5);
        const bool isAnd = std::isspace(static_cast<unsigned char>(word[0])) &&
                           std::toupper(static_cast<unsigned char>(word[1])) == 'A' &&
                           std::toupper(static_cast<unsigned char>(word[2])) == 'N' &&
                           std::toupper(static_cast<unsigned char>(word[3])) == 'D' &&
                           std::isspace(static_cast<unsigned char>(word[4]));
        if (isAnd) {
            parts.push_back(format.substr(start, i - start));
            start = i + 5;
            i += 4;
        }
    }
    parts.push_back(format.substr(start));
    return parts;
}

}  // namespace

Predicate::Predicate(std::string_view format, std::vector<AttributeValue> arguments) {
    std::size_t next = 0;
    for (auto part : conjuncts(format)) {
        part = trimmed(part);
        bool equal = true;
        auto op = part.find("==");
        if (op == std::string_view::npos) {
            op = part.find("!=");
            equal = false;
        }
        if (op == std::string_view::npos)
            throw std::invalid_argument("predicate: expected \"key == %@\" or \"key != %@\"");
        const auto key = trimmed(part.substr(0, op));
        const auto placeholder = trimmed(part.substr(op + 2));
        const bool keyIsName = !key.empty() && std::all_of(key.begin(), key.end(), [](char c) {
            return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
        });
        if (!keyIsName || placeholder != "%@")
            throw std::invalid_argument("predicate: expected \"key == %@\" or \"key != %@\"");
        if (next >= arguments.size()) throw std::invalid_argument("predicate: fewer arguments than %@");
        comparisons_.push_back({std::string(key), equal, std::move(arguments[next++])});
    }
    if (next != arguments.size()) throw std::invalid_argument("predicate: more arguments than %@");
}

}  // namespace vantrel
