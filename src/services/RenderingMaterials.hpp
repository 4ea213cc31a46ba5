#pragma once

// Where material records become rendering materials for the services.

#include "vantrel/domain/MaterialEntity.hpp"
#include "vantrel/graph/SCNMaterial.hpp"

#include <functional>
#include <memory>

namespace vantrel::services_detail {

/// Receives the rendering material, none when the record describes none.
using RenderingMaterialBlock = std::function<void(std::shared_ptr<SCNMaterial> material)>;

/// Builds the rendering material of `material` (fetching its textures through the file cache) and
/// calls the block once; a null record gives none at once.
void buildRenderingMaterial(const std::shared_ptr<MaterialEntity>& material, RenderingMaterialBlock block);

}  // namespace vantrel::services_detail
