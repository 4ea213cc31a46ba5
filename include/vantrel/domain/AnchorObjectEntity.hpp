#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/domain/ModelFileAwareEntity.hpp"

#include <string>

namespace vantrel {

/// A fixed 3D object that components carry, such as a handle or a lamp (backend class
/// "AnchorObject"). It has a component's model-file part: name, thumbnail, model, assets, sizes.
class AnchorObjectEntity : public ModelFileAwareEntity {
public:
    /// The backend class name, "AnchorObject".
    static std::string parseClassName() { return "AnchorObject"; }

    /// A new, unsaved anchor object.
    AnchorObjectEntity();
};

}  // namespace vantrel

#pragma GCC visibility pop
