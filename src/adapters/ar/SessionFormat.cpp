#include "adapters/ar/SessionFormat.hpp"

#include <cmath>
#include <stdexcept>

#include <glm/gtc/type_ptr.hpp>

#include "vantrel/adapters/ARPlaneAnchor.hpp"
#include "vantrel/graph/ImageDecoding.hpp"

namespace vantrel::detail {
namespace {

using nlohmann::json;

template <int N>
json numbers(const float* values) {
    json out = json::array();
    for (int i = 0; i < N; ++i) out.push_back(values[i]);
    return out;
}

// Bounds of the recorded numbers (see ARReplaySession.hpp): positions within 10 km of the origin
// (rotations are within ±1), intrinsics within a million pixels, timestamps within 10^12 seconds.
constexpr double kMaxCoordinate = 1e4;
constexpr double kMaxIntrinsic = 1e6;
constexpr double kMaxTimestamp = 1e12;
constexpr double kMaxAmbientIntensity = 1e6;
constexpr double kMaxColorTemperature = 1e5;
constexpr std::size_t kMaxFeaturePoints = 1u << 16;

// A number of `json` within ±`bound`; what it is for names it in the error.
double readNumber(const json& value, double bound, const char* what) {
    if (!value.is_number()) throw std::invalid_argument(std::string(what) + " is not a number");
    const double number = value.get<double>();
    if (!std::isfinite(number) || std::abs(number) > bound)
        throw std::invalid_argument(std::string(what) + " is out of bounds: " + value.dump());
    return number;
}

template <int N>
void readNumbers(const json& array, float* out, double bound, const char* what) {
    if (!array.is_array() || array.size() != N)
        throw std::invalid_argument(std::string(what) + ": expected " + std::to_string(N) + " numbers");
    for (int i = 0; i < N; ++i)
        out[i] = static_cast<float>(readNumber(array.at(static_cast<std::size_t>(i)), bound, what));
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
    readNumbers<16>(value.at("transform"), glm::value_ptr(transform), kMaxCoordinate, "anchor transform");
    if (!value.contains("plane")) return std::make_shared<ARAnchor>(identifier, transform);
    const json& plane = value.at("plane");
    const auto alignment = plane.at("alignment").get<std::string>();
    if (alignment != "horizontal" && alignment != "vertical")
        throw std::invalid_argument("unknown alignment " + alignment);
    glm::vec3 center(0.0f);
    glm::vec3 extent(0.0f);
    readNumbers<3>(plane.at("center"), glm::value_ptr(center), kMaxCoordinate, "plane center");
    readNumbers<3>(plane.at("extent"), glm::value_ptr(extent), kMaxCoordinate, "plane extent");
    if (extent.x < 0.0f || extent.y < 0.0f || extent.z < 0.0f) throw std::invalid_argument("negative plane extent");
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

std::shared_ptr<ARFrame> frameFromJson(const json& value) {
    auto frame = std::make_shared<ARFrame>();
    frame->timestamp = readNumber(value.at("timestamp"), kMaxTimestamp, "timestamp");
    const json& camera = value.at("camera");
    readNumbers<16>(camera.at("transform"), glm::value_ptr(frame->camera.transform), kMaxCoordinate,
                    "camera transform");
    readNumbers<9>(camera.at("intrinsics"), glm::value_ptr(frame->camera.intrinsics), kMaxIntrinsic,
                   "camera intrinsics");
    if (frame->camera.intrinsics[0][0] <= 0.0f || frame->camera.intrinsics[1][1] <= 0.0f)
        throw std::invalid_argument("camera focal lengths must be positive");
    const json& resolution = camera.at("imageResolution");
    if (!resolution.is_array() || resolution.size() != 2)
        throw std::invalid_argument("imageResolution needs 2 numbers");
    const double width = readNumber(resolution.at(0), UIImage::kMaxDimension, "image width");
    const double height = readNumber(resolution.at(1), UIImage::kMaxDimension, "image height");
    if (width < 0 || height < 0 || width != std::floor(width) || height != std::floor(height))
        throw std::invalid_argument("imageResolution needs whole non-negative numbers");
    frame->camera.imageResolution = CGSize(width, height);
    frame->camera.trackingState = trackingFrom(camera.value("trackingState", std::string("normal")));
    if (value.contains("lightEstimate")) {
        const json& light = value.at("lightEstimate");
        ARLightEstimate estimate;
        estimate.ambientIntensity = readNumber(light.at("ambientIntensity"), kMaxAmbientIntensity, "ambient intensity");
        if (light.contains("ambientColorTemperature")) {
            estimate.ambientColorTemperature =
                readNumber(light.at("ambientColorTemperature"), kMaxColorTemperature, "colour temperature");
        }
        if (estimate.ambientIntensity < 0 || estimate.ambientColorTemperature < 0)
            throw std::invalid_argument("negative light estimate");
        frame->lightEstimate = estimate;
    }
    if (value.contains("featurePoints")) {
        const json& points = value.at("featurePoints");
        if (!points.is_array() || points.size() > kMaxFeaturePoints)
            throw std::invalid_argument("featurePoints needs at most " + std::to_string(kMaxFeaturePoints) + " points");
        for (const json& point : points) {
            glm::vec3 p(0.0f);
            readNumbers<3>(point, glm::value_ptr(p), kMaxCoordinate, "feature point");
            frame->rawFeaturePoints.push_back(p);
        }
    }
    return frame;
}

std::filesystem::path framePictureFromJson(const json& value, const ARFrame& frame,
                                           const std::filesystem::path& directory) {
    if (!value.contains("image")) return {};
    const std::filesystem::path relative = value.at("image").get<std::string>();
    // Pictures stay inside the recording: no absolute paths, no way up.
    for (const auto& part : relative) {
        if (part == "..") throw std::invalid_argument("image path leaves the recording");
    }
    if (relative.is_absolute() || relative.empty()) throw std::invalid_argument("image path leaves the recording");
    const auto path = directory / relative;
    const auto info = readImageFileInfo(path);
    if (!info) throw std::invalid_argument(relative.string() + ": " + info.error().message);
    if (info->format != ImageFileFormat::png && info->format != ImageFileFormat::jpeg)
        throw std::invalid_argument(relative.string() + ": frame pictures are PNG or JPEG");
    const CGSize& resolution = frame.camera.imageResolution;
    if (resolution.width != info->width || resolution.height != info->height) {
        throw std::invalid_argument(relative.string() + " is " + std::to_string(info->width) + " x " +
                                    std::to_string(info->height) + " pixels, not the camera's image resolution");
    }
    return path;
}

std::vector<ARReplaySession::Step> stepsFromJson(const json& document, const std::filesystem::path& directory) {
    // The version is compared as the JSON number it is: read into an int first, a number beyond
    // the int's range would be undefined.
    const auto version = document.find("version");
    if (document.value("format", std::string()) != kSessionFormat || version == document.end() ||
        !version->is_number() || *version != kSessionFormatVersion) {
        throw std::invalid_argument("not a recorded session of version " + std::to_string(kSessionFormatVersion));
    }
    const json& frames = document.at("frames");
    if (!frames.is_array()) throw std::invalid_argument("frames is not a list");
    std::vector<ARReplaySession::Step> steps;
    for (const auto& entry : frames) {
        ARReplaySession::Step step;
        step.frame = frameFromJson(entry);
        if (!steps.empty() && step.frame->timestamp < steps.back().frame->timestamp) {
            throw std::invalid_argument("frame times go backwards");
        }
        step.image = framePictureFromJson(entry, *step.frame, directory);
        for (const auto& anchor : entry.value("addedAnchors", json::array())) {
            step.added.push_back(anchorFromJson(anchor));
        }
        for (const auto& anchor : entry.value("updatedAnchors", json::array())) {
            step.updated.push_back(anchorFromJson(anchor));
        }
        for (const auto& identifier : entry.value("removedAnchors", json::array())) {
            step.removed.push_back(identifier.get<std::string>());
        }
        steps.push_back(std::move(step));
    }
    return steps;
}

}  // namespace vantrel::detail
