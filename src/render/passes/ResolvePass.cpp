// The multisampled scene picture resolved into "COLOR".

#include "render/passes/Passes.hpp"

namespace vantrel::detail {

void resolveSamples(Frame& frame) {
    if (!frame.multisampled) {
        return;  // the scene was drawn into "COLOR" itself
    }
    const auto& gl = frame.gl;
    gl.BindFramebuffer(GL_READ_FRAMEBUFFER, frame.context.sceneTarget.framebuffer.id());
    gl.BindFramebuffer(GL_DRAW_FRAMEBUFFER, frame.context.colorTarget.framebuffer.id());
    gl.BlitFramebuffer(0, 0, frame.width, frame.height, 0, 0, frame.width, frame.height, GL_COLOR_BUFFER_BIT,
                       GL_NEAREST);
    frame.profile.mark("resolve");
}

}  // namespace vantrel::detail
