#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/core/Error.hpp"
#include "vantrel/core/Expected.hpp"
#include "vantrel/files/ProgressStatus.hpp"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vantrel {

class HttpClient;

/// The bytes of a file.
using FileData = std::vector<std::uint8_t>;

/// One key's answer in the plural file form.
struct FileResult {
    std::optional<std::filesystem::path> data;
    OptionalError error;
};

/// One key's answer in the plural data form.
struct DataResult {
    std::optional<FileData> data;
    OptionalError error;
};

/// The library's gateway to files. Every file a record points to is named by a file key, a
/// relative path chosen by the backend; the service keeps a local cache keyed by those keys and
/// moves files between it and the backend's file store through short-lived signed URLs that
/// backend functions hand out.
///
/// Threads: completions and progress of transfers run on the main queue; when a file is already
/// cached, the completion (and its `done` report) runs at once on the caller's thread.
///
/// Keys are untrusted input: a key that would leave the cache directory (a ".." segment, an
/// absolute path after the one leading "/" is dropped, a NUL byte, an empty path) is refused
/// with the error "downloadingService_error_invalid_file_key" and touches nothing.
class DownloadingService {
public:
    using FileBlock = std::function<void(std::optional<std::filesystem::path> url, OptionalError error)>;
    using DataBlock = std::function<void(std::optional<FileData> data, OptionalError error)>;
    using FilesBlock = std::function<void(std::map<std::string, FileResult> results)>;
    using DatasBlock = std::function<void(std::map<std::string, DataResult> results)>;
    using UrlBlock = std::function<void(std::optional<std::string> url, OptionalError error)>;
    using ErrorBlock = std::function<void(OptionalError error)>;
    using ExistsBlock = std::function<void(bool exists, OptionalError error)>;

    /// The process-wide instance.
    static DownloadingService& sharedInstance();

    /// The cache root: <host caches directory>/local unless the host set another.
    [[nodiscard]] std::filesystem::path localCacheHome() const;
    /// Moves the cache root (for hosts with their own layout, and for tests).
    void setLocalCacheHome(std::filesystem::path directory);

    /// The local path of `fileKey` (one leading "/" dropped); none for a refused key. No disk access.
    [[nodiscard]] std::optional<std::filesystem::path> getLocallyCachedFileUrl(const std::string& fileKey) const;
    /// True when a file or directory exists at the key's local path.
    [[nodiscard]] bool isExistsInLocalCache(const std::string& fileKey) const;
    /// Stores `data` under the key (creating parent directories, replacing an existing file,
    /// writing atomically) and returns the local path.
    Expected<std::filesystem::path> addToLocalCache(const std::string& fileKey, const FileData& data);
    /// Deletes the key's local file if present; failures are logged.
    void removeFromLocalCache(const std::string& fileKey);
    /// Deletes each key's local file, in order.
    void removeFromLocalCache(const std::vector<std::string>& fileKeys);
    /// Deletes the whole cache directory.
    void cleanLocalCache();
    /// Stops signed transfers for good (`VantrelSDK::shutdown` calls it): transfers still running
    /// end as cancelled (code 100), their blocks are waited for, and later transfers end at once
    /// with code 100. The local cache itself stays usable.
    void stopTransfers();

    /// The key's local path, downloading the file first when it is missing and
    /// `downloadIfRequired` is true. With `downloadIfRequired` false the path is given at once,
    /// whether or not the file exists.
    void obtainFileFromLocalCache(const std::string& fileKey, bool downloadIfRequired, FileBlock block,
                                  ProgressBlock progressBlock = {});
    /// The key's bytes, downloading first when needed. With `downloadIfRequired` false only the
    /// cache answers: a missing file gives neither data nor error.
    void obtainDataFromLocalCache(const std::string& fileKey, bool downloadIfRequired, DataBlock block,
                                  ProgressBlock progressBlock = {});
    /// The file form for many keys, one after another; results keyed as the caller wrote the keys.
    void obtainFilesFromLocalCache(const std::vector<std::string>& fileKeys, FilesBlock block,
                                   ProgressBlock progressBlock = {});
    /// The data form for many keys, one after another; results keyed as the caller wrote the keys.
    void obtainDatasFromLocalCache(const std::vector<std::string>& fileKeys, DatasBlock block,
                                   ProgressBlock progressBlock = {});

    /// Performs one download of `url` (a signed URL) and delivers the body: the bytes for a 2xx
    /// answer with a body, neither data nor error for another status or an empty body, the
    /// transport error otherwise. Progress: (`downloading`, fraction) during, (`done`, 1.0) last.
    void download(const std::string& url, DataBlock block, ProgressBlock progressBlock = {});
    /// Asks the backend for a signed download URL of the key.
    void getDownloadingUrl(const std::string& fileKey, UrlBlock block);
    /// Uploads a local file under the key through a signed URL (HTTP PUT).
    void upload(const std::filesystem::path& localFile, const std::string& fileKey, ErrorBlock block);
    /// Asks the backend whether the key exists in its file store.
    void isFileExistsOnServer(const std::string& fileKey, ExistsBlock block);
    /// Asks the backend to delete the key from its file store.
    void deleteFileFromServer(const std::string& fileKey, ErrorBlock block);

    ~DownloadingService();
    DownloadingService(const DownloadingService&) = delete;
    DownloadingService& operator=(const DownloadingService&) = delete;

private:
    DownloadingService();
    class Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace vantrel

#pragma GCC visibility pop
