// The transparent and transmissive surfaces of the scene, over the opaque ones.

#include "render/passes/Passes.hpp"

namespace vantrel::detail {

std::optional<Error> drawTransparent(ItemDrawer& drawer, const std::vector<DrawItem>& items, const PassState& pass,
                                     bool reflectionPass) {
    for (const DrawItem& item : items) {
        if ((!item.transparent && !item.transmissive) || (reflectionPass && item.floor != nullptr)) {
            continue;
        }
        if (auto failure = drawer.drawItem(item, pass, reflectionPass)) {
            return failure;
        }
    }
    drawer.gl.Disable(GL_BLEND);
    drawer.gl.DepthMask(GL_TRUE);
    return std::nullopt;
}

}  // namespace vantrel::detail
