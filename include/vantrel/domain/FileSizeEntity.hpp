#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/domain/EmbeddedEntity.hpp"

#include <cstdint>
#include <string>

namespace vantrel {

/// The size of one file of a model download, from a record's "fileSizes".
class FileSizeEntity : public EmbeddedRecord<FileSizeEntity> {
public:
    /// The file's key, from "filePath"; empty when absent.
    [[nodiscard]] std::string filePath() const;
    /// The size in bytes, from "size"; 0 when absent or not an integer.
    [[nodiscard]] std::int64_t size() const;
};

}  // namespace vantrel

#pragma GCC visibility pop
