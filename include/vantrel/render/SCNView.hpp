#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "vantrel/core/Expected.hpp"
#include "vantrel/graph/CGRect.hpp"
#include "vantrel/graph/SCNHitTestResult.hpp"
#include "vantrel/graph/SCNVector3.hpp"
#include "vantrel/graph/UIColor.hpp"
#include "vantrel/graph/UIImage.hpp"
#include "vantrel/render/RenderContext.hpp"
#include "vantrel/render/SCNTechnique.hpp"

namespace vantrel {

class SCNNode;
class SCNScene;
namespace detail {
struct FrameQuality;
}

/// Extra drawing for debugging, combined as bits.
enum class SCNDebugOptions : std::uint32_t {
    none = 0,
    showBoundingBoxes = 1u << 1,    ///< The world box of every drawn geometry.
    showCameras = 1u << 10,         ///< A marker at every camera node.
    showLightInfluences = 1u << 2,  ///< A marker at every light node.
};
[[nodiscard]] constexpr SCNDebugOptions operator|(SCNDebugOptions a, SCNDebugOptions b) {
    return static_cast<SCNDebugOptions>(static_cast<std::uint32_t>(a) | static_cast<std::uint32_t>(b));
}
[[nodiscard]] constexpr bool contains(SCNDebugOptions set, SCNDebugOptions option) {
    return (static_cast<std::uint32_t>(set) & static_cast<std::uint32_t>(option)) != 0;
}

/// Antialiasing of a view's pictures.
enum class SCNAntialiasingMode {
    none = 0,             ///< One sample per pixel.
    multisampling2X = 1,  ///< Two samples per pixel.
    multisampling4X = 2,  ///< Four samples per pixel (the default here).
};

/// How a view maps the scene's linear light to the colours of its pictures.
enum class SCNToneMapping {
    none = 0,     ///< Colours as lit, clipped at white.
    neutral = 1,  ///< Khronos PBR Neutral: a base colour comes out as itself up to the highlights.
    aces = 2,     ///< ACES filmic (the fitted curve): more contrast, hues shift in highlights.
};

/// What the last frame cost.
struct SCNRenderStatistics {
    std::chrono::duration<double, std::milli> frameTime{0.0};  ///< CPU and GPU time of the frame.
    std::size_t drawCalls = 0;                                 ///< Draw calls of the frame, every pass included.
    std::size_t triangles = 0;                                 ///< Triangles drawn in the frame, every pass included.
    std::uint64_t framesDrawn = 0;                             ///< Frames drawn by the view so far.
    double renderScale = 1.0;     ///< Share of the view's width and height the frame was drawn at.
    bool reducedQuality = false;  ///< The frame was drawn with reduced quality (see `SCNView::adaptsQuality`).
};

/// A view that draws a scene: from a point of view, into its bounds, with a background colour, an
/// optional technique (post-processing such as the glow highlight), statistics and debug drawing.
///
/// Drawing happens offscreen (EGL surfaceless) unless the view is given a window surface: `draw`
/// renders a frame and shows it in the window; `snapshot` renders a frame and reads it back as an
/// image. Pictures are lit in linear light and written as sRGB, antialiased with 4× multisampling
/// unless told otherwise. Presentation values (transactions, actions) are read at the scene clock's
/// current time, so animations advance with the clock that drives the frames.
///
/// **Frames on demand.** `drawIfNeeded` draws only when the picture would change: the scene's nodes,
/// geometry, materials, lights or cameras changed (their change stamps and presented transforms), the
/// point of view moved, the view's size, technique or settings changed, something animates, or
/// `setNeedsDisplay` asked for it. A host loop that calls it on every tick draws nothing while the
/// scene is still.
///
/// **Adaptive quality.** While the scene changes and a full frame takes longer than the target frame
/// time, frames drawn by `draw` are reduced: drawn at a smaller size (scaled to 1, 0.79, 0.62 or 0.5
/// of the view's, stepped by the last frames' times) and shown scaled up with filtering, with one
/// sample per pixel and a coarser mirror image under floors. Once the scene has been still for 0.3 s
/// the next `drawIfNeeded` draws a full-quality frame. Snapshots are always full quality. The times
/// come from SceneClock.
///
/// `projectPoint`, `unprojectPoint` and `hitTest` use the same projection as the pictures (the point
/// of view's camera with its z range, the view's bounds as viewport); they need no GPU.
///
/// Reference type; the view holds its scene and point of view strongly and its technique shared.
/// **Threads.** Use a view on the thread that owns its scene (normally the main thread).
class SCNView {
public:
    /// A view of the given frame (its bounds' size is the picture's size in pixels) drawing through
    /// `context`, or through an offscreen context made on first draw when it is nullptr.
    explicit SCNView(const CGRect& frame = CGRect(0, 0, 320, 240), std::unique_ptr<RenderContext> context = nullptr);
    ~SCNView();
    SCNView(const SCNView&) = delete;
    SCNView& operator=(const SCNView&) = delete;

