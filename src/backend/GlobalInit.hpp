#pragma once

namespace vantrel::backend_detail {

/// Initializes libcurl (and through it OpenSSL) once per process. Process-wide objects that own
/// transfer threads call it before they are constructed, so that they are destroyed at exit
/// before OpenSSL's own exit handler runs and their threads end with OpenSSL still intact.
void initializeTransportLibraries();

}  // namespace vantrel::backend_detail
