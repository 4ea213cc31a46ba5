#include "vantrel/files/DownloadingService.hpp"

#include "core/LogRedaction.hpp"
#include "files/FileKeys.hpp"
#include "vantrel/backend/HttpClient.hpp"
#include "vantrel/backend/Parse.hpp"
#include "vantrel/backend/ParseCloud.hpp"
#include "vantrel/core/DispatchQueue.hpp"
#include "vantrel/core/Log.hpp"
#include "vantrel/core/Paths.hpp"
#include "vantrel/core/VantrelSDK.hpp"
#include "vantrel/files/ProgressCombiner.hpp"

#include <boost/uuid/random_generator.hpp>
#include <boost/uuid/uuid_io.hpp>
#include <curl/curl.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <mutex>

namespace vantrel {

namespace {

// A refused transfer's answer is only quoted in a log line: its start is enough.
constexpr std::int64_t kKeptAnswerBytes = 64 * 1024;
constexpr const char* kInvalidKey = "downloadingService_error_invalid_file_key";
// Completed transfers wait here under a unique name before they are moved under their key, so a
// transfer that fails half-way never leaves a partial file under the key.
constexpr const char* kIncomingDirectory = ".incoming";

Error fileSystemError(const std::error_code& ec, const std::string& what) {
    return Error("NSCocoaErrorDomain", ec.value(), what + ": " + ec.message());
}

/// The key percent-encoded for a URL query: everything but RFC 3986 unreserved characters and the
/// sub-delimiters and separators a query may hold as they are.
std::string percentEncodedForQuery(const std::string& key) {
    static constexpr std::string_view allowed = "-._~!$&'()*+,;=:@/?";
    std::string out;
    out.reserve(key.size());
    for (unsigned char c : key) {
        if (std::isalnum(c) || allowed.find(static_cast<char>(c)) != std::string_view::npos) {
            out += static_cast<char>(c);
        } else {
            static constexpr char hex[] = "0123456789ABCDEF";
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 0xF];
        }
    }
    return out;
}

std::optional<FileData> readWholeFile(const std::filesystem::path& path, std::error_code& ec) {
    // Plain stdio: no stream exceptions, and a directory in the file's place is an error, not a crash.
    if (!std::filesystem::is_regular_file(path, ec)) {
        if (!ec) ec = std::make_error_code(std::errc::is_a_directory);
        return std::nullopt;
    }
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file) {
        ec = std::error_code(errno, std::generic_category());
        return std::nullopt;
    }
    FileData bytes;
    const auto size = std::filesystem::file_size(path, ec);
    if (!ec) bytes.reserve(size);
    std::uint8_t buffer[1 << 16];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file.get())) > 0;)
        bytes.insert(bytes.end(), buffer, buffer + n);
    if (std::ferror(file.get())) {
        ec = std::make_error_code(std::errc::io_error);
        return std::nullopt;
    }
    ec.clear();
    return bytes;
}

std::string newUuid() { return boost::uuids::to_string(boost::uuids::random_generator()()); }

bool validUrl(const std::string& text) {
    CURLU* url = curl_url();
    const bool ok = curl_url_set(url, CURLUPART_URL, text.c_str(), 0) == CURLUE_OK;
    curl_url_cleanup(url);
    return ok;
}

/// What `download` hands back: a file holding the body (moved under its key by the caller).
struct DownloadOutcome {
    std::optional<std::filesystem::path> file;
    OptionalError error;
};
using DownloadBlock = std::function<void(DownloadOutcome)>;

}  // namespace

class DownloadingService::Impl {
public:
    std::filesystem::path home() const {
        std::lock_guard lock(mutex_);
        return home_.empty() ? Paths::cachesDirectory() / "local" : home_;
    }
    void setHome(std::filesystem::path directory) {
        std::lock_guard lock(mutex_);
        home_ = std::move(directory);
    }

