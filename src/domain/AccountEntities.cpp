// Companies, catalogues' measuring units, the version gate's entries, users and roles.

#include "domain/RecordFiles.hpp"
#include "domain/ValueReading.hpp"
#include "vantrel/domain/AnchorObjectEntity.hpp"
#include "vantrel/domain/CompanyEntity.hpp"
#include "vantrel/domain/ModelMeasuringUnitEntity.hpp"
#include "vantrel/domain/UnsupportedAppVersionEntity.hpp"
#include "vantrel/domain/UserEntity.hpp"

namespace vantrel {

using namespace domain_detail;

// ---- company -----------------------------------------------------------------------------------

CompanyEntity::CompanyEntity() : BackendRecord(parseClassName()) {}

std::string CompanyEntity::name() const { return readTrimmedText(value("name")); }
std::optional<std::string> CompanyEntity::logoFilePath() const { return readPresentText(value("logoFilePath")); }
std::optional<std::string> CompanyEntity::watermarkFilePath() const {
    return readPresentText(value("watermarkFilePath"));
}
CompanyEntity::WatermarkPosition CompanyEntity::watermarkPosition() const {
    return readTextEnumeration(value("watermarkPosition"), WatermarkPosition::center);
}
float CompanyEntity::watermarkWidthFactor() const { return readFloat(value("watermarkWidthFactor"), 0.2f); }
float CompanyEntity::watermarkAlpha() const { return readFloat(value("watermarkAlpha"), 1.0f); }
CompanyEntity::WatermarkPosition CompanyEntity::watermarkPoweredbyPosition() const {
    return readTextEnumeration(value("watermarkPoweredbyPosition"), WatermarkPosition::bottomRight);
}
float CompanyEntity::watermarkPoweredbyWidthFactor() const {
    return readFloat(value("watermarkPoweredbyWidthFactor"), 0.2f);
}
float CompanyEntity::watermarkPoweredbyAlpha() const { return readFloat(value("watermarkPoweredbyAlpha"), 1.0f); }
bool CompanyEntity::conceptAbility() const { return readBool(value("conceptAbility"), false); }
bool CompanyEntity::orderAbility() const { return readBool(value("orderAbility"), false); }
bool CompanyEntity::liveChatAbility() const { return readBool(value("liveChatAbility"), false); }
std::string CompanyEntity::extraProductUrlParams() const { return readTrimmedText(value("extraProductUrlParams")); }

void CompanyEntity::getLogoFileData(FileDataBlock block) const {
    obtainRecordFileData(logoFilePath(), std::move(block));
}
void CompanyEntity::getWatermarkFileData(FileDataBlock block) const {
    obtainRecordFileData(watermarkFilePath(), std::move(block));
}

// ---- the rest ----------------------------------------------------------------------------------

AnchorObjectEntity::AnchorObjectEntity() : ModelFileAwareEntity(parseClassName()) {}

ModelMeasuringUnitEntity::ModelMeasuringUnitEntity() : BackendRecord(parseClassName()) {}
std::string ModelMeasuringUnitEntity::name() const { return readTrimmedText(value("name")); }
double ModelMeasuringUnitEntity::factor() const { return readDouble(value("factor"), 1.0); }

UnsupportedAppVersionEntity::UnsupportedAppVersionEntity() : BackendRecord(parseClassName()) {}
std::string UnsupportedAppVersionEntity::app() const { return readTrimmedText(value("app")); }
std::string UnsupportedAppVersionEntity::version() const { return readTrimmedText(value("version")); }

std::string UserEntity::fullName() const { return readTrimmedText(value("fullName")); }
std::shared_ptr<CompanyEntity> UserEntity::company() const { return value("company").asObject<CompanyEntity>(); }
bool UserEntity::emailVerified() const { return readBool(value("emailVerified"), false); }

}  // namespace vantrel
