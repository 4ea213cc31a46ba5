#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include <map>
#include <optional>
#include <string>

namespace vantrel {

/// Notification posted by the backend client right before it sends a request; its user
/// information holds an HttpRequestRecord under `kNetworkRequestUserInfoKey`.
inline constexpr const char* kNetworkWillSendURLRequestNotification = "PFNetworkWillSendURLRequestNotification";
/// Notification posted by the backend client after a response arrived; its user information holds
/// an HttpResponseRecord under `kNetworkResponseUserInfoKey` and the body text under
/// `kNetworkResponseBodyUserInfoKey`.
inline constexpr const char* kNetworkDidReceiveURLResponseNotification = "PFNetworkDidReceiveURLResponseNotification";
inline constexpr const char* kNetworkRequestUserInfoKey = "PFNetworkNotificationURLRequestUserInfoKey";
inline constexpr const char* kNetworkResponseUserInfoKey = "PFNetworkNotificationURLResponseUserInfoKey";
inline constexpr const char* kNetworkResponseBodyUserInfoKey = "PFNetworkNotificationURLResponseBodyUserInfoKey";

/// Headers by name, in the order of the names.
using HttpHeaders = std::map<std::string, std::string>;

/// What the backend client is about to send.
struct HttpRequestRecord {
    std::string method;
    std::string url;
    HttpHeaders headers;
    /// The body, when the request has one.
    std::optional<std::string> body;
};

/// What the backend client received.
struct HttpResponseRecord {
    long statusCode = 0;
    std::string url;
    HttpHeaders headers;
};

/// The textual form of a header dictionary in log lines: [name: value, ...], [:] when empty. Only
/// the values of plain headers are shown (Content-Type, Accept...); others read "<redacted>".
std::string describeHeaders(const HttpHeaders& headers);

}  // namespace vantrel

#pragma GCC visibility pop