    /// The HTTP client for signed transfers; it trusts what the backend client trusts, since the
    /// signed URLs point at the backend's own file route.
    std::shared_ptr<HttpClient> http() {
        const std::string trusted = Parse::configuration().trustedCertificatesFile;
        std::lock_guard lock(mutex_);
        // Once stopped, the stopped client stays: its requests end at once as cancelled.
        if (!http_ || (httpTrust_ != trusted && !stopped_)) {
            HttpClientOptions options;
            options.trustedCertificatesFile = trusted;
            options.userAgent = "vantrel-files/1";
            http_ = std::make_shared<HttpClient>(options);
            httpTrust_ = trusted;
            if (stopped_) http_->shutdown();  // fresh: no block of it can be waiting on this lock
        }
        return http_;
    }

    void download(const std::string& url, DownloadBlock block, const ProgressBlock& progress);

    void stopTransfers() {
        std::shared_ptr<HttpClient> client;
        {
            std::lock_guard lock(mutex_);
            stopped_ = true;
            client = http_;
        }
        if (client) client->shutdown();
    }

private:
    bool stopped_ = false;
    mutable std::mutex mutex_;
    std::filesystem::path home_;
    std::shared_ptr<HttpClient> http_;
    std::string httpTrust_;
};

DownloadingService& DownloadingService::sharedInstance() {
    static auto* instance = new DownloadingService();  // lives for the process
    return *instance;
}

DownloadingService::DownloadingService() : impl_(std::make_unique<Impl>()) {}
DownloadingService::~DownloadingService() = default;

std::filesystem::path DownloadingService::localCacheHome() const { return impl_->home(); }

void DownloadingService::stopTransfers() { impl_->stopTransfers(); }
void DownloadingService::setLocalCacheHome(std::filesystem::path directory) { impl_->setHome(std::move(directory)); }

// ---- the cache --------------------------------------------------------------------------------

std::optional<std::filesystem::path> DownloadingService::getLocallyCachedFileUrl(const std::string& fileKey) const {
    auto relative = detail::relativeCachePath(fileKey);
    if (!relative) return std::nullopt;
    return impl_->home() / *relative;
}

bool DownloadingService::isExistsInLocalCache(const std::string& fileKey) const {
    auto path = getLocallyCachedFileUrl(fileKey);
    std::error_code ec;
    return path && std::filesystem::exists(*path, ec);
}

Expected<std::filesystem::path> DownloadingService::addToLocalCache(const std::string& fileKey, const FileData& data) {
    auto path = getLocallyCachedFileUrl(fileKey);
    if (!path) return Error(TextError(kInvalidKey));
    std::error_code ec;
    std::filesystem::create_directories(path->parent_path(), ec);
    if (ec) return fileSystemError(ec, "Unable to create '" + path->parent_path().string() + "'");
    // Written beside the target and renamed over it: readers see the old file or the new one.
    const auto temporary = path->parent_path() / ("." + path->filename().string() + "." + newUuid() + ".tmp");
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
        out.close();
        if (!out) {
            std::filesystem::remove(temporary, ec);
            return fileSystemError(std::make_error_code(std::errc::io_error),
                                   "Unable to write '" + path->string() + "'");
        }
    }
    std::error_code probe;
    if (std::filesystem::is_directory(*path, probe)) std::filesystem::remove_all(*path, ec);
    std::filesystem::rename(temporary, *path, ec);
    if (ec) {
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
        return fileSystemError(ec, "Unable to write '" + path->string() + "'");
    }
    return *path;
}

void DownloadingService::removeFromLocalCache(const std::string& fileKey) {
    auto path = getLocallyCachedFileUrl(fileKey);
    std::error_code ec;
    if (!path || !std::filesystem::exists(*path, ec)) return;
    std::filesystem::remove_all(*path, ec);
    if (ec) VLOG_ERROR("Unable to delete '" + path->string() + "' from cache due error: " + ec.message());
}

void DownloadingService::removeFromLocalCache(const std::vector<std::string>& fileKeys) {
    for (const auto& key : fileKeys) removeFromLocalCache(key);
}

void DownloadingService::cleanLocalCache() {
    const auto home = impl_->home();
    std::error_code ec;
    if (!std::filesystem::exists(home, ec)) return;
    std::filesystem::remove_all(home, ec);
    if (ec) {
        VLOG_ERROR("Unable to clean local cache due error: " + ec.message());
        return;
    }
    VLOG_DEBUG("Local cache has been cleaned up successfully.");
}

