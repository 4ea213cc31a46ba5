#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/domain/EmbeddedEntity.hpp"
#include "vantrel/graph/SCNVector3.hpp"
#include "vantrel/graph/SCNVector4.hpp"

#include <string>

namespace vantrel {

/// A place relative to a component's model where a model of another component docks, from the
/// component's "snappingAreas".
///
/// Positions and orientations are stored as comma-separated numbers ("0.5, 0, 1"); a piece that
/// is not a number counts as 0, missing pieces are 0 and extra pieces are ignored.
class SnappingAreaEntity : public EmbeddedRecord<SnappingAreaEntity> {
public:
    /// The object id of the component this area accepts, "connectToComponentId"; empty when
    /// absent or not text.
    [[nodiscard]] std::string connectToComponentId() const;
    /// Where the docked model's origin stands, "offsetPosition" ("x,y,z"); zero when absent.
    [[nodiscard]] SCNVector3 offsetPosition() const;
    /// The docked model's orientation quaternion, stored under "offsetRotation" ("x,y,z,w");
    /// zero when absent.
    [[nodiscard]] SCNVector4 offsetOrientation() const;
};

}  // namespace vantrel

#pragma GCC visibility pop
