#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/domain/ModelMeasuringUnitEntity.hpp"
#include "vantrel/services/DaoAwareService.hpp"
#include "vantrel/services/ResultBlocks.hpp"

#include <string>

namespace vantrel {

/// Reads the units in which model files are measured.
class ModelMeasuringUnitService : public DaoAwareService<ModelMeasuringUnitService> {
public:
    /// The process-wide instance.
    static ModelMeasuringUnitService& sharedInstance();

    ModelMeasuringUnitService(const ModelMeasuringUnitService&) = delete;
    ModelMeasuringUnitService& operator=(const ModelMeasuringUnitService&) = delete;

    /// The unit with object id `id`.
    void obtainModelMeasuringUnitById(const std::string& id, RecordResultBlock<ModelMeasuringUnitEntity> block);

private:
    ModelMeasuringUnitService();
    ~ModelMeasuringUnitService() = default;
};

}  // namespace vantrel

#pragma GCC visibility pop