// ---- transfers --------------------------------------------------------------------------------

void DownloadingService::Impl::download(const std::string& url, DownloadBlock block, const ProgressBlock& progress) {
    if (progress) progress(ProgressStatus::downloading, 0.0);
    VLOG_DEBUG("METRIC [downloading] START " + detail::redactedUrl(url));

    std::error_code mkdirError;  // a failure shows as a transfer error when the file is opened
    const auto incoming = home() / kIncomingDirectory;
    std::filesystem::create_directories(incoming, mkdirError);
    const auto target = incoming / newUuid();

    HttpRequest request;
    request.url = url;
    request.downloadFile = target;
    request.timeout = std::chrono::milliseconds(0);   // large files may take longer than a minute...
    request.stallTimeout = std::chrono::seconds(60);  // ...but a transfer that stalls for one fails
    // A signed URL carries its own authority and no session header: it may move, but only to https.
    request.redirects = HttpRedirects::httpsOnly;
    request.maximumBodyBytes = kKeptAnswerBytes;  // the file goes to disk; only a refusal's start is kept
    // Progress comes from the transfer thread; only changes of a percent or more are handed to the
    // main queue, so a large file does not flood it.
    auto lastReported = std::make_shared<std::atomic<int>>(-1);
    request.progress = [progress, lastReported](std::int64_t done, std::int64_t total) {
        if (!progress || total <= 0) return;
        const double fraction = std::min(1.0, static_cast<double>(done) / static_cast<double>(total));
        const int percent = static_cast<int>(fraction * 100.0);
        if (percent <= lastReported->load()) return;  // called from the one transfer thread
        lastReported->store(percent);
        DispatchQueue::main().async([progress, fraction] { progress(ProgressStatus::downloading, fraction); });
    };

    http()->send(std::move(request), [url, target, block = std::move(block), progress](HttpResponse response,
                                                                                       OptionalError error) mutable {
        DispatchQueue::main().async([url, target, block = std::move(block), progress, response = std::move(response),
                                     error = std::move(error)] {
            if (progress) progress(ProgressStatus::done, 1.0);
            std::error_code ec;
            const bool haveBody = !error && response.statusCode != 0 && response.bytesReceived > 0;
            const bool success = response.statusCode >= 200 && response.statusCode <= 299;
            if (haveBody && VantrelSDK::debugLogging()) {
                VLOG_DEBUG("METRIC [downloading] END " + detail::redactedUrl(url) + "    " +
                           detail::formatByteCount(static_cast<std::uint64_t>(response.bytesReceived)));
            } else {
                VLOG_DEBUG("METRIC [downloading] END " + detail::redactedUrl(url));
            }
            if (error) {
                std::filesystem::remove(target, ec);
                block({std::nullopt, error});
                return;
            }
            if (!haveBody) {
                std::filesystem::remove(target, ec);
                block({std::nullopt, std::nullopt});
                return;
            }
            if (!success) {
                VLOG_ERROR("Unable to download from '" + detail::redactedUrl(url) + "' due error response [" +
                           std::to_string(response.statusCode) + "]: " + detail::loggableBody(response.body));
                std::filesystem::remove(target, ec);
                block({std::nullopt, std::nullopt});
                return;
            }
            block({target, std::nullopt});
        });
    });
}

void DownloadingService::download(const std::string& url, DataBlock block, ProgressBlock progressBlock) {
    impl_->download(
        url,
        [block = std::move(block)](DownloadOutcome outcome) {
            if (outcome.error || !outcome.file) return block(std::nullopt, outcome.error);
            std::error_code ec;
            auto bytes = readWholeFile(*outcome.file, ec);
            std::filesystem::remove(*outcome.file, ec);
            if (!bytes) return block(std::nullopt, fileSystemError(ec, "Unable to read the downloaded file"));
            block(std::move(bytes), std::nullopt);
        },
        progressBlock);
}

