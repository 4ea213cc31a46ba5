#include "adapters/ar/SessionFormat.hpp"

#include <stdexcept>

#include <glm/gtc/type_ptr.hpp>

#include "vantrel/adapters/ARPlaneAnchor.hpp"

namespace vantrel::detail {
namespace {

using nlohmann::json;

template <int N>
json numbers(const float* values) {
    json out = json::array();
    for (int i = 0; i < N; ++i) out.push_back(values[i]);
    return out;
}

template <int N>
void readNumbers(const json& array, float* out) {
    if (!array.is_array() || array.size() != N)
        throw std::invalid_argument("expected " + std::to_string(N) + " numbers");
    for (int i = 0; i < N; ++i) out[i] = array.at(static_cast<std::size_t>(i)).get<float>();
}

const char* trackingName(ARTrackingState state) {
    switch (state) {
        case ARTrackingState::normal: return "normal";
        case ARTrackingState::limited: return "limited";
        case ARTrackingState::notAvailable: break;
    }
    return "notAvailable";
}

ARTrackingState trackingFrom(const std::string& name) {
    if (name == "normal") return ARTrackingState::normal;
    if (name == "limited") return ARTrackingState::limited;
    if (name == "notAvailable") return ARTrackingState::notAvailable;
    throw std::invalid_argument("unknown tracking state " + name);
}

}  // namespace

json anchorToJson(const ARAnchor& anchor) {
    json out{{"identifier", anchor.identifier()}, {"transform", numbers<16>(glm::value_ptr(anchor.transform()))}};
    if (const auto* plane = dynamic_cast<const ARPlaneAnchor*>(&anchor)) {
        out["plane"] = {
            {"alignment", plane->alignment() == ARPlaneAnchorAlignment::vertical ? "vertical" : "horizontal"},
            {"center", numbers<3>(glm::value_ptr(plane->center()))},
            {"extent", numbers<3>(glm::value_ptr(plane->extent()))}};
    }
    return out;
}

std::shared_ptr<ARAnchor> anchorFromJson(const json& value) {
    const auto identifier = value.at("identifier").get<std::string>();
    if (identifier.empty()) throw std::invalid_argument("anchor without identifier");
    glm::mat4 transform(1.0f);
    readNumbers<16>(value.at("transform"), glm::value_ptr(transform));
    if (!value.contains("plane")) return std::make_shared<ARAnchor>(identifier, transform);
    const json& plane = value.at("plane");
    const auto alignment = plane.at("alignment").get<std::string>();
    if (alignment != "horizontal" && alignment != "vertical")
        throw std::invalid_argument("unknown alignment " + alignment);
    glm::vec3 center(0.0f);
    glm::vec3 extent(0.0f);
    readNumbers<3>(plane.at("center"), glm::value_ptr(center));
    readNumbers<3>(plane.at("extent"), glm::value_ptr(extent));
    return std::make_shared<ARPlaneAnchor>(
        identifier, transform,
        alignment == "vertical" ? ARPlaneAnchorAlignment::vertical : ARPlaneAnchorAlignment::horizontal, center,
        extent);
}

json frameToJson(const ARFrame& frame) {
    const ARCamera& camera = frame.camera;
    json out{{"timestamp", frame.timestamp},
             {"camera",
              {{"transform", numbers<16>(glm::value_ptr(camera.transform))},
               {"intrinsics", numbers<9>(glm::value_ptr(camera.intrinsics))},
               {"imageResolution", {camera.imageResolution.width, camera.imageResolution.height}},
               {"trackingState", trackingName(camera.trackingState)}}}};
    if (frame.lightEstimate) {
        out["lightEstimate"] = {{"ambientIntensity", frame.lightEstimate->ambientIntensity},
                                {"ambientColorTemperature", frame.lightEstimate->ambientColorTemperature}};
    }
    if (!frame.rawFeaturePoints.empty()) {
        json points = json::array();
        for (const auto& p : frame.rawFeaturePoints) points.push_back(numbers<3>(glm::value_ptr(p)));
        out["featurePoints"] = std::move(points);
    }
    return out;
}

std::shared_ptr<ARFrame> frameFromJson(const json& value, const std::filesystem::path& directory) {
    auto frame = std::make_shared<ARFrame>();
    frame->timestamp = value.at("timestamp").get<double>();
    const json& camera = value.at("camera");
    readNumbers<16>(camera.at("transform"), glm::value_ptr(frame->camera.transform));
    readNumbers<9>(camera.at("intrinsics"), glm::value_ptr(frame->camera.intrinsics));
    const json& resolution = camera.at("imageResolution");
    if (!resolution.is_array() || resolution.size() != 2)
        throw std::invalid_argument("imageResolution needs 2 numbers");
    frame->camera.imageResolution = CGSize(resolution.at(0).get<double>(), resolution.at(1).get<double>());
    frame->camera.trackingState = trackingFrom(camera.value("trackingState", std::string("normal")));
    if (value.contains("lightEstimate")) {
        const json& light = value.at("lightEstimate");
        frame->lightEstimate =
            ARLightEstimate{light.at("ambientIntensity").get<double>(), light.value("ambientColorTemperature", 6500.0)};
    }
    if (value.contains("featurePoints")) {
        for (const json& point : value.at("featurePoints")) {
            glm::vec3 p(0.0f);
            readNumbers<3>(point, glm::value_ptr(p));
            frame->rawFeaturePoints.push_back(p);
        }
    }
    if (value.contains("image")) {
        const std::filesystem::path relative = value.at("image").get<std::string>();
        // Pictures stay inside the recording: no absolute paths, no way up.
        for (const auto& part : relative) {
            if (part == "..") throw std::invalid_argument("image path leaves the recording");
        }
        if (relative.is_absolute()) throw std::invalid_argument("image path leaves the recording");
        frame->capturedImage = UIImage::fromFile(directory / relative);
        if (frame->capturedImage == nullptr) throw std::invalid_argument("unreadable image " + relative.string());
    }
    return frame;
}

}  // namespace vantrel::detail
