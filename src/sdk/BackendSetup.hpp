#pragma once

namespace vantrel::detail {

/// Registers the user and role record classes, configures the backend client from the settings
/// and installs the shared live-query client.
void setUpBackendClients();

}  // namespace vantrel::detail
