#include "vantrel/domain/ModelFileAwareEntity.hpp"

#include "domain/RecordFiles.hpp"
#include "domain/ValueReading.hpp"
#include "vantrel/graph/TextPresence.hpp"

#include <limits>
#include <map>

namespace vantrel {

using namespace domain_detail;

namespace {

// Sizes come from the backend; a sum beyond 64 bits stops at the limit instead of wrapping.
std::int64_t saturatingAdd(std::int64_t a, std::int64_t b) {
    std::int64_t sum = 0;
    if (!__builtin_add_overflow(a, b, &sum)) return sum;
    return b > 0 ? std::numeric_limits<std::int64_t>::max() : std::numeric_limits<std::int64_t>::min();
}

}  // namespace

std::string ModelFileAwareEntity::name() const { return readTrimmedText(value("name")); }

std::optional<std::string> ModelFileAwareEntity::thumbnailFilePath() const {
    return readPresentText(value("thumbnailFilePath"));
}

bool ModelFileAwareEntity::isThumbnailFileExist() const { return isNotBlank(thumbnailFilePath()); }

void ModelFileAwareEntity::getThumbnailFileData(FileDataBlock block) const {
    obtainRecordFileData(thumbnailFilePath(), std::move(block));
}

std::optional<std::string> ModelFileAwareEntity::scnModelFilePath() const {
    return readPresentText(value("scnModelFilePath"));
}

bool ModelFileAwareEntity::isScnModelFileExist() const { return isNotBlank(scnModelFilePath()); }

bool ModelFileAwareEntity::isModelFileZip() const {
    const auto path = scnModelFilePath();
    return path && path->ends_with(".zip");
}

std::optional<std::string> ModelFileAwareEntity::unzipDirectoryFileKey() const {
    if (!isModelFileZip()) return std::nullopt;
    return *scnModelFilePath() + ".extracted";
}

std::vector<std::string> ModelFileAwareEntity::scnModelAssetFilePaths() const {
    return readTextList(value("scnModelAssetFilePaths"));
}

bool ModelFileAwareEntity::isScnModelAssetFilePathsExist() const { return !scnModelAssetFilePaths().empty(); }

std::vector<std::shared_ptr<FileSizeEntity>> ModelFileAwareEntity::fileSizes() const {
    return readEmbeddedList<FileSizeEntity>(value("fileSizes"));
}

std::int64_t ModelFileAwareEntity::totalSize() const {
    const auto sizes = fileSizes();
    if (sizes.empty()) return 0;
    const auto modelPath = scnModelFilePath();
    if (!isNotBlank(modelPath)) return 0;
    // A path listed twice keeps its first size: the list names each file once, and counting a
    // repeated entry twice would overstate the download.
    std::map<std::string, std::int64_t> sizeByPath;
    for (const auto& entry : sizes) sizeByPath.emplace(entry->filePath(), entry->size());
    const auto sizeOf = [&](const std::string& path) -> std::int64_t {
        const auto it = sizeByPath.find(path);
        return it == sizeByPath.end() ? 0 : it->second;
    };
    std::int64_t total = sizeOf(*modelPath);
    for (const auto& asset : scnModelAssetFilePaths()) total = saturatingAdd(total, sizeOf(asset));
    return total;
}

std::vector<std::string> ModelFileAwareEntity::cachedFileKeys() const {
    std::vector<std::string> keys;
    if (auto thumbnail = thumbnailFilePath()) keys.push_back(std::move(*thumbnail));
    if (auto model = scnModelFilePath()) keys.push_back(std::move(*model));
    if (auto directory = unzipDirectoryFileKey()) keys.push_back(std::move(*directory));
    for (auto& asset : scnModelAssetFilePaths()) keys.push_back(std::move(asset));
    return keys;
}

}  // namespace vantrel
