#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/core/Error.hpp"

#include <string>

namespace vantrel {

/// Error domain of every error the backend client reports, whether the server sent it or the
/// transport failed before an answer arrived.
inline constexpr const char* kParseErrorDomain = "Parse";

/// Numeric codes of backend client errors. Errors the server sends keep the "code" of the
/// response body (never the HTTP status); the transport maps its own failures onto the codes the
/// Parse SDKs use, so that callers test one set of numbers:
///
/// - 100 `connectionFailed`: the server could not be reached, the connection broke mid-way, the
///   TLS handshake or certificate verification failed (userInfo "transport" is then "tls"), or
///   the request was cancelled because its client shut down.
/// - 107 `invalidJSON`: the server answered with a body that is not the expected JSON.
/// - 124 `timeout`: no complete answer within the request's timeout.
/// - 120 `cacheMiss`: a cache-only query found nothing in the query cache.
///
/// Every error carries userInfo {"code": code, "error": text}; transport errors add "transport"
/// ("connect", "tls", "timeout", "io", "cancelled", "json") and, for HTTP answers, "status".
namespace ParseErrorCode {
inline constexpr long otherCause = -1;
inline constexpr long internalServer = 1;
inline constexpr long connectionFailed = 100;
inline constexpr long objectNotFound = 101;
inline constexpr long invalidQuery = 102;
inline constexpr long invalidClassName = 103;
inline constexpr long missingObjectId = 104;
inline constexpr long invalidKeyName = 105;
inline constexpr long invalidPointer = 106;
inline constexpr long invalidJSON = 107;
inline constexpr long commandUnavailable = 108;
inline constexpr long notInitialized = 109;
inline constexpr long incorrectType = 111;
inline constexpr long invalidChannelName = 112;
inline constexpr long operationForbidden = 119;
inline constexpr long cacheMiss = 120;
inline constexpr long invalidNestedKey = 121;
inline constexpr long invalidFileName = 122;
inline constexpr long invalidACL = 123;
inline constexpr long timeout = 124;
inline constexpr long scriptFailed = 141;
inline constexpr long validationFailed = 142;
inline constexpr long invalidSessionToken = 209;
}  // namespace ParseErrorCode

/// Builds a backend client error: domain "Parse", the given code and text, and userInfo
/// {"code", "error"} merged with `extra`.
Error makeParseError(long code, std::string message, const nlohmann::json& extra = nlohmann::json::object());

}  // namespace vantrel

#pragma GCC visibility pop
