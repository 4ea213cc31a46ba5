#include "vantrel/backend/HttpClient.hpp"

#include "backend/GlobalInit.hpp"
#include "backend/JsonDocument.hpp"
#include "backend/WorkerPool.hpp"
#include "core/HostCall.hpp"
#include "vantrel/backend/ParseError.hpp"
#include "vantrel/core/Log.hpp"

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cctype>
#include <cstdio>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

namespace vantrel {

namespace {

std::string lowercase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t\r\n");
    return std::string(text.substr(first, last - first + 1));
}

Error transportError(const char* kind, std::string message) {
    const long code = std::string_view(kind) == "timeout" ? ParseErrorCode::timeout : ParseErrorCode::connectionFailed;
    return makeParseError(code, std::move(message), {{"transport", kind}});
}

Error errorFromCurl(CURLcode code, const char* detail) {
    std::string text = detail && *detail ? detail : curl_easy_strerror(code);
    switch (code) {
        case CURLE_OPERATION_TIMEDOUT: return transportError("timeout", "The request timed out: " + text);
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_ISSUER_ERROR:
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
        case CURLE_SSL_INVALIDCERTSTATUS:
        case CURLE_SSL_CRL_BADFILE:
        case CURLE_SSL_ENGINE_NOTFOUND:
        case CURLE_SSL_ENGINE_SETFAILED:
        case CURLE_SSL_ENGINE_INITFAILED:
        case CURLE_SSL_SHUTDOWN_FAILED: return transportError("tls", "The secure connection failed: " + text);
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
        case CURLE_COULDNT_CONNECT: return transportError("connect", "Could not connect to the server: " + text);
        case CURLE_ABORTED_BY_CALLBACK: return transportError("cancelled", "The request was cancelled.");
        case CURLE_WRITE_ERROR:
        case CURLE_READ_ERROR: return transportError("file", "A local file could not be read or written: " + text);
        default: return transportError("io", "The connection failed: " + text);
    }
}

struct Transfer {
    HttpRequestId id = 0;
    HttpRequest request;
    HttpClient::Completion completion;
    CURL* easy = nullptr;
    curl_slist* headers = nullptr;
    HttpResponse response;
    std::FILE* uploadFile = nullptr;
    std::FILE* downloadFile = nullptr;
    std::filesystem::path partPath;
    bool downloadFailed = false;
    bool tooLarge = false;  // the body passed its limit; the transfer was stopped
    char errorBuffer[CURL_ERROR_SIZE] = {0};

