#include "vantrel/adapters/ARSessionRecorder.hpp"

#include <cstdio>
#include <fstream>

#include "adapters/ar/ImageCompositing.hpp"
#include "adapters/ar/SessionFormat.hpp"

namespace vantrel {

struct ARSessionRecorder::State {
    std::filesystem::path directory;
    int jpegQuality = 90;
    nlohmann::json frames = nlohmann::json::array();
    nlohmann::json added = nlohmann::json::array();
    nlohmann::json updated = nlohmann::json::array();
    nlohmann::json removed = nlohmann::json::array();
    std::optional<Error> failure;

    void fail(Error error) {
        if (!failure) failure = std::move(error);
    }
};

ARSessionRecorder::ARSessionRecorder(std::filesystem::path directory, int jpegQuality)
    : state_(std::make_unique<State>()) {
    state_->directory = std::move(directory);
    state_->jpegQuality = jpegQuality;
    std::error_code ignored;
    std::filesystem::create_directories(state_->directory / "frames", ignored);
}

ARSessionRecorder::~ARSessionRecorder() = default;

std::shared_ptr<ARSessionRecorder> ARSessionRecorder::record(ARSession& session, std::filesystem::path directory,
                                                             int jpegQuality) {
    auto recorder = std::make_shared<ARSessionRecorder>(std::move(directory), jpegQuality);
    session.addObserver(recorder);
    return recorder;
}

std::size_t ARSessionRecorder::frameCount() const noexcept { return state_->frames.size(); }

void ARSessionRecorder::session(ARSession&, const std::shared_ptr<ARFrame>& frame) {
    if (frame == nullptr) return;
    auto entry = detail::frameToJson(*frame);
    if (frame->capturedImage != nullptr) {
        char name[32];
        std::snprintf(name, sizeof name, "frames/%06zu.jpg", state_->frames.size());
        if (auto failure = detail::writeJpeg(*frame->capturedImage, state_->directory / name, state_->jpegQuality)) {
            state_->fail(std::move(*failure));
        } else {
            entry["image"] = name;
        }
    }
    const auto take = [&entry](const char* key, nlohmann::json& pending) {
        if (!pending.empty()) entry[key] = std::exchange(pending, nlohmann::json::array());
    };
    take("addedAnchors", state_->added);
    take("updatedAnchors", state_->updated);
    take("removedAnchors", state_->removed);
    state_->frames.push_back(std::move(entry));
}

void ARSessionRecorder::sessionDidAddAnchors(ARSession&, const std::vector<std::shared_ptr<ARAnchor>>& anchors) {
    for (const auto& anchor : anchors) state_->added.push_back(detail::anchorToJson(*anchor));
}

void ARSessionRecorder::sessionDidUpdateAnchors(ARSession&, const std::vector<std::shared_ptr<ARAnchor>>& anchors) {
    for (const auto& anchor : anchors) state_->updated.push_back(detail::anchorToJson(*anchor));
}

void ARSessionRecorder::sessionDidRemoveAnchors(ARSession&, const std::vector<std::shared_ptr<ARAnchor>>& anchors) {
    for (const auto& anchor : anchors) state_->removed.push_back(anchor->identifier());
}

std::optional<Error> ARSessionRecorder::finish() {
    const nlohmann::json document{
        {"format", detail::kSessionFormat}, {"version", detail::kSessionFormatVersion}, {"frames", state_->frames}};
    const auto file = state_->directory / detail::kSessionFile;
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << document.dump(1) << '\n';
    out.close();
    if (!out) {
        state_->fail(Error(ARSession::errorDomain, static_cast<long>(ARSessionErrorCode::fileUnwritable),
                           "cannot write " + file.string()));
    }
    return state_->failure;
}

}  // namespace vantrel
