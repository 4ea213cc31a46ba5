#include "vantrel/domain/CatalogEntity.hpp"

#include "vantrel/domain/CompanyEntity.hpp"

namespace vantrel {

CatalogEntity::CatalogEntity() : BackendRecord(parseClassName()) {}

std::shared_ptr<CompanyEntity> CatalogEntity::company() const { return value("company").asObject<CompanyEntity>(); }

}  // namespace vantrel