    ~Transfer() {
        if (easy) curl_easy_cleanup(easy);
        if (headers) curl_slist_free_all(headers);
        if (uploadFile) std::fclose(uploadFile);
        if (downloadFile) std::fclose(downloadFile);
    }
};

long currentStatus(Transfer* transfer) {
    long status = 0;
    curl_easy_getinfo(transfer->easy, CURLINFO_RESPONSE_CODE, &status);
    return status;
}

size_t onWrite(char* data, size_t size, size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    const size_t bytes = size * count;
    transfer->response.bytesReceived += static_cast<std::int64_t>(bytes);
    const long status = currentStatus(transfer);
    if (transfer->request.downloadFile && status >= 200 && status < 300) {
        curl_off_t declared = -1;
        curl_easy_getinfo(transfer->easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &declared);
        if (declared >= 0 && transfer->response.bytesReceived > declared) {
            transfer->tooLarge = true;
            return 0;
        }
        if (!transfer->downloadFile) {
            std::error_code ec;
            std::filesystem::create_directories(transfer->partPath.parent_path(), ec);
            transfer->downloadFile = std::fopen(transfer->partPath.c_str(), "wb");
            if (!transfer->downloadFile) {
                transfer->downloadFailed = true;
                return 0;  // makes curl fail with CURLE_WRITE_ERROR
            }
        }
        if (std::fwrite(data, 1, bytes, transfer->downloadFile) != bytes) {
            transfer->downloadFailed = true;
            return 0;
        }
        return bytes;
    }
    const auto limit = transfer->request.maximumBodyBytes;
    if (limit > 0 && static_cast<std::int64_t>(transfer->response.body.size() + bytes) > limit) {
        transfer->tooLarge = true;
        return 0;  // curl ends the transfer with CURLE_WRITE_ERROR
    }
    auto& body = transfer->response.body;
    if (body.size() + bytes > body.capacity()) {
        // Grow to the declared length at once, else by doubling, but never past the limit: the
        // string never holds room for more than it may keep.
        curl_off_t declared = -1;
        curl_easy_getinfo(transfer->easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &declared);
        std::size_t room =
            std::max(body.size() + bytes, declared > 0 ? static_cast<std::size_t>(declared) : body.capacity() * 2);
        if (limit > 0) room = std::min(room, static_cast<std::size_t>(limit));
        body.reserve(room);
    }
    body.append(data, bytes);
    return bytes;
}

size_t onHeader(char* data, size_t size, size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    const size_t bytes = size * count;
    const std::string_view line(data, bytes);
    if (line.rfind("HTTP/", 0) == 0) {
        // A new status line (after a redirect or "100 Continue"): headers start over.
        transfer->response.headers.clear();
    } else if (const auto colon = line.find(':'); colon != std::string_view::npos) {
        transfer->response.headers[lowercase(trim(line.substr(0, colon)))] = trim(line.substr(colon + 1));
    }
    return bytes;
}

size_t onRead(char* buffer, size_t size, size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    const size_t read = std::fread(buffer, 1, size * count, transfer->uploadFile);
    if (read == 0 && std::ferror(transfer->uploadFile)) return CURL_READFUNC_ABORT;
    return read;
}

int onProgress(void* user, curl_off_t dlTotal, curl_off_t dlNow, curl_off_t ulTotal, curl_off_t ulNow) {
    auto* transfer = static_cast<Transfer*>(user);
    if (transfer->request.progress) {
        // Host code called from inside curl: nothing may unwind through it.
        detail::callHostCode("a progress block run by", "vantrel.http", [&] {
            if (transfer->request.uploadFile)
                transfer->request.progress(ulNow, ulTotal);
            else
                transfer->request.progress(dlNow, dlTotal);
        });
    }
    return 0;
}

}  // namespace

namespace backend_detail {
void initializeTransportLibraries() {
    static std::once_flag once;
    std::call_once(once, [] {
        curl_global_init(CURL_GLOBAL_DEFAULT);
        prepareJsonParsing();
        // After OpenSSL's exit handler, so this one runs first: the clients' threads end while
        // the libraries they are inside of still stand.
        std::atexit([] { ExitStop::runAll(); });
    });
}
}  // namespace backend_detail

class HttpClient::Impl {
public:
    explicit Impl(HttpClientOptions options)
        : options_(std::move(options)),
          completions_("vantrel.http.completion", static_cast<std::size_t>(std::max(1, options_.completionThreads))) {
        backend_detail::initializeTransportLibraries();
        multi_ = curl_multi_init();
        curl_multi_setopt(multi_, CURLMOPT_MAX_HOST_CONNECTIONS, options_.maxConnectionsPerHost);
        curl_multi_setopt(multi_, CURLMOPT_MAXCONNECTS, options_.maxConnectionsPerHost * 4);
        loop_ = std::thread([this] { run(); });
        exitStop_.emplace([this] { shutdown(); });
    }

    ~Impl() {
        exitStop_.reset();
        shutdown();
        // completions_ (declared last) drains and joins when it is destroyed after this body.
    }

