#include "services/RenderingMaterials.hpp"

#include <mutex>

namespace vantrel::services_detail {

namespace {

std::mutex& builderMutex() {
    static std::mutex mutex;
    return mutex;
}

RenderingMaterialBuilder& builderSlot() {
    static RenderingMaterialBuilder builder;
    return builder;
}

}  // namespace

void buildRenderingMaterial(const std::shared_ptr<MaterialEntity>& material, RenderingMaterialBlock block) {
    RenderingMaterialBuilder builder;
    {
        std::lock_guard lock(builderMutex());
        builder = builderSlot();
    }
    if (builder) {
        builder(material, std::move(block));
        return;
    }
    block(nullptr);
}

void setRenderingMaterialBuilder(RenderingMaterialBuilder builder) {
    std::lock_guard lock(builderMutex());
    builderSlot() = std::move(builder);
}

}  // namespace vantrel::services_detail
