#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <filesystem>
#include <string>

namespace vantrel {

/// Per-user directories of the host application on this platform.
class Paths {
public:
    /// The host application's name: set by the host, else the program's name.
    static std::string hostApplicationName();
    /// Sets the host application's name used in the directories below.
    static void setHostApplicationName(std::string name);
    /// The per-user cache directory of the host: $XDG_CACHE_HOME (or ~/.cache) / <host name>.
    static std::filesystem::path cachesDirectory();
    /// The per-user data directory of the host: $XDG_DATA_HOME (or ~/.local/share) / <host name>.
    static std::filesystem::path dataDirectory();
    /// The directory of the rolling log files: <caches>/Logs.
    static std::filesystem::path logsDirectory();
};

}  // namespace vantrel

#pragma GCC visibility pop
