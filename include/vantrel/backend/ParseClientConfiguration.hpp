#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <chrono>
#include <cstdint>
#include <string>

namespace vantrel {

/// How the backend client reaches its server.
struct ParseClientConfiguration {
    /// REST root, for example "https://localhost:28443/parse" (http:// is accepted for tests).
    std::string server;
    /// The backend's application id (X-Parse-Application-Id).
    std::string applicationId;
    /// The client key (X-Parse-Client-Key); may be empty.
    std::string clientKey;
    /// PEM file of extra certificate authorities to trust besides the system's; empty for none.
    std::string trustedCertificatesFile;
    /// Limit of one whole request.
    std::chrono::milliseconds requestTimeout{60000};
    /// Limit of establishing a connection.
    std::chrono::milliseconds connectTimeout{15000};
    /// Largest REST answer accepted, counted after decoding; a longer one fails with code 100
    /// while it arrives, so a broken or hostile server cannot fill the memory. Zero means no limit.
    std::int64_t maximumResponseBytes = std::int64_t{32} << 20;
    /// Where the current user is kept across launches; empty for Paths::dataDirectory()/"Parse".
    std::string persistenceDirectory;
};

}  // namespace vantrel

#pragma GCC visibility pop
