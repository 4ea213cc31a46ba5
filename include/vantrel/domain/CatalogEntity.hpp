#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/backend/ParseObject.hpp"
#include "vantrel/domain/BackendRecord.hpp"

#include <memory>
#include <string>

namespace vantrel {

class CompanyEntity;

/// A company's catalogue (backend class "Catalog"): the scope of every catalogue record.
class CatalogEntity : public BackendRecord<ParseObject> {
public:
    /// The backend class name, "Catalog".
    static std::string parseClassName() { return "Catalog"; }

    /// A new, unsaved catalogue.
    CatalogEntity();

    /// The owning company under "company". Every catalogue has one; a malformed catalogue without
    /// it gives none.
    [[nodiscard]] std::shared_ptr<CompanyEntity> company() const;
};

}  // namespace vantrel

#pragma GCC visibility pop
