#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/core/Error.hpp"

#include <functional>
#include <memory>
#include <vector>

namespace vantrel {

/// Completion of a read of one record: the record (none when nothing matched) and the error.
/// Nothing found is never an error.
template <class T>
using RecordResultBlock = std::function<void(std::shared_ptr<T> record, OptionalError error)>;

/// Completion of a list read: the records (never absent, empty when none) and the error.
template <class T>
using RecordsResultBlock = std::function<void(std::vector<std::shared_ptr<T>> records, OptionalError error)>;

/// Completion of a count: the number of matching records (0 on failure) and the error.
using CountResultBlock = std::function<void(int count, OptionalError error)>;

/// Completion of a save or delete: the record that was passed in and the error.
template <class T>
using EntityResultBlock = std::function<void(std::shared_ptr<T> record, OptionalError error)>;

}  // namespace vantrel

#pragma GCC visibility pop
