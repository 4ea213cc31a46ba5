#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/core/Error.hpp"
#include "vantrel/core/NetworkActivity.hpp"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace vantrel {

/// Which redirects a request follows.
enum class HttpRedirects {
    /// None: a 3xx answer is the response (REST calls, whose headers carry credentials).
    none,
    /// Only to https:// URLs, at most five (signed file transfers, which carry no credentials).
    httpsOnly,
};

/// One HTTP request for HttpClient.
struct HttpRequest {
    /// "GET", "POST", "PUT", "DELETE", "HEAD"...
    std::string method = "GET";
    /// Absolute http:// or https:// URL.
    std::string url;
    /// Request headers; set "Content-Type" yourself for bodies and uploads.
    HttpHeaders headers;
    /// The body sent with the request (ignored when `uploadFile` is set).
    std::string body;
    /// When set, the body is streamed from this file instead of `body` (typically with PUT).
    std::optional<std::filesystem::path> uploadFile;
    /// When set, a successful (2xx) response body is streamed into this file: written to
    /// "<file>.part" first and renamed when complete, so a failed transfer never leaves a partial
    /// file under the final name. Non-2xx bodies stay in `HttpResponse::body`.
    std::optional<std::filesystem::path> downloadFile;
    /// Limit for the whole exchange; zero means none (long transfers rely on `stallTimeout`).
    std::chrono::milliseconds timeout{60000};
    /// Limit for establishing the connection (TCP and TLS).
    std::chrono::milliseconds connectTimeout{15000};
    /// A transfer that moves no byte for this long fails with a timeout; zero disables the check.
    std::chrono::milliseconds stallTimeout{30000};
    /// Transfer progress: bytes done and expected (0 when unknown), downloads and uploads alike.
    /// Runs on the client's transfer thread, so it must return quickly and must not call back into
    /// the same client synchronously.
    std::function<void(std::int64_t done, std::int64_t total)> progress;
    /// Redirects followed; none by default.
    HttpRedirects redirects = HttpRedirects::none;
    /// Largest body kept in memory (`HttpResponse::body`), counted after decoding; a longer answer
    /// ends with code 100 (transport "size") as soon as it passes the limit. Zero means no limit.
    /// A body streamed into `downloadFile` is not kept in memory: it is bounded by its declared
    /// length instead (downloads ask for no compression). A longer non-2xx answer to a download
    /// is cut at the limit and reported with its status, without an error.
    std::int64_t maximumBodyBytes = std::int64_t{32} << 20;
};

/// What came back.
struct HttpResponse {
    /// HTTP status, 0 when no answer arrived.
    long statusCode = 0;
    /// Response headers, names in lower case.
    HttpHeaders headers;
    /// The body (empty when it was streamed into `HttpRequest::downloadFile`).
    std::string body;
    /// The URL the answer came from after redirects.
    std::string effectiveUrl;
    /// Body bytes received (also counts bytes streamed into a file).
    std::int64_t bytesReceived = 0;
};

/// Options of one HttpClient.
struct HttpClientOptions {
    /// PEM file of extra certificate authorities, trusted in addition to the system's; empty for
    /// the system's alone. Verification of peer and host name is always on.
    std::string trustedCertificatesFile;
    /// User-Agent header of every request.
    std::string userAgent = "vantrel-backend/1";
    /// Threads that run completion blocks.
    int completionThreads = 4;
    /// Connections kept open per host for reuse.
    long maxConnectionsPerHost = 8;
};

/// Identifies one request sent through HttpClient, for `cancel`.
using HttpRequestId = std::uint64_t;

/// An asynchronous HTTP client over libcurl: one transfer thread drives every request of the
/// client (reusing connections, TLS always verified, gzip accepted for bodies kept in memory) and a small pool of worker
/// threads runs the completion blocks, never the main queue. Nothing blocks the caller.
///
/// Errors come back as `vantrel::Error` in the Parse domain with the transport codes of
/// ParseError.hpp (100 connection/TLS failure or cancellation, 124 timeout). An HTTP status of
/// 400 or above is not an error at this level: the response carries it.
///
/// Destroying the client (or `shutdown`) cancels requests still running (their blocks get code
/// 100) and waits for the completion blocks in flight; a request sent meanwhile, from one of those
/// blocks say, ends with code 100 too. Do not destroy it from inside one of its own blocks.
class HttpClient {
public:
    /// Completion: the response (meaningful when `error` is empty) and the transport error.
    using Completion = std::function<void(HttpResponse response, OptionalError error)>;

    /// Starts the transfer thread and the completion threads.
    explicit HttpClient(HttpClientOptions options = {});
    /// Cancels what still runs and waits for the completions in flight.
    ~HttpClient();
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    /// Starts `request`; `completion` runs once on a worker thread.
    HttpRequestId send(HttpRequest request, Completion completion);
    /// Cancels a request still running; its completion gets code 100 ("cancelled"). Unknown or
    /// finished ids are ignored.
    void cancel(HttpRequestId id);
    /// Stops the client early: cancels what still runs, stops the transfer thread and waits for
    /// the completion blocks in flight (not for the caller's own, when called from one). Every
    /// later request ends at once with code 100. Idempotent.
    void shutdown();
    /// Number of requests started and not yet completed.
    [[nodiscard]] std::size_t activeCount() const;
    /// The options the client was made with.
    [[nodiscard]] const HttpClientOptions& options() const noexcept;

private:
    class Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace vantrel

#pragma GCC visibility pop
