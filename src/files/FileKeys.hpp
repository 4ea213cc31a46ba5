#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace vantrel::detail {

/// The path below the cache root that a file key names: one leading "/" dropped. None for keys
/// that would leave the cache root or cannot name a file: empty, containing NUL, absolute after
/// the drop, or holding a ".." segment.
std::optional<std::filesystem::path> relativeCachePath(const std::string& fileKey);

/// Human-readable size in kilobytes or megabytes ("12 KB", "3.4 MB") for log lines.
std::string formatByteCount(std::uint64_t bytes);

}  // namespace vantrel::detail
