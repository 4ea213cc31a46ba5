#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

namespace vantrel {

/// Groups of canvas settings a host may present together; the canvas adapter itself takes none.
enum class CanvasSettingsType {
    groundSettings,  ///< The ground switch and colour.
};

}  // namespace vantrel

#pragma GCC visibility pop
