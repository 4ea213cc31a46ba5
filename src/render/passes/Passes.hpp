#pragma once

// The passes of a frame, in the order FrameRenderer runs them. Each works from the frame's plan and
// draws through the frame's drawer. Private to the renderer.

#include <optional>
#include <vector>

#include "render/FramePlan.hpp"
#include "render/ItemDrawer.hpp"
#include "render/PassProfile.hpp"

namespace vantrel {
class SCNTechnique;
}

namespace vantrel::detail {

/// The format of the picture and of every target the scene is drawn into.
constexpr GLenum kPictureFormat = GL_SRGB8_ALPHA8;

/// A frame being drawn: what was asked, what the graph holds, and the frame's tools.
struct Frame {
    RenderContext::Impl& context;
    const GlFunctions& gl;
    const FrameRequest& request;
    FramePlan& plan;
    ItemDrawer& drawer;
    PassProfile& profile;
    int width = 1;   ///< of the picture, in pixels
    int height = 1;  ///< of the picture, in pixels
    bool multisampled = false;
};

/// Shadow map (ShadowPass.cpp): the key light's view of the casting items, drawn when it changed;
/// sets the plan's pass to read it (or drops the shadow catchers when the frame has none).
[[nodiscard]] std::optional<Error> drawShadowMap(Frame& frame);

/// Contact shadow (ContactShadowPass.cpp), the alternative to the shadow map: whether it is
/// chosen (VANTREL_SHADOWS=contact); the casters' blurred darkness over the ground drawn (before the
/// scene); laid on the ground (after the opaque scene, when there is one).
[[nodiscard]] bool contactShadowsChosen();
[[nodiscard]] std::optional<Error> prepareContactShadow(Frame& frame);
[[nodiscard]] std::optional<Error> drawContactShadow(Frame& frame);

/// Floor reflection (FloorReflectionPass.cpp): the mirror image under the first reflective floor,
/// drawn into the context's reflection target; marks the plan's pass as having one.
[[nodiscard]] std::optional<Error> drawFloorReflection(Frame& frame);

/// Opaque scene (OpaquePass.cpp): the opaque `items` into the bound target, floors last when that
/// cannot change the picture. `reflectionPass` draws them mirrored and leaves floors out.
[[nodiscard]] std::optional<Error> drawOpaque(ItemDrawer& drawer, const std::vector<DrawItem>& items,
                                              const PassState& pass, bool reflectionPass);

/// Transmission (TransmissionPass.cpp): when a transmissive item is in the frame, the opaque picture
/// drawn so far copied into the context's transmission target with its mipmaps (what those items
/// show through them, blurred by roughness); marks the plan's pass as having it.
[[nodiscard]] std::optional<Error> captureTransmission(Frame& frame);

/// Transparent scene (TransparentPass.cpp): the transparent and transmissive `items` over what is
/// drawn, in their order (far to near), blended by their materials.
[[nodiscard]] std::optional<Error> drawTransparent(ItemDrawer& drawer, const std::vector<DrawItem>& items,
                                                   const PassState& pass, bool reflectionPass);

/// Debug overlay (OverlayPass.cpp): bounding boxes and camera and light markers, into the scene
/// picture so that techniques see them like the rest.
[[nodiscard]] std::optional<Error> drawDebugOverlay(Frame& frame);

/// Resolve (ResolvePass.cpp): the scene's samples averaged (in linear light) into "COLOR".
void resolveSamples(Frame& frame);

/// Technique passes (TechniquePasses.cpp): the technique's sequence over "COLOR".
[[nodiscard]] std::optional<Error> runTechnique(Frame& frame, const SCNTechnique& technique);

/// Statistics overlay (OverlayPass.cpp): the last frame's figures over the finished picture's bytes.
[[nodiscard]] std::optional<Error> drawStatistics(Frame& frame);

/// Present (ReadBackPass.cpp): "COLOR" scaled (filtered) to the window's drawable and shown.
void present(Frame& frame);

}  // namespace vantrel::detail
