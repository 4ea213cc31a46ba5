#pragma once

#pragma GCC visibility push(default)  // the library exports what its public headers declare

#include "vantrel/backend/ParseObject.hpp"
#include "vantrel/domain/BackendRecord.hpp"
#include "vantrel/domain/TextEnumeration.hpp"
#include "vantrel/files/DownloadingService.hpp"

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace vantrel {

/// A company (backend class "Company"): its name, logo, watermark settings and abilities.
class CompanyEntity : public BackendRecord<ParseObject> {
public:
    /// The backend class name, "Company".
    static std::string parseClassName() { return "Company"; }
    /// Receives a file's bytes or the file cache's error; neither when there is no file.
    using FileDataBlock = DownloadingService::DataBlock;

    /// Where a watermark is placed on a picture.
    enum class WatermarkPosition {
        center,       ///< "CENTER".
        bottomLeft,   ///< "BOTTOM_LEFT".
        bottomRight,  ///< "BOTTOM_RIGHT".
        none,         ///< "NONE": no watermark.
    };

    /// A new, unsaved company.
    CompanyEntity();

    /// "name", trimmed; empty when absent.
    [[nodiscard]] std::string name() const;
    /// The logo's file key, "logoFilePath", trimmed; none when absent or blank.
    [[nodiscard]] std::optional<std::string> logoFilePath() const;
    /// The watermark's file key, "watermarkFilePath", trimmed; none when absent or blank.
    [[nodiscard]] std::optional<std::string> watermarkFilePath() const;
    /// "watermarkPosition"; center when absent or unknown.
    [[nodiscard]] WatermarkPosition watermarkPosition() const;
    /// The watermark's width as a share of the picture's, "watermarkWidthFactor"; 0.2 by default.
    [[nodiscard]] float watermarkWidthFactor() const;
    /// "watermarkAlpha"; 1 by default.
    [[nodiscard]] float watermarkAlpha() const;
    /// Where the "powered by" mark goes, "watermarkPoweredbyPosition"; bottomRight when absent or
    /// unknown.
    [[nodiscard]] WatermarkPosition watermarkPoweredbyPosition() const;
    /// "watermarkPoweredbyWidthFactor"; 0.2 by default.
    [[nodiscard]] float watermarkPoweredbyWidthFactor() const;
    /// "watermarkPoweredbyAlpha"; 1 by default.
    [[nodiscard]] float watermarkPoweredbyAlpha() const;
    /// May users save designs, "conceptAbility".
    [[nodiscard]] bool conceptAbility() const;
    /// May users order, "orderAbility".
    [[nodiscard]] bool orderAbility() const;
    /// May users chat, "liveChatAbility".
    [[nodiscard]] bool liveChatAbility() const;
    /// Query parameters the host appends to product links, "extraProductUrlParams", trimmed.
    [[nodiscard]] std::string extraProductUrlParams() const;

    /// Fetches the logo's bytes through the file cache; without a logo the block runs at once with
    /// neither bytes nor error.
    void getLogoFileData(FileDataBlock block) const;
    /// Fetches the watermark's bytes through the file cache; without a watermark the block runs at
    /// once with neither bytes nor error.
    void getWatermarkFileData(FileDataBlock block) const;
};

template <>
struct EnumerationTexts<CompanyEntity::WatermarkPosition> {
    static constexpr std::array<std::pair<CompanyEntity::WatermarkPosition, std::string_view>, 4> entries{{
        {CompanyEntity::WatermarkPosition::center, "CENTER"},
        {CompanyEntity::WatermarkPosition::bottomLeft, "BOTTOM_LEFT"},
        {CompanyEntity::WatermarkPosition::bottomRight, "BOTTOM_RIGHT"},
        {CompanyEntity::WatermarkPosition::none, "NONE"},
    }};
};

}  // namespace vantrel

#pragma GCC visibility pop
