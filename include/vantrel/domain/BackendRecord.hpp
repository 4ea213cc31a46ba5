#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/backend/ParseDate.hpp"
#include "vantrel/backend/ParseObject.hpp"

#include <concepts>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace vantrel {

/// What every backend record class adds to the backend client's object class `Base` (ParseObject,
/// or ParseUser and ParseRole for accounts): identity by object id and the record's dates.
///
/// Records fetched twice from the backend are two instances of one record; comparing and hashing
/// by object id makes them equal, so sets and maps of records see one entry per record. A record
/// that was never saved has no id and is equal only to itself.
// clang-format off
template <class Base>
    requires std::derived_from<Base, ParseObject>
class BackendRecord : public Base {
    // clang-format on
public:
    using Base::Base;

    /// The object id; none until the record is saved.
    [[nodiscard]] std::optional<std::string> id() const { return this->objectId(); }
    /// When the backend created the record.
    [[nodiscard]] std::optional<ParseDate> _createdAt() const { return this->createdAt(); }
    /// When the backend last updated the record.
    [[nodiscard]] std::optional<ParseDate> _updatedAt() const { return this->updatedAt(); }

    /// Equal to another record with the same object id. Without an id of its own the record is
    /// equal only to itself, and a record with an id never equals one without.
    [[nodiscard]] bool isEqual(const ParseObject& other) const override {
        const auto ownId = this->objectId();
        if (!ownId) return Base::isEqual(other);
        const auto otherId = other.objectId();
        return otherId && *otherId == *ownId;
    }

    /// The hash of the object id, or of the instance when there is no id yet.
    [[nodiscard]] std::size_t hash() const override {
        if (const auto ownId = this->objectId()) return std::hash<std::string>()(*ownId);
        return Base::hash();
    }
};

/// Hashes a record pointer by the record's `hash()`, for unordered containers of records.
struct RecordHash {
    // clang-format off
    template <class T>
        requires std::derived_from<T, ParseObject>
    std::size_t operator()(const std::shared_ptr<T>& record) const {
        // clang-format on
        return record ? record->hash() : 0;
    }
};

/// Compares record pointers by the records' `isEqual`, for unordered containers of records.
struct RecordEqual {
    // clang-format off
    template <class T, class U>
        requires std::derived_from<T, ParseObject> && std::derived_from<U, ParseObject>
    bool operator()(const std::shared_ptr<T>& a, const std::shared_ptr<U>& b) const {
        // clang-format on
        if (!a || !b) return !a && !b;
        return a->isEqual(*b);
    }
};

}  // namespace vantrel

#pragma GCC visibility pop
