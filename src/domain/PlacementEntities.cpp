// Snapping areas and anchor-object connections: where models sit relative to each other.

#include "domain/ValueReading.hpp"
#include "domain/VectorText.hpp"
#include "vantrel/domain/AnchorObjectConnectionEntity.hpp"
#include "vantrel/domain/SnappingAreaEntity.hpp"

namespace vantrel {

using namespace domain_detail;

namespace {

// The vector stored under the value as text, starting from `defaults`; the defaults as they are
// when the value is not text.
SCNVector3 readVector3(const ParseValue& value, SCNVector3 defaults) {
    if (const auto* text = value.stringValue()) {
        float components[3] = {defaults.x, defaults.y, defaults.z};
        readVectorComponents(*text, components);
        return {components[0], components[1], components[2]};
    }
    return defaults;
}

SCNVector4 readVector4(const ParseValue& value, SCNVector4 defaults) {
    if (const auto* text = value.stringValue()) {
        float components[4] = {defaults.x, defaults.y, defaults.z, defaults.w};
        readVectorComponents(*text, components);
        return {components[0], components[1], components[2], components[3]};
    }
    return defaults;
}

}  // namespace

std::string SnappingAreaEntity::connectToComponentId() const { return readTextOrEmpty(value("connectToComponentId")); }
SCNVector3 SnappingAreaEntity::offsetPosition() const { return readVector3(value("offsetPosition"), SCNVector3Zero); }
SCNVector4 SnappingAreaEntity::offsetOrientation() const { return readVector4(value("offsetRotation"), SCNVector4()); }

std::string AnchorObjectConnectionEntity::anchorObjectId() const { return readTextOrEmpty(value("anchorObjectId")); }
SCNVector3 AnchorObjectConnectionEntity::offsetPosition() const {
    return readVector3(value("offsetPosition"), SCNVector3Zero);
}
SCNVector4 AnchorObjectConnectionEntity::offsetOrientation() const {
    return readVector4(value("offsetRotation"), SCNVector4());
}
SCNVector3 AnchorObjectConnectionEntity::scale() const { return readVector3(value("scale"), SCNVector3One); }

}  // namespace vantrel
