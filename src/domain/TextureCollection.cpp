#include "domain/TextureCollection.hpp"

#include "vantrel/graph/ImageDecoding.hpp"

#include <algorithm>
#include <limits>
#include <utility>
#include <vector>

namespace vantrel::domain_detail {

namespace {

// One collection in flight: the keys still to fetch and the bytes found so far. Each answer starts
// the next fetch, so fetches never overlap.
struct TextureCollectionRun : std::enable_shared_from_this<TextureCollectionRun> {
    std::vector<std::pair<std::string, std::string>> pending;
    std::size_t next = 0;
    TextureDatas datas;
    TextureFailureLog logFailure;
    std::function<void(TextureDatas)> block;

    void step() {
        if (next == pending.size()) {
            if (block) block(std::move(datas));
            return;
        }
        const auto& [name, fileKey] = pending[next++];
        DownloadingService::sharedInstance().obtainDataFromLocalCache(
            fileKey, true,
            [self = shared_from_this(), name = name](std::optional<FileData> data, OptionalError error) {
                if (error && self->logFailure) self->logFailure(name, *error);
                if (data) self->datas[name] = std::move(*data);
                self->step();
            });
    }
};

}  // namespace

void collectTextureDatas(const std::map<std::string, std::string>& filePaths, TextureFailureLog logFailure,
                         std::function<void(TextureDatas datas)> block) {
    auto run = std::make_shared<TextureCollectionRun>();
    run->pending.assign(filePaths.begin(), filePaths.end());
    run->logFailure = std::move(logFailure);
    run->block = std::move(block);
    run->step();
}

DecodedTextures decodeTextures(const TextureDatas& datas) {
    DecodedTextures textures;
    for (const auto& [name, bytes] : datas)
        if (auto decoded = decodeImage(bytes)) textures.emplace(name, std::move(*decoded));
    return textures;
}

TextureImages decodeTextureImages(const TextureDatas& datas) {
    TextureImages images;
    for (auto& [name, texture] : decodeTextures(datas)) images.emplace(name, std::move(texture.image));
    return images;
}

void setTextureContents(SCNMaterialProperty& property, const DecodedImage& texture) {
    property.setContents(texture.image);
    if (texture.colorSpace == SCNColorSpace::linear) property.setColorSpace(SCNColorSpace::linear);
}

void applySamplingSettings(SCNMaterialProperty& property, const ScnMaterialPropertyEntity& record) {
    property.setIntensity(record.intensity());
    property.setWrapS(record.wrapS());
    property.setWrapT(record.wrapT());
    property.setMinificationFilter(record.minificationFilter());
    property.setMagnificationFilter(record.magnificationFilter());
    property.setMipFilter(record.mipFilter());
    property.setMaxAnisotropy(record.maxAnisotropy());
    property.setMappingChannel(
        static_cast<int>(std::clamp<std::int64_t>(record.mappingChannel(), 0, std::numeric_limits<int>::max())));
}

std::shared_ptr<UIImage> paletteImageOf(const TextureImages& images, const std::map<std::string, UIColor>& colors,
                                        const std::string& name) {
    if (const auto image = images.find(name); image != images.end()) return image->second;
    if (const auto color = colors.find(name); color != colors.end()) return UIImage::filled(color->second, 1, 1);
    return nullptr;
}

}  // namespace vantrel::domain_detail