    // Stops the transfer thread (what still runs ends as cancelled), closes the multi handle and
    // waits for the completions in flight, including those that requests sent from completions
    // add. Idempotent; later requests end at once with code 100.
    void shutdown() {
        {
            std::lock_guard lock(mutex_);
            if (!stopping_) {
                stopping_ = true;
                curl_multi_wakeup(multi_);
            }
        }
        {
            std::lock_guard join(shutdownMutex_);
            if (loop_.joinable()) {
                loop_.join();
                std::lock_guard lock(mutex_);
                // Under the lock: `send` and `cancel` only wake the loop while the handle is open.
                curl_multi_cleanup(multi_);
                multi_ = nullptr;
            }
        }
        completions_.waitUntilIdle();
    }

    HttpRequestId send(HttpRequest request, Completion completion) {
        auto transfer = std::make_unique<Transfer>();
        transfer->id = nextId_.fetch_add(1) + 1;
        transfer->request = std::move(request);
        transfer->completion = std::move(completion);
        const auto id = transfer->id;
        {
            std::lock_guard lock(mutex_);
            if (!stopping_) {
                ++active_;
                incoming_.push_back(std::move(transfer));
                curl_multi_wakeup(multi_);
                return id;
            }
        }
        // Shutting down: the block still hears of its request, as cancelled.
        finish(std::move(transfer), transportError("cancelled", "The request was cancelled."));
        return id;
    }

    void cancel(HttpRequestId id) {
        std::lock_guard lock(mutex_);
        if (stopping_) return;  // everything still running ends as cancelled anyway
        cancelled_.push_back(id);
        curl_multi_wakeup(multi_);
    }

    std::size_t activeCount() const {
        std::lock_guard lock(mutex_);
        return active_;
    }

    const HttpClientOptions& options() const noexcept { return options_; }

private:
    void run() {
        log::setCurrentThreadName("vantrel.http");
        for (;;) {
            std::deque<std::unique_ptr<Transfer>> incoming;
            std::vector<HttpRequestId> cancelled;
            bool stopping = false;
            {
                std::lock_guard lock(mutex_);
                incoming.swap(incoming_);
                cancelled.swap(cancelled_);
                stopping = stopping_;
            }
            for (auto& transfer : incoming) start(std::move(transfer));
            for (auto id : cancelled) cancelRunning(id);
            if (stopping) break;

            int running = 0;
            curl_multi_perform(multi_, &running);
            int left = 0;
            while (CURLMsg* message = curl_multi_info_read(multi_, &left)) {
                if (message->msg != CURLMSG_DONE) continue;
                const CURLcode result = message->data.result;
                CURL* easy = message->easy_handle;
                auto it = running_.find(easy);
                if (it == running_.end()) continue;
                auto transfer = std::move(it->second);
                running_.erase(it);
                curl_multi_remove_handle(multi_, easy);
                complete(std::move(transfer), result);
            }
            curl_multi_poll(multi_, nullptr, 0, 1000, nullptr);
        }
        // Shutting down: whatever still runs ends as cancelled.
        for (auto& [easy, transfer] : running_) {
            curl_multi_remove_handle(multi_, easy);
            finishCounted(std::move(transfer), transportError("cancelled", "The request was cancelled."));
        }
        running_.clear();
    }

