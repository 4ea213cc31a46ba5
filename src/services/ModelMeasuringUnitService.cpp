#include "vantrel/services/ModelMeasuringUnitService.hpp"

#include "services/QueryPattern.hpp"
#include "vantrel/domain/RecordClasses.hpp"

namespace vantrel {

ModelMeasuringUnitService::ModelMeasuringUnitService() { registerRecordClasses(); }

ModelMeasuringUnitService& ModelMeasuringUnitService::sharedInstance() {
    static auto* instance = new ModelMeasuringUnitService();
    return *instance;
}

void ModelMeasuringUnitService::obtainModelMeasuringUnitById(const std::string& id,
                                                             RecordResultBlock<ModelMeasuringUnitEntity> block) {
    services_detail::getObjectById(ParseQuery(ModelMeasuringUnitEntity::parseClassName()), id, typeName(),
                                   services_detail::typed<ModelMeasuringUnitEntity>(std::move(block)));
}

}  // namespace vantrel
