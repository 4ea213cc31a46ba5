#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/store/AttributeValue.hpp"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

class EntityDescription;

/// A condition on an object's attributes, written in the platform's predicate format. The forms
/// understood are comparisons "key == %@" and "key != %@", joined by "AND"; each "%@" takes the
/// next argument in order.
class Predicate {
public:
    /// One comparison of the condition.
    struct Comparison {
        std::string key;
        bool equal = true;
        AttributeValue value;
    };

    /// @throw std::invalid_argument when `format` is not of the forms above or the number of
    ///        arguments differs from the number of "%@".
    Predicate(std::string_view format, std::vector<AttributeValue> arguments);

    [[nodiscard]] const std::vector<Comparison>& comparisons() const noexcept { return comparisons_; }

private:
    std::vector<Comparison> comparisons_;
};

/// What to read from a context: every object of one entity, optionally only those that satisfy a
/// predicate. Results come in the store's order: saved objects in the order they were first saved,
/// then objects inserted since, in the order of insertion. Unsaved changes count: an object changed
/// so that it matches is found, a deleted one is not.
struct FetchRequest {
    std::string entityName;
    std::optional<Predicate> predicate;

    explicit FetchRequest(std::string entityName, std::optional<Predicate> predicate = std::nullopt)
        : entityName(std::move(entityName)), predicate(std::move(predicate)) {}
};

}  // namespace vantrel

#pragma GCC visibility pop