    void start(std::unique_ptr<Transfer> transfer) {
        const HttpRequest& request = transfer->request;
        CURL* easy = curl_easy_init();
        if (!easy) {
            finishCounted(std::move(transfer), transportError("io", "Could not create a transfer."));
            return;
        }
        transfer->easy = easy;
        curl_easy_setopt(easy, CURLOPT_URL, request.url.c_str());
        curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
        curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
        if (request.redirects == HttpRedirects::httpsOnly) {
            curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
            curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "https");
            curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 5L);
        } else {
            curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
        }
        if (request.downloadFile) {
            // Files come as they are, so their declared length bounds what reaches the disk.
            curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, nullptr);
        } else {
            curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");
            // Refuses a declared length above the limit before any byte of the body arrives;
            // onWrite counts the decoded bytes of the rest.
            if (request.maximumBodyBytes > 0)
                curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(request.maximumBodyBytes));
        }
        curl_easy_setopt(easy, CURLOPT_TCP_KEEPALIVE, 1L);
        curl_easy_setopt(easy, CURLOPT_USERAGENT, options_.userAgent.c_str());
        curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, transfer->errorBuffer);
        // Verification is never switched off; the configured authorities come on top of the
        // system's (with OpenSSL curl reads both CAINFO and CAPATH).
        curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
        curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
        if (!options_.trustedCertificatesFile.empty()) {
            curl_easy_setopt(easy, CURLOPT_CAINFO, options_.trustedCertificatesFile.c_str());
            curl_easy_setopt(easy, CURLOPT_CAPATH, "/etc/ssl/certs");
        }
        curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(request.timeout.count()));
        curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS,
                         static_cast<long>(std::max<long>(1, request.connectTimeout.count())));
        if (request.stallTimeout.count() > 0) {
            curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
            curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME,
                             std::max<long>(1, static_cast<long>((request.stallTimeout.count() + 999) / 1000)));
        }
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &onWrite);
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, transfer.get());
        curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &onHeader);
        curl_easy_setopt(easy, CURLOPT_HEADERDATA, transfer.get());
        if (request.progress) {
            curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
            curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &onProgress);
            curl_easy_setopt(easy, CURLOPT_XFERINFODATA, transfer.get());
        }

        for (const auto& [name, value] : request.headers)
            transfer->headers = curl_slist_append(transfer->headers, (name + ": " + value).c_str());

        const std::string method = request.method.empty() ? "GET" : request.method;
        if (request.uploadFile) {
            transfer->uploadFile = std::fopen(request.uploadFile->c_str(), "rb");
            std::error_code ec;
            const auto size = std::filesystem::file_size(*request.uploadFile, ec);
            if (!transfer->uploadFile || ec) {
                finishCounted(std::move(transfer), transportError("file", "The file to upload cannot be read: " +
                                                                              request.uploadFile->string()));
                return;
            }
            curl_easy_setopt(easy, CURLOPT_UPLOAD, 1L);
            curl_easy_setopt(easy, CURLOPT_READFUNCTION, &onRead);
            curl_easy_setopt(easy, CURLOPT_READDATA, transfer.get());
            curl_easy_setopt(easy, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(size));
            if (method != "PUT") curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, method.c_str());
            // Without this curl waits for "100 Continue" before sending the body.
            transfer->headers = curl_slist_append(transfer->headers, "Expect:");
        } else if (method == "GET") {
            curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
        } else if (method == "HEAD") {
            curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
        } else {
            if (method == "POST" || !request.body.empty()) {
                curl_easy_setopt(easy, CURLOPT_POSTFIELDS, request.body.data());
                curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
            }
            if (method != "POST") curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, method.c_str());
            transfer->headers = curl_slist_append(transfer->headers, "Expect:");
        }
        curl_easy_setopt(easy, CURLOPT_HTTPHEADER, transfer->headers);
        if (request.downloadFile) {
            transfer->partPath = *request.downloadFile;
            transfer->partPath += ".part";
        }

        if (curl_multi_add_handle(multi_, easy) != CURLM_OK) {
            finishCounted(std::move(transfer), transportError("io", "Could not start the transfer."));
            return;
        }
        running_.emplace(easy, std::move(transfer));
    }

    void cancelRunning(HttpRequestId id) {
        for (auto it = running_.begin(); it != running_.end(); ++it) {
            if (it->second->id != id) continue;
            auto transfer = std::move(it->second);
            curl_multi_remove_handle(multi_, it->first);
            running_.erase(it);
            finishCounted(std::move(transfer), transportError("cancelled", "The request was cancelled."));
            return;
        }
    }

    void complete(std::unique_ptr<Transfer> transfer, CURLcode result) {
        HttpResponse& response = transfer->response;
        curl_easy_getinfo(transfer->easy, CURLINFO_RESPONSE_CODE, &response.statusCode);
        char* effective = nullptr;
        curl_easy_getinfo(transfer->easy, CURLINFO_EFFECTIVE_URL, &effective);
        if (effective) response.effectiveUrl = effective;

        OptionalError error;
        if (transfer->tooLarge || result == CURLE_FILESIZE_EXCEEDED) {
            const bool success = response.statusCode >= 200 && response.statusCode < 300;
            // A failed download's body only feeds a message: its start is enough.
            if (transfer->request.downloadFile && success)
                error = transportError("size", "The file is longer than its declared length.");
            else if (!transfer->request.downloadFile)
                error = transportError("size", "The answer is larger than the limit of " +
                                                   std::to_string(transfer->request.maximumBodyBytes) + " bytes.");
        } else if (result != CURLE_OK) {
            error = errorFromCurl(result, transfer->errorBuffer);
        }

        if (transfer->request.downloadFile) {
            if (transfer->downloadFile) {
                if (std::fclose(transfer->downloadFile) != 0 && !error)
                    error = transportError("file", "The downloaded file could not be written.");
                transfer->downloadFile = nullptr;
            }
            std::error_code ec;
            const bool success = !error && response.statusCode >= 200 && response.statusCode < 300;
            if (success) {
                if (!std::filesystem::exists(transfer->partPath, ec)) {
                    // An empty body never opened the file; an empty file is still the answer.
                    if (std::FILE* empty = std::fopen(transfer->partPath.c_str(), "wb")) std::fclose(empty);
                }
                std::filesystem::rename(transfer->partPath, *transfer->request.downloadFile, ec);
                if (ec)
                    error = transportError("file", "The downloaded file could not be moved in place: " + ec.message());
            }
            if (!success || ec) std::filesystem::remove(transfer->partPath, ec);
        }
        finishCounted(std::move(transfer), std::move(error));
    }

    // Hands the transfer's outcome to a completion thread and forgets it.
    void finishCounted(std::unique_ptr<Transfer> transfer, OptionalError error) {
        {
            std::lock_guard lock(mutex_);
            --active_;
        }
        finish(std::move(transfer), std::move(error));
    }

    void finish(std::unique_ptr<Transfer> transfer, OptionalError error) {
        auto completion = std::move(transfer->completion);
        auto response = std::move(transfer->response);
        transfer.reset();  // closes files and the handle on this thread
        if (!completion) return;
        completions_.post([completion = std::move(completion), response = std::move(response),
                           error = std::move(error)]() mutable { completion(std::move(response), std::move(error)); });
    }

    HttpClientOptions options_;
    CURLM* multi_ = nullptr;
    mutable std::mutex mutex_;
    std::mutex shutdownMutex_;  // one shutdown joins the loop; others wait for it
    std::deque<std::unique_ptr<Transfer>> incoming_;
    std::vector<HttpRequestId> cancelled_;
    std::size_t active_ = 0;
    bool stopping_ = false;
    std::atomic<HttpRequestId> nextId_{0};
    std::map<CURL*, std::unique_ptr<Transfer>> running_;  // touched by the loop thread only
    std::thread loop_;
    backend_detail::WorkerPool completions_;
    std::optional<backend_detail::ExitStop> exitStop_;  // ends the threads above at process exit
};

HttpClient::HttpClient(HttpClientOptions options) : impl_(std::make_unique<Impl>(std::move(options))) {}
HttpClient::~HttpClient() = default;

HttpRequestId HttpClient::send(HttpRequest request, Completion completion) {
    return impl_->send(std::move(request), std::move(completion));
}

void HttpClient::cancel(HttpRequestId id) { impl_->cancel(id); }
void HttpClient::shutdown() { impl_->shutdown(); }
std::size_t HttpClient::activeCount() const { return impl_->activeCount(); }
const HttpClientOptions& HttpClient::options() const noexcept { return impl_->options(); }

}  // namespace vantrel
