#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/backend/ParseObject.hpp"
#include "vantrel/domain/BackendRecord.hpp"

#include <string>

namespace vantrel {

/// A unit in which model files are measured (backend class "ModelMeasuringUnit").
class ModelMeasuringUnitEntity : public BackendRecord<ParseObject> {
public:
    /// The backend class name, "ModelMeasuringUnit".
    static std::string parseClassName() { return "ModelMeasuringUnit"; }

    /// A new, unsaved unit.
    ModelMeasuringUnitEntity();

    /// "name", trimmed; empty when absent.
    [[nodiscard]] std::string name() const;
    /// What model coordinates in this unit are multiplied by, "factor"; 1 by default.
    [[nodiscard]] double factor() const;
};

}  // namespace vantrel

#pragma GCC visibility pop
