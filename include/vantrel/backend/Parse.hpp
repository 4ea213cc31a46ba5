#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/backend/ParseClientConfiguration.hpp"

namespace vantrel {

/// The backend client's entry: configuration and log level. Static members only.
class Parse {
public:
    Parse() = delete;

    /// Configures the client. Calling it again replaces the configuration: requests of the old
    /// one still in flight are cancelled (code 100), and the current user is read again from
    /// the persistence directory on next use, as after a restart of the host.
    static void initialize(const ParseClientConfiguration& configuration);
    /// True once `initialize` has run.
    static bool isInitialized();
    /// The configuration in force (an empty one before `initialize`). The reference stays valid
    /// for the life of the process.
    static const ParseClientConfiguration& configuration();
    /// Log level of the client: 0 none, 1 error, 2 warning, 3 info, 4 debug (every request and
    /// response is logged).
    static void setLogLevel(int level);
    /// The log level in force.
    static int logLevel();
};

}  // namespace vantrel

#pragma GCC visibility pop
