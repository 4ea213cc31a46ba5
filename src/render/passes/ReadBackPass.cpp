// The finished picture leaves the renderer: shown in a window, or read back as an image.

#include <cstring>

#include "render/passes/Passes.hpp"

namespace vantrel::detail {

// A picture drawn smaller than the window (while the view saves time) is scaled up with linear
// filtering on the way.
void present(Frame& frame) {
    if (!frame.request.toWindow) {
        return;
    }
    const auto& gl = frame.gl;
    const CGSize drawable = frame.context.surface->drawableSize();
    gl.BindFramebuffer(GL_READ_FRAMEBUFFER, frame.context.colorTarget.framebuffer.id());
    gl.BindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    gl.BlitFramebuffer(0, 0, frame.width, frame.height, 0, 0, static_cast<GLint>(drawable.width),
                       static_cast<GLint>(drawable.height), GL_COLOR_BUFFER_BIT, GL_LINEAR);
    frame.context.surface->present();
}

}  // namespace vantrel::detail

namespace vantrel {

std::shared_ptr<UIImage> RenderContext::Impl::readBack(int width, int height) {
    const auto& gl = device.gl();
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4);
    gl.BindFramebuffer(GL_READ_FRAMEBUFFER, colorTarget.framebuffer.id());
    gl.PixelStorei(GL_PACK_ALIGNMENT, 1);
    gl.ReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    gl.BindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    // GL rows run bottom-up; images run top-down.
    const std::size_t row = static_cast<std::size_t>(width) * 4;
    std::vector<std::uint8_t> flipped(pixels.size());
    for (int y = 0; y < height; ++y) {
        std::memcpy(flipped.data() + static_cast<std::size_t>(y) * row,
                    pixels.data() + static_cast<std::size_t>(height - 1 - y) * row, row);
    }
    return std::make_shared<UIImage>(width, height, std::move(flipped));
}

}  // namespace vantrel
