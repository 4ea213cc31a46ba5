#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/core/Error.hpp"

#include <utility>
#include <variant>

namespace vantrel {

/// A value or the Error that prevented it: how operations that "throw" on the platform report
/// failure here, without exceptions crossing the API.
template <class T>
class Expected {
public:
    Expected(T value) : storage_(std::in_place_index<0>, std::move(value)) {}  // NOLINT(google-explicit-constructor)
    Expected(Error error)
        : storage_(std::in_place_index<1>, std::move(error)) {}  // NOLINT(google-explicit-constructor)

    /// True when a value is held.
    [[nodiscard]] bool hasValue() const noexcept { return storage_.index() == 0; }
    explicit operator bool() const noexcept { return hasValue(); }
    /// The value; only when `hasValue()`.
    [[nodiscard]] const T& value() const& { return std::get<0>(storage_); }
    [[nodiscard]] T&& value() && { return std::get<0>(std::move(storage_)); }
    const T& operator*() const& { return value(); }
    const T* operator->() const { return &value(); }
    /// The error; only when `!hasValue()`.
    [[nodiscard]] const Error& error() const& { return std::get<1>(storage_); }

private:
    std::variant<T, Error> storage_;
};

}  // namespace vantrel

#pragma GCC visibility pop
