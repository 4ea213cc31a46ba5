// What is drawn over the scene: debug boxes and markers (into the scene picture) and the statistics
// line (over the finished picture).

#include "render/StatisticsOverlay.hpp"
#include "render/passes/Passes.hpp"
#include "vantrel/render/SCNView.hpp"

namespace vantrel::detail {
namespace {

// The twelve edges of a box as line pairs, through `transform`.
void boxEdges(const glm::vec3& lo, const glm::vec3& hi, const glm::mat4& transform, std::vector<glm::vec3>& out) {
    glm::vec3 corners[8];
    for (int c = 0; c < 8; ++c) {
        corners[c] =
            glm::vec3(transform * glm::vec4((c & 1) ? hi.x : lo.x, (c & 2) ? hi.y : lo.y, (c & 4) ? hi.z : lo.z, 1.0f));
    }
    static constexpr int kEdges[12][2] = {{0, 1}, {2, 3}, {4, 5}, {6, 7}, {0, 2}, {1, 3},
                                          {4, 6}, {5, 7}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};
    for (const auto& edge : kEdges) {
        out.push_back(corners[edge[0]]);
        out.push_back(corners[edge[1]]);
    }
}

std::vector<glm::vec3> boundingBoxLines(const FramePlan& plan) {
    std::vector<glm::vec3> lines;
    for (const DrawItem& item : plan.items) {
        if (item.element == 0 && item.geometry->hasBounds()) {
            const SCNBoundingBox box = item.geometry->boundingBox();
            boxEdges(box.min.simd(), box.max.simd(), item.world, lines);
        }
    }
    return lines;
}

std::vector<glm::vec3> markerLines(const FramePlan& plan, SCNDebugOptions options) {
    std::vector<glm::vec3> markers;
    if (contains(options, SCNDebugOptions::showCameras)) {
        for (const auto& camera : plan.cameras) {
            boxEdges(glm::vec3(-0.05f), glm::vec3(0.05f), camera, markers);
        }
    }
    if (contains(options, SCNDebugOptions::showLightInfluences)) {
        for (const auto& light : plan.lightMarkers) {
            boxEdges(glm::vec3(-0.03f), glm::vec3(0.03f), light, markers);
        }
    }
    return markers;
}

}  // namespace

std::optional<Error> drawDebugOverlay(Frame& frame) {
    const SCNDebugOptions options = frame.request.debugOptions;
    const glm::mat4& viewProjection = frame.plan.pass.viewProjection;
    if (contains(options, SCNDebugOptions::showBoundingBoxes)) {
        frame.gl.Disable(GL_CULL_FACE);
        if (auto failure = frame.drawer.drawFlat(boundingBoxLines(frame.plan), GL_LINES, viewProjection,
                                                 glm::vec4(1.0f, 1.0f, 1.0f, 1.0f)))
            return failure;
    }
    return frame.drawer.drawFlat(markerLines(frame.plan, options), GL_LINES, viewProjection,
                                 glm::vec4(1.0f, 0.8f, 0.0f, 1.0f));
}

std::optional<Error> drawStatistics(Frame& frame) {
    if (!frame.request.showsStatistics) {
        return std::nullopt;
    }
    const auto& gl = frame.gl;
    const std::vector<glm::vec3> quads =
        statisticsOverlay(frame.request.previous, frame.width, frame.height, frame.request.overlayDotSize);
    const auto textStart = quads.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(6, quads.size()));
    const std::vector<glm::vec3> panel(quads.begin(), textStart);  // two triangles behind the text
    const std::vector<glm::vec3> text(textStart, quads.end());
    gl.Enable(GL_BLEND);
    gl.BlendFuncSeparate(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    if (auto failure = frame.drawer.drawFlat(panel, GL_TRIANGLES, glm::mat4(1.0f), glm::vec4(0.0f, 0.0f, 0.0f, 0.6f)))
        return failure;
    if (auto failure = frame.drawer.drawFlat(text, GL_TRIANGLES, glm::mat4(1.0f), glm::vec4(1.0f))) return failure;
    gl.Disable(GL_BLEND);
    return std::nullopt;
}

}  // namespace vantrel::detail