    /// The scene shown, or nullptr.
    [[nodiscard]] const std::shared_ptr<SCNScene>& scene() const noexcept { return scene_; }
    /// Sets the scene shown.
    void setScene(std::shared_ptr<SCNScene> scene);
    /// The node looked through. When none is set, the first node with a camera in the scene (depth
    /// first), else a default camera in front of the scene that frames its bounding sphere.
    [[nodiscard]] const std::shared_ptr<SCNNode>& pointOfView() const noexcept { return pointOfView_; }
    /// Sets the node looked through (nullptr: choose as above).
    void setPointOfView(std::shared_ptr<SCNNode> pointOfView);
    /// The technique applied to every frame, or nullptr.
    [[nodiscard]] const std::shared_ptr<SCNTechnique>& technique() const noexcept { return technique_; }
    /// Sets (or clears) the technique.
    void setTechnique(std::shared_ptr<SCNTechnique> technique);

    /// Colour behind the scene where the scene has no background of its own; white by default.
    [[nodiscard]] const UIColor& backgroundColor() const noexcept { return backgroundColor_; }
    /// Sets the background colour.
    void setBackgroundColor(const UIColor& color);
    /// True when frame time, draw calls and triangles are shown over the picture.
    [[nodiscard]] bool showsStatistics() const noexcept { return showsStatistics_; }
    /// Shows or hides the statistics.
    void setShowsStatistics(bool shows);
    /// Debug drawing, none by default.
    [[nodiscard]] SCNDebugOptions debugOptions() const noexcept { return debugOptions_; }
    /// Sets the debug drawing.
    void setDebugOptions(SCNDebugOptions options);
    /// Antialiasing, 4× multisampling by default.
    [[nodiscard]] SCNAntialiasingMode antialiasingMode() const noexcept { return antialiasingMode_; }
    /// Sets the antialiasing.
    void setAntialiasingMode(SCNAntialiasingMode mode);
    /// The tone mapping of the pictures; `neutral` by default (light materials keep their detail
    /// instead of clipping, base colours stay as they are below the highlights).
    [[nodiscard]] SCNToneMapping toneMapping() const noexcept { return toneMapping_; }
    /// Sets the tone mapping.
    void setToneMapping(SCNToneMapping mapping);
    /// Exposure in stops: light is scaled by 2^exposure before tone mapping; 0 by default.
    [[nodiscard]] float exposure() const noexcept { return exposure_; }
    /// Sets the exposure in stops.
    void setExposure(float stops);
    /// True when a scene without lights is lit by one light at the point of view (false by default).
    [[nodiscard]] bool autoenablesDefaultLighting() const noexcept { return autoenablesDefaultLighting_; }
    /// Sets whether a scene without lights gets a default light.
    void setAutoenablesDefaultLighting(bool enables);