void DownloadingService::getDownloadingUrl(const std::string& fileKey, UrlBlock block) {
    ParseCloud::callFunctionInBackground(
        "getSignedUrlToDownloadByKey", {{"file_key", percentEncodedForQuery(fileKey)}},
        [block = std::move(block)](nlohmann::json result, OptionalError error) mutable {
            // Cloud answers are handed to the main queue, where the file flows run.
            DispatchQueue::main().async(
                [block = std::move(block), result = std::move(result), error = std::move(error)] {
                    if (error) {
                        VLOG_ERROR("Unable to getSignedUrlToDownloadByKey due error: " + error->description());
                        block(std::nullopt, error);
                        return;
                    }
                    if (result.is_object()) {
                        if (auto it = result.find("signedUrl"); it != result.end() && it->is_string()) {
                            const auto url = it->get<std::string>();
                            block(validUrl(url) ? std::optional<std::string>(url) : std::nullopt, std::nullopt);
                            return;
                        }
                    }
                    block(std::nullopt, TextError("common_internal_error"));
                });
        });
}

void DownloadingService::obtainFileFromLocalCache(const std::string& fileKey, bool downloadIfRequired, FileBlock block,
                                                  ProgressBlock progressBlock) {
    const auto finish = [&progressBlock, &block](std::optional<std::filesystem::path> url, OptionalError error) {
        if (progressBlock) progressBlock(ProgressStatus::done, 1.0);
        block(std::move(url), std::move(error));
    };
    const auto local = getLocallyCachedFileUrl(fileKey);
    if (!local) return finish(std::nullopt, TextError(kInvalidKey));
    std::error_code existsError;
    if (!downloadIfRequired || std::filesystem::exists(*local, existsError)) return finish(*local, std::nullopt);

    // Two equal phases: the signed URL, then the transfer.
    auto phases = ProgressCombiner::make(2, progressBlock);
    phases->report(0, ProgressStatus::downloading, 0.0);
    removeFromLocalCache(fileKey);

    getDownloadingUrl(fileKey, [this, fileKey, local = *local, phases, block = std::move(block), progressBlock](
                                   std::optional<std::string> url, OptionalError error) mutable {
        phases->report(0, ProgressStatus::downloading, 1.0);  // before the answer is looked at
        if (error) return block(std::nullopt, error);
        if (!url) return block(std::nullopt, std::nullopt);

        auto transferProgress = [phases](ProgressStatus status, double fraction) {
            phases->report(1, status == ProgressStatus::done ? ProgressStatus::downloading : status, fraction);
        };
        impl_->download(
            *url,
            [local, block = std::move(block), progressBlock](DownloadOutcome outcome) {
                const auto done = [&](std::optional<std::filesystem::path> path, OptionalError err) {
                    if (progressBlock) progressBlock(ProgressStatus::done, 1.0);
                    block(std::move(path), std::move(err));
                };
                if (outcome.error || !outcome.file) return done(std::nullopt, outcome.error);
                std::error_code ec;
                std::filesystem::create_directories(local.parent_path(), ec);
                // (status queries report "not found" through the error code too, so they get their own)
                std::error_code probe;
                if (!ec && std::filesystem::is_directory(local, probe)) std::filesystem::remove_all(local, ec);
                if (!ec) std::filesystem::rename(*outcome.file, local, ec);
                if (ec) {
                    std::error_code ignored;
                    std::filesystem::remove(*outcome.file, ignored);
                    return done(std::nullopt, fileSystemError(ec, "Unable to write '" + local.string() + "'"));
                }
                done(local, std::nullopt);
            },
            transferProgress);
    });
}

namespace {
/// Reads the file a file flow answered with, as the data form delivers it.
void deliverData(const std::optional<std::filesystem::path>& url, const OptionalError& error,
                 const DownloadingService::DataBlock& block) {
    if (error) return block(std::nullopt, error);
    if (!url) return block(std::nullopt, std::nullopt);
    std::error_code ec;
    auto bytes = readWholeFile(*url, ec);
    if (!bytes) {
        Error readError = fileSystemError(ec, "Unable to read '" + url->string() + "'");
        VLOG_ERROR("Unable to get data from '" + url->string() + "' due error: " + readError.description());
        return block(std::nullopt, readError);
    }
    block(std::move(bytes), std::nullopt);
}
}  // namespace

