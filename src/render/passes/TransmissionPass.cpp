// The opaque picture for transmissive materials: what lies behind them, copied once a frame with a
// chain of mipmaps that rough surfaces read blurred.

#include <algorithm>

#include "render/passes/Passes.hpp"

namespace vantrel::detail {

std::optional<Error> captureTransmission(Frame& frame) {
    // Software rasterisers pay for the copy and its mipmaps with every pixel: only frames that show
    // a transmissive surface make it.
    const auto& items = frame.plan.items;
    if (std::none_of(items.begin(), items.end(), [](const DrawItem& item) { return item.transmissive; })) {
        return std::nullopt;
    }
    auto& context = frame.context;
    const auto& gl = frame.gl;
    const RenderTarget& scene = frame.multisampled ? context.sceneTarget : context.colorTarget;
    if (auto failure =
            context.ensureTarget(context.transmissionTarget, frame.width, frame.height, 1, kPictureFormat, false)) {
        return failure;
    }
    gl.BindFramebuffer(GL_READ_FRAMEBUFFER, scene.framebuffer.id());
    gl.BindFramebuffer(GL_DRAW_FRAMEBUFFER, context.transmissionTarget.framebuffer.id());
    gl.BlitFramebuffer(0, 0, frame.width, frame.height, 0, 0, frame.width, frame.height, GL_COLOR_BUFFER_BIT,
                       GL_NEAREST);
    gl.BindFramebuffer(GL_FRAMEBUFFER, scene.framebuffer.id());
    gl.ActiveTexture(GL_TEXTURE0 + kTransmissionUnit);
    gl.BindTexture(GL_TEXTURE_2D, context.transmissionTarget.color.id());
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    gl.GenerateMipmap(GL_TEXTURE_2D);
    frame.plan.pass.transmissionReady = true;
    frame.profile.mark("transmission");
    return std::nullopt;
}

}  // namespace vantrel::detail
