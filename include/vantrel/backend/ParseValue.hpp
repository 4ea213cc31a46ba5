#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/backend/ParseDate.hpp"
#include "vantrel/backend/ParseFile.hpp"
#include "vantrel/backend/ParseRelation.hpp"

#include <nlohmann/json.hpp>

#include <concepts>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace vantrel {

class ParseObject;

/// One value stored under a key of a ParseObject (or nested inside an array or dictionary).
///
/// Every kind stays apart: an absent key, a stored null, a boolean, an integer, a double, a
/// string, a date, a pointer to another object (a stub with only its id, or filled when the
/// query included it), a relation, a file, an array and a dictionary. In particular an integer 2
/// and a double 2.0 are different values: JSON numbers written without a fraction or exponent
/// decode as integers, all others as doubles, and doubles are always encoded with a fraction.
///
/// What the server keeps is another matter: Parse stores a Number column as double precision,
/// and its JSON writer prints integral doubles without a fraction, so a double 2.0 saved to the
/// server reads back as the integer 2 (2.5 stays a double). Readers that want a floating value
/// therefore use `asDouble()`, which also accepts integers; `asInteger()` accepts integers only.
class ParseValue {
public:
    /// The kinds of value.
    enum class Kind { absent, null, boolean, integer, number, string, date, pointer, relation, file, array, object };
    /// An array value.
    using Array = std::vector<ParseValue>;
    /// A dictionary value (keys sorted).
    using Object = std::map<std::string, ParseValue>;

    /// An absent value (what reading a missing key gives).
    ParseValue() noexcept = default;
    /// A stored null.
    ParseValue(std::nullptr_t) noexcept;  // NOLINT(google-explicit-constructor)
    /// A boolean.
    ParseValue(bool value) noexcept;  // NOLINT(google-explicit-constructor)
                                      /// An integer.
                                      // clang-format off
    template <std::integral T>
        requires(!std::same_as<T, bool>)
    ParseValue(T value) noexcept  // NOLINT(google-explicit-constructor)
                                      // clang-format on
        : storage_(static_cast<std::int64_t>(value)) {}
    /// A double (kept a double even when integral).
    ParseValue(double value) noexcept;  // NOLINT(google-explicit-constructor)
    /// A string.
    ParseValue(std::string value);       // NOLINT(google-explicit-constructor)
    ParseValue(const char* value);       // NOLINT(google-explicit-constructor)
    ParseValue(std::string_view value);  // NOLINT(google-explicit-constructor)
    /// A date.
    ParseValue(ParseDate value) noexcept;  // NOLINT(google-explicit-constructor)
                                           /// A pointer to an object (a null shared_ptr gives a stored null).
                                           // clang-format off
    template <class T>
        requires std::derived_from<T, ParseObject>
    ParseValue(std::shared_ptr<T> object)  // NOLINT(google-explicit-constructor)
                                           // clang-format on
        : ParseValue(std::static_pointer_cast<ParseObject>(std::move(object)), PointerTag{}) {}
    /// A relation.
    ParseValue(ParseRelation value);  // NOLINT(google-explicit-constructor)
    /// A file.
    ParseValue(ParseFile value);  // NOLINT(google-explicit-constructor)
    /// An array.
    ParseValue(Array value);  // NOLINT(google-explicit-constructor)
    /// A dictionary.
    ParseValue(Object value);  // NOLINT(google-explicit-constructor)

    /// The stored null.
    static ParseValue null() noexcept { return ParseValue(nullptr); }

    /// The kind of value held.
    [[nodiscard]] Kind kind() const noexcept;
    /// True for the value of a key that is not set.
    [[nodiscard]] bool isAbsent() const noexcept { return kind() == Kind::absent; }
    /// True for a stored null.
    [[nodiscard]] bool isNull() const noexcept { return kind() == Kind::null; }
    /// True for integers and doubles.
    [[nodiscard]] bool isNumber() const noexcept { return kind() == Kind::integer || kind() == Kind::number; }

    /// The boolean, none for other kinds.
    [[nodiscard]] std::optional<bool> asBool() const noexcept;
    /// The integer, none for other kinds (doubles included).
    [[nodiscard]] std::optional<std::int64_t> asInteger() const noexcept;
    /// The double, or an integer widened to double; none for other kinds.
    [[nodiscard]] std::optional<double> asDouble() const noexcept;
    /// The string, none for other kinds.
    [[nodiscard]] std::optional<std::string> asString() const;
    /// The string without copying, nullptr for other kinds. Not available on temporaries (the
    /// pointer would dangle): keep the value in a variable first.
    [[nodiscard]] const std::string* stringValue() const& noexcept;
    const std::string* stringValue() const&& = delete;
    /// The date; a string holding an ISO 8601 date-time also reads as one (live events carry
    /// some dates as plain text). None otherwise.
    [[nodiscard]] std::optional<ParseDate> asDate() const;
    /// The pointed-to object, nullptr for other kinds.
    [[nodiscard]] std::shared_ptr<ParseObject> asObject() const;
    /// The pointed-to object when it is a `T`, else nullptr.
    template <class T>
    [[nodiscard]] std::shared_ptr<T> asObject() const {
        return std::dynamic_pointer_cast<T>(asObject());
    }
    /// The relation, none for other kinds.
    [[nodiscard]] std::optional<ParseRelation> asRelation() const;
    /// The file, none for other kinds.
    [[nodiscard]] std::optional<ParseFile> asFile() const;
    /// The array without copying, nullptr for other kinds (not on temporaries, as above).
    [[nodiscard]] const Array* array() const& noexcept;
    const Array* array() const&& = delete;
    /// The dictionary without copying, nullptr for other kinds (not on temporaries, as above).
    [[nodiscard]] const Object* object() const& noexcept;
    const Object* object() const&& = delete;
    /// A copy of the array, none for other kinds.
    [[nodiscard]] std::optional<Array> asArray() const;
    /// A copy of the dictionary, none for other kinds.
    [[nodiscard]] std::optional<Object> asDictionary() const;

    /// The value in the backend's JSON encoding: dates as {"__type":"Date"}, objects as pointers
    /// {"__type":"Pointer"}, relations, files; absent encodes as JSON null.
    [[nodiscard]] nlohmann::json toJSON() const;
    /// Decodes the backend's JSON encoding. Pointers become stub objects and embedded objects
    /// ({"__type":"Object"}) filled ones, both made through the class registry of ParseObject.
    /// Unknown "__type" values (GeoPoint, Bytes...) stay dictionaries.
    static ParseValue fromJSON(const nlohmann::json& json);

    /// Deep equality; objects compare by class and id (identity when unsaved), so two stubs of
    /// one record are equal.
    friend bool operator==(const ParseValue& a, const ParseValue& b);

private:
    struct PointerTag {};
    ParseValue(std::shared_ptr<ParseObject> object, PointerTag);

    using Storage = std::variant<std::monostate, std::nullptr_t, bool, std::int64_t, double, std::string, ParseDate,
                                 std::shared_ptr<ParseObject>, ParseRelation, ParseFile, Array, Object>;
    Storage storage_;
};

}  // namespace vantrel

#pragma GCC visibility pop
