#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/domain/EmbeddedEntity.hpp"
#include "vantrel/graph/SCNVector3.hpp"
#include "vantrel/graph/SCNVector4.hpp"

#include <string>

namespace vantrel {

/// Where an anchor object's model sits on a component's model, from the component's
/// "anchorObjectConnections".
///
/// Vectors are stored as comma-separated numbers; a missing piece, or one that is not a number,
/// keeps its default (0 for offsets, 1 for scale), and extra pieces are ignored.
class AnchorObjectConnectionEntity : public EmbeddedRecord<AnchorObjectConnectionEntity> {
public:
    /// The anchor object's object id, "anchorObjectId"; empty when absent or not text.
    [[nodiscard]] std::string anchorObjectId() const;
    /// Offset of the anchor model, "offsetPosition" ("x,y,z"); zero by default.
    [[nodiscard]] SCNVector3 offsetPosition() const;
    /// Orientation offset as a quaternion, stored under "offsetRotation" ("x,y,z,w"); zero by
    /// default.
    [[nodiscard]] SCNVector4 offsetOrientation() const;
    /// Scale of the anchor model, "scale" ("x,y,z"); (1, 1, 1) by default.
    [[nodiscard]] SCNVector3 scale() const;
};

}  // namespace vantrel

#pragma GCC visibility pop
