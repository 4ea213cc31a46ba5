#pragma once

#include "vantrel/files/DownloadingService.hpp"

#include <optional>
#include <string>

namespace vantrel::domain_detail {

/// The bytes of the file a record names, through the file cache (downloading when needed), with
/// the cache's answer handed on unchanged. Without a file key (none or blank) the block runs at
/// once with neither bytes nor error. An empty block is allowed: the fetch then only fills the
/// cache.
void obtainRecordFileData(const std::optional<std::string>& fileKey, DownloadingService::DataBlock block);

}  // namespace vantrel::domain_detail