    /// The view's own rectangle: origin (0, 0) and the picture's size in pixels.
    [[nodiscard]] CGRect bounds() const noexcept { return {0, 0, frame_.size.width, frame_.size.height}; }
    /// The view's rectangle in its host's coordinates.
    [[nodiscard]] const CGRect& frame() const noexcept { return frame_; }
    /// Moves or resizes the view; the next frame has the new size.
    void setFrame(const CGRect& frame);
    /// Asks for a new frame: `needsDisplay` stays true until the next frame is drawn.
    void setNeedsDisplay() noexcept { needsDisplay_ = true; }
    /// True when the picture shown would change: something asked for a new frame, the scene or the
    /// view changed since the last frame `draw` drew, something animates, or a full-quality frame is
    /// due after reduced ones. Walks the shown nodes (no GPU work).
    [[nodiscard]] bool needsDisplay() const;
    /// Draws a frame when `needsDisplay`; true when it drew one. An Error as from `draw`.
    [[nodiscard]] Expected<bool> drawIfNeeded();

    /// True (the default) when frames drawn while the scene changes may be reduced to keep to the
    /// target frame time.
    [[nodiscard]] bool adaptsQuality() const noexcept;
    /// Switches adaptive quality on or off; off, every frame is full quality.
    void setAdaptsQuality(bool adapts);
    /// The frame time adaptive quality aims at, 33 ms by default.
    [[nodiscard]] std::chrono::duration<double, std::milli> targetFrameTime() const noexcept;
    /// Sets the target frame time (not positive: the default).
    void setTargetFrameTime(std::chrono::duration<double, std::milli> target);

    /// Hits of the ray through `point` (view coordinates, y downwards) with the scene's geometry,
    /// nearest first, each with its node.
    [[nodiscard]] std::vector<SCNHitTestResult> hitTest(const CGPoint& point,
                                                        const SCNHitTestOptions& options = {}) const;
    /// The view point (x, y) and depth (z, 0 at the near plane, 1 at the far) of a world position.
    [[nodiscard]] SCNVector3 projectPoint(const SCNVector3& point) const;
    /// The world position at view point (x, y) and depth z.
    [[nodiscard]] SCNVector3 unprojectPoint(const SCNVector3& point) const;

    /// Draws a frame; a window surface shows it. An Error (domain "Render") when no context can be
    /// made or a shader fails.
    [[nodiscard]] std::optional<Error> draw();
    /// Draws a frame and returns it as an image (rows from the top, RGBA, sRGB).
    [[nodiscard]] Expected<std::shared_ptr<UIImage>> snapshot();
    /// Draws a frame and writes it to `path` as PNG.
    [[nodiscard]] std::optional<Error> writeSnapshot(const std::filesystem::path& path);

    /// What the last frame cost.
    [[nodiscard]] const SCNRenderStatistics& statistics() const noexcept { return statistics_; }
    /// The context that draws, made on first use; an Error when none can be made.
    [[nodiscard]] Expected<RenderContext*> renderContext();

    /// The point of view a frame uses now (see `pointOfView`), never nullptr while there is a scene.
    [[nodiscard]] std::shared_ptr<SCNNode> effectivePointOfView() const;

private:
    struct Quality;
    std::optional<Error> render(bool readBack, std::shared_ptr<UIImage>* image, const detail::FrameQuality& quality);
    // What the picture depends on now (see FrameSignature).
    [[nodiscard]] std::uint64_t signature() const;

    CGRect frame_;
    std::unique_ptr<RenderContext> context_;
    std::shared_ptr<SCNScene> scene_;
    std::shared_ptr<SCNNode> pointOfView_;
    mutable std::shared_ptr<SCNNode> defaultPointOfView_;
    std::shared_ptr<SCNTechnique> technique_;
    UIColor backgroundColor_ = UIColor::whiteColor();
    bool showsStatistics_ = false;
    SCNDebugOptions debugOptions_ = SCNDebugOptions::none;
    SCNAntialiasingMode antialiasingMode_ = SCNAntialiasingMode::multisampling4X;
    SCNToneMapping toneMapping_ = SCNToneMapping::neutral;
    float exposure_ = 0.0f;
    bool autoenablesDefaultLighting_ = false;
    bool needsDisplay_ = true;
    SCNRenderStatistics statistics_;
    std::unique_ptr<Quality> quality_;
};

/// Writes `image` to `path` as PNG; an Error (domain "Render") when the file cannot be written.
[[nodiscard]] std::optional<Error> writePNG(const UIImage& image, const std::filesystem::path& path);

}  // namespace vantrel

#pragma GCC visibility pop
