#include "sdk/BackendSetup.hpp"

namespace vantrel::detail {

// Filled in with the backend client.
void setUpBackendClients() {}

}  // namespace vantrel::detail
