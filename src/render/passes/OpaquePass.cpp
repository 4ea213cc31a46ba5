// The opaque surfaces of the scene.

#include <algorithm>

#include "render/passes/Passes.hpp"
#include "vantrel/graph/SCNMaterial.hpp"

namespace vantrel::detail {

// Opaque floors come after the other opaque items when that cannot change the picture (every one of
// them writes depth and the floor tests it), so the depth test spares shading the floor under them;
// they lose ties of depth, which keeps what lies flat on them in front as when floors came first.
std::optional<Error> drawOpaque(ItemDrawer& drawer, const std::vector<DrawItem>& items, const PassState& pass,
                                bool reflectionPass) {
    const bool othersWriteDepth = std::all_of(items.begin(), items.end(), [](const DrawItem& item) {
        return item.transparent || item.transmissive || item.floor != nullptr || item.material->writesToDepthBuffer();
    });
    const auto deferred = [&](const DrawItem& item) {
        return othersWriteDepth && item.floor != nullptr && item.material->readsFromDepthBuffer();
    };
    for (const bool late : {false, true}) {
        for (const DrawItem& item : items) {
            if (item.transparent || item.transmissive || (reflectionPass && item.floor != nullptr) ||
                deferred(item) != late) {
                continue;
            }
            drawer.gl.DepthFunc(late ? GL_LESS : GL_LEQUAL);
            if (auto failure = drawer.drawItem(item, pass, reflectionPass)) {
                return failure;
            }
        }
    }
    drawer.gl.DepthFunc(GL_LEQUAL);
    return std::nullopt;
}

}  // namespace vantrel::detail
