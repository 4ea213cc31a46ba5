#pragma once

// Where material records become rendering materials for the services.

#include "vantrel/domain/MaterialEntity.hpp"
#include "vantrel/graph/SCNMaterial.hpp"

#include <functional>
#include <memory>

namespace vantrel::services_detail {

/// Receives the rendering material, none when the record describes none.
using RenderingMaterialBlock = std::function<void(std::shared_ptr<SCNMaterial> material)>;
/// Builds the rendering material of a material record and calls the block once.
using RenderingMaterialBuilder = std::function<void(const std::shared_ptr<MaterialEntity>& material, RenderingMaterialBlock block)>;

/// Builds the rendering material of `material`.
///
/// SEAM: material records cannot build rendering materials yet. Until they can, this answers
/// none, so callers leave the material out; then it becomes `material->getScnMaterial(block)`.
void buildRenderingMaterial(const std::shared_ptr<MaterialEntity>& material, RenderingMaterialBlock block);

/// Replaces the builder (tests); an empty function restores the default.
void setRenderingMaterialBuilder(RenderingMaterialBuilder builder);

}  // namespace vantrel::services_detail
