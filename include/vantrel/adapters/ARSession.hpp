#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <memory>
#include <vector>

#include "vantrel/adapters/ARAnchor.hpp"
#include "vantrel/adapters/ARFrame.hpp"
#include "vantrel/adapters/ARWorldTrackingConfiguration.hpp"
#include "vantrel/core/Error.hpp"

namespace vantrel {

class ARSession;

/// Receives what a session finds. Every callback has an empty default; the session calls them on
/// the thread that drives it (the one calling `advance`, `update` or `processImage`), in this order
/// for one step: anchors added, updated, removed, then the frame.
class ARSessionObserver {
public:
    virtual ~ARSessionObserver() = default;
    /// A new frame is current.
    virtual void session(ARSession& session, const std::shared_ptr<ARFrame>& didUpdateFrame);
    /// Anchors were added.
    virtual void sessionDidAddAnchors(ARSession& session, const std::vector<std::shared_ptr<ARAnchor>>& anchors);
    /// Anchors changed (same objects, new values).
    virtual void sessionDidUpdateAnchors(ARSession& session, const std::vector<std::shared_ptr<ARAnchor>>& anchors);
    /// Anchors were removed.
    virtual void sessionDidRemoveAnchors(ARSession& session, const std::vector<std::shared_ptr<ARAnchor>>& anchors);
    /// The session failed and stopped; run it again to retry.
    virtual void sessionDidFailWithError(ARSession& session, const Error& error);
    /// The tracking state of the camera changed.
    virtual void sessionCameraDidChangeTrackingState(ARSession& session, const ARCamera& camera);
};

/// Error codes of the sessions (domain `ARSession::errorDomain`).
enum class ARSessionErrorCode {
    unsupportedConfiguration = 100,  ///< The session cannot run this configuration.
    sensorUnavailable = 101,         ///< The camera or video cannot be opened or read.
    fileUnreadable = 200,            ///< A recorded session's file is missing or not readable.
    fileMalformed = 201,             ///< A recorded session's file is not in the expected format.
    fileUnwritable = 202,            ///< A recording cannot be written.
    calibrationFailed = 300,         ///< Too few pictures showed the calibration board to calibrate from.
};

/// A world-tracking session: run with a configuration, pause, and the current frame with its
/// camera, light estimate and anchors. Observers (held weakly) hear about frames, anchors and
/// failures.
///
/// This base does the bookkeeping that every session shares: the run state, the anchors, the
/// current frame and the fan-out to observers. Subclasses produce frames and call the `deliver`
/// and `report` helpers.
///
/// **Threads.** A session is driven from one thread (normally the main thread); observers are
/// called there, synchronously.
class ARSession {
public:
    /// Domain of the errors sessions report.
    static constexpr const char* errorDomain = "ARSession";

    virtual ~ARSession() = default;
    ARSession(const ARSession&) = delete;
    ARSession& operator=(const ARSession&) = delete;

    /// Starts or resumes the session with `configuration`. `resetTracking` starts tracking from the
    /// beginning; `removeExistingAnchors` removes (and reports) every anchor first.
    void runWithConfiguration(const ARWorldTrackingConfiguration& configuration,
                              ARSessionRunOptions options = ARSessionRunOptions::none);
    /// Stops producing frames until run again; the current frame and the anchors stay.
    void pause();
    /// True when this session can track on this machine: false when its camera cannot be opened or
    /// there is none. A session over a recording or a video file is supported once that opened.
    [[nodiscard]] virtual bool isSupported() const { return true; }
    /// True between a run and a pause (or a failure).
    [[nodiscard]] bool isRunning() const noexcept { return running_; }
    /// The configuration of the last run.
    [[nodiscard]] const ARWorldTrackingConfiguration& configuration() const noexcept { return configuration_; }
    /// The latest frame, or nullptr before the first.
    [[nodiscard]] const std::shared_ptr<ARFrame>& currentFrame() const noexcept { return currentFrame_; }
    /// The anchors tracked now, in the order they were added.
    [[nodiscard]] const std::vector<std::shared_ptr<ARAnchor>>& anchors() const noexcept { return anchors_; }

    /// Adds an observer (held weakly; gone observers are dropped).
    void addObserver(const std::shared_ptr<ARSessionObserver>& observer);
    /// Removes an observer.
    void removeObserver(const ARSessionObserver* observer);

protected:
    ARSession() = default;

    /// Called by a run after the options were applied: start (or restart) producing frames.
    virtual void didRun(ARSessionRunOptions options) = 0;
    /// Called by `pause`.
    virtual void didPause() {}

    /// Makes `anchors` known and reports them as added.
    void deliverAddedAnchors(const std::vector<std::shared_ptr<ARAnchor>>& anchors);
    /// Reports `anchors` (already changed in place) as updated.
    void deliverUpdatedAnchors(const std::vector<std::shared_ptr<ARAnchor>>& anchors);
    /// Forgets the anchors with these identifiers and reports them as removed.
    void deliverRemovedAnchors(const std::vector<std::string>& identifiers);
    /// Makes `frame` current (its anchors are set to the session's, its light estimate dropped when
    /// light estimation is off) and reports it, and a change of tracking state before it.
    void deliverFrame(std::shared_ptr<ARFrame> frame);
    /// Stops the session and reports `error`.
    void reportFailure(const Error& error);
    /// An error of this domain.
    [[nodiscard]] static Error makeError(ARSessionErrorCode code, std::string message);

private:
    template <class Call>
    void notify(Call&& call);

    bool running_ = false;
    ARWorldTrackingConfiguration configuration_;
    std::shared_ptr<ARFrame> currentFrame_;
    std::vector<std::shared_ptr<ARAnchor>> anchors_;
    std::vector<std::weak_ptr<ARSessionObserver>> observers_;
};

}  // namespace vantrel

#pragma GCC visibility pop
