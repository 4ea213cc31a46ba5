#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <filesystem>
#include <memory>
#include <optional>

#include "vantrel/adapters/ARSession.hpp"

namespace vantrel {

/// Records what a session delivers — frames with their pictures, cameras, light estimates and
/// feature points, and anchor changes — into the directory format that `ARReplaySession` plays
/// (see there), so that a live session becomes a test or a demo.
///
/// Pictures are written as JPEG files under `frames/` as frames arrive; `session.json` is written by
/// `finish`. Add the recorder to a session (`ARSession::addObserver`) — `record` does both.
/// **Threads.** Called on the thread that drives the session.
class ARSessionRecorder final : public ARSessionObserver {
public:
    /// A recorder writing into `directory` (made when missing), pictures as JPEG of `jpegQuality`
    /// (1…100).
    explicit ARSessionRecorder(std::filesystem::path directory, int jpegQuality = 90);
    ~ARSessionRecorder() override;
    ARSessionRecorder(const ARSessionRecorder&) = delete;
    ARSessionRecorder& operator=(const ARSessionRecorder&) = delete;

    /// A recorder into `directory` listening to `session` from now on.
    [[nodiscard]] static std::shared_ptr<ARSessionRecorder> record(ARSession& session, std::filesystem::path directory,
                                                                   int jpegQuality = 90);

    /// Frames recorded so far.
    [[nodiscard]] std::size_t frameCount() const noexcept;
    /// Writes `session.json`; the first failure met while recording or writing (an ARSession error,
    /// file unwritable) otherwise. May be called again after more frames.
    [[nodiscard]] std::optional<Error> finish();

    void session(ARSession& session, const std::shared_ptr<ARFrame>& frame) override;
    void sessionDidAddAnchors(ARSession& session, const std::vector<std::shared_ptr<ARAnchor>>& anchors) override;
    void sessionDidUpdateAnchors(ARSession& session, const std::vector<std::shared_ptr<ARAnchor>>& anchors) override;
    void sessionDidRemoveAnchors(ARSession& session, const std::vector<std::shared_ptr<ARAnchor>>& anchors) override;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace vantrel

#pragma GCC visibility pop
