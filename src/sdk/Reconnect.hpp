#pragma once

namespace vantrel::detail {

/// What an activation re-checks once the library is initialized: the device, the library's
/// version, the user's company, and then the live subscriptions of the current catalogue. Runs on
/// the facade's lifecycle queue; the work it starts completes on the services' threads.
void reconnectSession();

}  // namespace vantrel::detail
