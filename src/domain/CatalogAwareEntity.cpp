#include "vantrel/domain/CatalogAwareEntity.hpp"

#include "domain/ValueReading.hpp"
#include "vantrel/domain/CatalogEntity.hpp"
#include "vantrel/graph/TextPresence.hpp"

namespace vantrel {

using namespace domain_detail;

CatalogAwareEntity::CatalogAwareEntity(std::string className) : BackendRecord(std::move(className)) {}

std::shared_ptr<CatalogEntity> CatalogAwareEntity::catalog() const {
    return value("catalog").asObject<CatalogEntity>();
}

std::optional<std::string> CatalogAwareEntity::inDraftBy() const { return readTrimmedOptionalText(value("inDraftBy")); }

bool CatalogAwareEntity::isInDraft() const { return isNotBlank(inDraftBy()); }

std::vector<std::string> CatalogAwareEntity::cachedFileKeys() const { return {}; }

}  // namespace vantrel