void DownloadingService::obtainDataFromLocalCache(const std::string& fileKey, bool downloadIfRequired, DataBlock block,
                                                  ProgressBlock progressBlock) {
    if (!downloadIfRequired && !isExistsInLocalCache(fileKey) && getLocallyCachedFileUrl(fileKey)) {
        // Only the cache may answer, and it has nothing.
        if (progressBlock) progressBlock(ProgressStatus::done, 1.0);
        return block(std::nullopt, std::nullopt);
    }
    obtainFileFromLocalCache(
        fileKey, true,
        [block = std::move(block)](std::optional<std::filesystem::path> url, OptionalError error) {
            deliverData(url, error, block);
        },
        std::move(progressBlock));
}

namespace {
/// One plural call: its keys, slots and results, walked one key at a time.
template <class Result>
struct PluralRun : std::enable_shared_from_this<PluralRun<Result>> {
    using Fetch = std::function<void(const std::string& key, std::function<void(Result)> done, ProgressBlock progress)>;
    std::vector<std::string> keys;
    std::map<std::string, Result> results;
    std::shared_ptr<ProgressCombiner> slots;
    ProgressBlock progress;
    std::function<void(std::map<std::string, Result>)> block;
    std::function<bool(const std::string&)> isCached;
    std::function<Result(const std::string&)> readCached;
    Fetch fetch;

    /// Handles keys from `index` on: cached keys in a loop, and a download by returning and
    /// resuming from its completion (so long runs of cached keys do not grow the stack).
    void run(std::size_t index) {
        for (; index < keys.size(); ++index) {
            const std::string& key = keys[index];
            if (isCached(key)) {
                slots->finishStep(index);
                results[key] = readCached(key);
                continue;
            }
            slots->report(index, ProgressStatus::downloading, 0.0);
            auto self = this->shared_from_this();
            fetch(
                key,
                [self, index](Result result) {
                    self->slots->finishStep(index);
                    self->results[self->keys[index]] = std::move(result);
                    self->run(index + 1);
                },
                slots->blockForStep(index));
            return;
        }
        if (progress) progress(ProgressStatus::done, 1.0);
        block(std::move(results));
    }
};

template <class Result>
void runPlural(std::shared_ptr<PluralRun<Result>> run) {
    if (run->keys.empty()) {
        if (run->progress) run->progress(ProgressStatus::done, 1.0);
        run->block({});
        return;
    }
    run->slots = ProgressCombiner::make(run->keys.size(), run->progress);
    if (run->progress) run->progress(ProgressStatus::loading, 0.0);
    run->run(0);
}
}  // namespace

void DownloadingService::obtainFilesFromLocalCache(const std::vector<std::string>& fileKeys, FilesBlock block,
                                                   ProgressBlock progressBlock) {
    auto run = std::make_shared<PluralRun<FileResult>>();
    run->keys = fileKeys;
    run->progress = std::move(progressBlock);
    run->block = std::move(block);
    run->isCached = [this](const std::string& key) { return isExistsInLocalCache(key); };
    run->readCached = [this](const std::string& key) { return FileResult{getLocallyCachedFileUrl(key), std::nullopt}; };
    run->fetch = [this](const std::string& key, std::function<void(FileResult)> done, ProgressBlock progress) {
        obtainFileFromLocalCache(
            key, true,
            [done = std::move(done)](std::optional<std::filesystem::path> url, OptionalError error) {
                done(FileResult{std::move(url), std::move(error)});
            },
            std::move(progress));
    };
    runPlural(run);
}

