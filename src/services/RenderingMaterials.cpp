#include "services/RenderingMaterials.hpp"

namespace vantrel::services_detail {

void buildRenderingMaterial(const std::shared_ptr<MaterialEntity>& material, RenderingMaterialBlock block) {
    if (!material) {
        block(nullptr);
        return;
    }
    material->getScnMaterial(std::move(block));
}

}  // namespace vantrel::services_detail
