#include "domain/RecordFiles.hpp"

#include "vantrel/graph/TextPresence.hpp"

namespace vantrel::domain_detail {

void obtainRecordFileData(const std::optional<std::string>& fileKey, DownloadingService::DataBlock block) {
    if (!isNotBlank(fileKey)) {
        if (block) block(std::nullopt, std::nullopt);
        return;
    }
    if (!block) block = [](std::optional<FileData>, OptionalError) {};
    DownloadingService::sharedInstance().obtainDataFromLocalCache(*fileKey, true, std::move(block));
}

}  // namespace vantrel::domain_detail