void DownloadingService::obtainDatasFromLocalCache(const std::vector<std::string>& fileKeys, DatasBlock block,
                                                   ProgressBlock progressBlock) {
    auto run = std::make_shared<PluralRun<DataResult>>();
    run->keys = fileKeys;
    run->progress = std::move(progressBlock);
    run->block = std::move(block);
    run->isCached = [this](const std::string& key) { return isExistsInLocalCache(key); };
    run->readCached = [this](const std::string& key) {
        DataResult result;
        deliverData(getLocallyCachedFileUrl(key), std::nullopt,
                    [&result](std::optional<FileData> data, OptionalError e) {
                        result = DataResult{std::move(data), std::move(e)};
                    });
        return result;
    };
    run->fetch = [this](const std::string& key, std::function<void(DataResult)> done, ProgressBlock progress) {
        obtainDataFromLocalCache(
            key, true,
            [done = std::move(done)](std::optional<FileData> data, OptionalError error) {
                done(DataResult{std::move(data), std::move(error)});
            },
            std::move(progress));
    };
    runPlural(run);
}

// ---- server-side operations -------------------------------------------------------------------

void DownloadingService::upload(const std::filesystem::path& localFile, const std::string& fileKey, ErrorBlock block) {
    ParseCloud::callFunctionInBackground(
        "getSignedUrlToUploadByKey", {{"file_key", fileKey}},
        [this, localFile, block = std::move(block)](nlohmann::json result, OptionalError error) mutable {
            DispatchQueue::main().async([this, localFile, block = std::move(block), result = std::move(result),
                                         error = std::move(error)]() mutable {
                if (error) return block(error);
                const auto text = [&result](const char* key) -> std::optional<std::string> {
                    if (!result.is_object()) return std::nullopt;
                    auto it = result.find(key);
                    if (it == result.end() || !it->is_string()) return std::nullopt;
                    return it->get<std::string>();
                };
                const auto signedUrl = text("signedUrl");
                const auto contentType = text("contentType");
                const auto filePath = text("filePath");
                if (!signedUrl || !contentType || !filePath)
                    return block(TextError("downloadingService_error_upload_bad_response"));

                VLOG_DEBUG("METRIC [uploading] START " + *filePath);
                HttpRequest request;
                request.method = "PUT";
                request.url = *signedUrl;
                request.headers = {{"Content-Type", *contentType}};
                request.uploadFile = localFile;
                request.timeout = std::chrono::milliseconds(0);
                request.stallTimeout = std::chrono::seconds(60);
                request.redirects = HttpRedirects::httpsOnly;
                request.maximumBodyBytes = kKeptAnswerBytes;
                impl_->http()->send(std::move(request), [block = std::move(block), filePath = *filePath](
                                                            HttpResponse response, OptionalError failure) mutable {
                    DispatchQueue::main().async([block = std::move(block), filePath, response = std::move(response),
                                                 failure = std::move(failure)] {
                        VLOG_DEBUG("METRIC [uploading] END " + filePath);
                        if (failure) {
                            VLOG_WARNING("Error occured while uploading of '" + filePath +
                                         "': " + failure->localizedDescription());
                            return block(failure);
                        }
                        if (response.statusCode == 0 || (response.statusCode >= 200 && response.statusCode <= 299))
                            return block(std::nullopt);
                        TextError message("downloadingService_error_upload_error_response",
                                          {std::to_string(response.statusCode)});
                        VLOG_ERROR(message.message + " " + detail::loggableBody(response.body));
                        block(message);
                    });
                });
            });
        });
}

void DownloadingService::isFileExistsOnServer(const std::string& fileKey, ExistsBlock block) {
    ParseCloud::callFunctionInBackground(
        "isFileExists", {{"file_key", fileKey}},
        [block = std::move(block)](nlohmann::json result, OptionalError error) mutable {
            DispatchQueue::main().async(
                [block = std::move(block), result = std::move(result), error = std::move(error)] {
                    block(!error && result.is_boolean() && result.get<bool>(), error);
                });
        });
}

void DownloadingService::deleteFileFromServer(const std::string& fileKey, ErrorBlock block) {
    ParseCloud::callFunctionInBackground(
        "deleteFile", {{"file_key", fileKey}}, [block = std::move(block)](nlohmann::json, OptionalError error) mutable {
            DispatchQueue::main().async([block = std::move(block), error = std::move(error)] { block(error); });
        });
}

}  // namespace vantrel
