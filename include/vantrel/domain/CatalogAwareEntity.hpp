#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/backend/ParseObject.hpp"
#include "vantrel/domain/BackendRecord.hpp"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vantrel {

class CatalogEntity;

/// Base of the records that belong to one catalogue: components, materials, scenes, list items
/// and anchor objects. Has no backend class of its own.
class CatalogAwareEntity : public BackendRecord<ParseObject> {
public:
    /// The catalogue under "catalog". Every catalogue record carries one; a record without it is
    /// malformed and gives none here, so callers can drop it.
    [[nodiscard]] std::shared_ptr<CatalogEntity> catalog() const;
    /// Who is editing the record, from "inDraftBy", trimmed; none when absent or not text.
    [[nodiscard]] std::optional<std::string> inDraftBy() const;
    /// True while someone edits the record: `inDraftBy` holds something besides blanks.
    [[nodiscard]] bool isInDraft() const;
    /// The file-cache keys of every file the record refers to, so that they can be removed with
    /// the record. None for records without files.
    [[nodiscard]] virtual std::vector<std::string> cachedFileKeys() const;

protected:
    /// A new, unsaved record of backend class `className`.
    explicit CatalogAwareEntity(std::string className);
};

}  // namespace vantrel

#pragma GCC visibility pop
