#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/backend/ParseRelation.hpp"
#include "vantrel/domain/AnchorObjectConnectionEntity.hpp"
#include "vantrel/domain/CombinationEntity.hpp"
#include "vantrel/domain/ImagesEntity.hpp"
#include "vantrel/domain/ModelFileAwareEntity.hpp"
#include "vantrel/domain/NodeToTagEntity.hpp"
#include "vantrel/domain/SnappingAreaEntity.hpp"
#include "vantrel/domain/TagToMaterialsEntity.hpp"

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vantrel {

class ModelMeasuringUnitEntity;

/// One product of a catalogue (backend class "Component"): a named, priced item with a 3D model,
/// pictures, snapping areas, anchor-object connections, tagged model parts, the materials each
/// tag admits and predefined material combinations.
class ComponentEntity : public ModelFileAwareEntity {
public:
    /// The backend class name, "Component".
    static std::string parseClassName() { return "Component"; }

    /// A new, unsaved component.
    ComponentEntity();

    /// The component this one is a variant of, "parent"; none when absent.
    [[nodiscard]] std::shared_ptr<ComponentEntity> parent() const;
    /// Stores the parent; none stores a null.
    void setParent(const std::shared_ptr<ComponentEntity>& parent);

    /// "appName", trimmed; empty when absent.
    [[nodiscard]] std::string appName() const;
    /// The name to show: `appName` when it holds something, else `name`.
    [[nodiscard]] std::string genericName() const;
    /// "productNumber", trimmed; empty when absent.
    [[nodiscard]] std::string productNumber() const;
    /// "price"; 0 when absent.
    [[nodiscard]] double price() const;
    /// The description, "description", trimmed; empty when absent.
    [[nodiscard]] std::string desc() const;
    /// True for products that hang or float rather than stand, "isFloating".
    [[nodiscard]] bool isFloating() const;
    /// The negation of `isFloating`.
    [[nodiscard]] bool isNonFloating() const;

    /// The unit the model file is measured in, "scnModelMeasuringUnit"; none when absent.
    [[nodiscard]] std::shared_ptr<ModelMeasuringUnitEntity> scnModelMeasuringUnit() const;

    /// Where models of other components dock, "snappingAreas".
    [[nodiscard]] std::vector<std::shared_ptr<SnappingAreaEntity>> snappingAreas() const;
    /// True when the component has snapping areas.
    [[nodiscard]] bool isSnappingAreasExist() const;
    /// The anchor objects fixed to the model, "anchorObjectConnections".
    [[nodiscard]] std::vector<std::shared_ptr<AnchorObjectConnectionEntity>> anchorObjectConnections() const;
    /// True when the component has anchor-object connections.
    [[nodiscard]] bool isAnchorObjectConnectionsExist() const;
    /// Which model node carries which tag, "nodesToTags".
    [[nodiscard]] std::vector<std::shared_ptr<NodeToTagEntity>> nodesToTags() const;
    /// True when some model node is tagged.
    [[nodiscard]] bool isNodesToTagsExist() const;
    /// Which materials each tag admits, "tagsToMaterials".
    [[nodiscard]] std::vector<std::shared_ptr<TagToMaterialsEntity>> tagsToMaterials() const;
    /// True when some tag admits materials.
    [[nodiscard]] bool isTagsToMaterialsExist() const;
    /// Predefined material combinations, "combinations".
    [[nodiscard]] std::vector<std::shared_ptr<CombinationEntity>> combinations() const;
    /// True when the component has combinations.
    [[nodiscard]] bool isCombinationsExist() const;

    /// The component's variants: the relation under "variances".
    [[nodiscard]] ParseRelation variancesRelation();

    /// "productLink", trimmed; empty when absent.
    [[nodiscard]] std::string productLink() const;
    /// `productLink` as a URL: none when it is blank or not a valid URL reference.
    [[nodiscard]] std::optional<std::string> productLinkUrl() const;

    /// The pictures, "images"; an empty record when absent.
    [[nodiscard]] std::shared_ptr<ImagesEntity> images() const;
    /// Stores the pictures' dictionary under "images" (a null for none).
    void setImages(const std::shared_ptr<ImagesEntity>& images);

    /// A text the host shows before the price; kept on this instance only, never saved.
    [[nodiscard]] std::optional<std::string> pricePrefix() const;
    /// Sets the price prefix.
    void setPricePrefix(std::optional<std::string> prefix);

    /// The (node name, node id) of every node tagged exactly `tag`, in stored order; a missing
    /// name or id reads as empty.
    [[nodiscard]] std::vector<std::pair<std::string, std::string>> getNodeNamesOrNodeIdsByTag(
        const std::string& tag) const;
    /// The material ids of the first `tagsToMaterials` entry tagged exactly `tag`; empty when none.
    [[nodiscard]] std::vector<std::string> getMaterialIdsByTag(const std::string& tag) const;
    /// Every `tagsToMaterials` entry that admits exactly `materialId`; empty for a blank id.
    [[nodiscard]] std::vector<std::shared_ptr<TagToMaterialsEntity>> getTagsToMaterialsByMaterialId(
        const std::string& materialId) const;
    /// True when some tag admits `materialId`.
    [[nodiscard]] bool isMaterialAssigned(const std::string& materialId) const;

private:
    std::optional<std::string> pricePrefix_;
};

}  // namespace vantrel

#pragma GCC visibility pop
