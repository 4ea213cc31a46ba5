#pragma once

// Where a frame's time goes, pass by pass. Private to the renderer.

#include <chrono>

#include "render/GlFunctions.hpp"

namespace vantrel::detail {

/// Times a frame's passes when VANTREL_RENDER_PROFILE is set: each mark waits for the GL to finish
/// what came before it, so the figures are real but the frames are slower. Averages go to the
/// standard error every 10 frames. Without the variable it does nothing.
class PassProfile {
public:
    explicit PassProfile(const GlFunctions& gl);
    ~PassProfile();
    PassProfile(const PassProfile&) = delete;
    PassProfile& operator=(const PassProfile&) = delete;

    /// Ends the pass `name` (a pass run several times a frame adds up).
    void mark(const char* name);

private:
    const GlFunctions& gl_;
    std::chrono::steady_clock::time_point last_;
    double lastCpu_ = 0.0;
};

}  // namespace vantrel::detail
