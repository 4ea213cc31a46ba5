#include "vantrel/domain/RecordClasses.hpp"

#include "vantrel/domain/AnchorObjectEntity.hpp"
#include "vantrel/domain/AppListItemEntity.hpp"
#include "vantrel/domain/CatalogEntity.hpp"
#include "vantrel/domain/CompanyEntity.hpp"
#include "vantrel/domain/ComponentEntity.hpp"
#include "vantrel/domain/MaterialEntity.hpp"
#include "vantrel/domain/ModelMeasuringUnitEntity.hpp"
#include "vantrel/domain/RoleEntity.hpp"
#include "vantrel/domain/SceneEntity.hpp"
#include "vantrel/domain/UnsupportedAppVersionEntity.hpp"
#include "vantrel/domain/UserEntity.hpp"

namespace vantrel {

void registerRecordClasses() {
    ParseObject::registerSubclass<ComponentEntity>();
    ParseObject::registerSubclass<MaterialEntity>();
    ParseObject::registerSubclass<SceneEntity>();
    ParseObject::registerSubclass<AppListItemEntity>();
    ParseObject::registerSubclass<AnchorObjectEntity>();
    ParseObject::registerSubclass<CatalogEntity>();
    ParseObject::registerSubclass<CompanyEntity>();
    ParseObject::registerSubclass<ModelMeasuringUnitEntity>();
    ParseObject::registerSubclass<UnsupportedAppVersionEntity>();
    ParseObject::registerSubclass<UserEntity>();
    ParseObject::registerSubclass<RoleEntity>();
}

}  // namespace vantrel
