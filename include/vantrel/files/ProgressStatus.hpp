#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <functional>

namespace vantrel {

/// The phase of a long operation, reported with a fraction of the whole.
enum class ProgressStatus {
    /// A step of a multi-step operation finished (a file of a list, a phase of a model load).
    loading,
    /// A file is being fetched: signed URL requested, transfer under way.
    downloading,
    /// Never reported by the library; for hosts.
    caching,
    /// Never reported by the library; for hosts.
    thumbnailing,
    /// A downloaded model is being turned into a scene.
    processing,
    /// The operation finished, successfully or not; always with fraction 1.0.
    done,
};

/// Receives progress: the phase and the completed share of the whole operation (0.0 to 1.0).
using ProgressBlock = std::function<void(ProgressStatus status, double fraction)>;

}  // namespace vantrel

#pragma GCC visibility pop
