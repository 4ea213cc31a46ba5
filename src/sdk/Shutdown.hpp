#pragma once

namespace vantrel::detail {

/// Arranges for VantrelSDK::shutdown to run at process exit, before the process-wide objects that
/// the clients' last work uses are destroyed. Called once, at the end of initialization.
void shutDownAtExit();

}  // namespace vantrel::detail
