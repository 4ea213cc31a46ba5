#include "graph/import/TextureReading.hpp"

#include "vantrel/core/Log.hpp"

#include <assimp/scene.h>

#include <fstream>
#include <span>

namespace vantrel::detail {

namespace {

std::string percentDecoded(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

/// True when `path` (made absolute and free of "." and "..") lies below `root`.
bool isBelow(const std::filesystem::path& path, const std::filesystem::path& root) {
    const auto relative = path.lexically_relative(root);
    return !relative.empty() && *relative.begin() != "..";
}

std::shared_ptr<UIImage> decodeFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return nullptr;
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return UIImage::decode(bytes);
}

}  // namespace

TextureReader::TextureReader(std::filesystem::path modelFile, const SCNSceneSourceOptions& options) {
    std::error_code ec;
    directory_ = std::filesystem::weakly_canonical(std::filesystem::absolute(modelFile, ec).parent_path(), ec);
    root_ = options.assetRootDirectory.empty() ? directory_
                                               : std::filesystem::weakly_canonical(options.assetRootDirectory, ec);
    if (options.overrideAssetURLs && !options.assetDirectoryURLs.empty()) {
        searchDirectories_ = options.assetDirectoryURLs;
    } else {
        searchDirectories_.push_back(directory_);
    }
}

std::shared_ptr<UIImage> TextureReader::image(const aiScene& scene, const std::string& reference) {
    if (reference.empty()) return nullptr;
    if (auto it = decoded_.find(reference); it != decoded_.end()) return it->second;
    auto image = reference.front() == '*' ? embedded(scene, reference) : external(reference);
    if (!image && reference.front() != '*') image = embedded(scene, reference);  // embedded under its file name
    if (!image) VLOG_WARNING("Unable to read texture '" + reference + "'");
    decoded_.emplace(reference, image);
    return image;
}

std::shared_ptr<UIImage> TextureReader::embedded(const aiScene& scene, const std::string& reference) {
    const aiTexture* texture = scene.GetEmbeddedTexture(reference.c_str());
    if (!texture || !texture->pcData) return nullptr;
    if (texture->mHeight == 0) {  // compressed bytes (PNG, JPEG...), mWidth of them
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(texture->pcData);
        return UIImage::decode(std::span<const std::uint8_t>(bytes, texture->mWidth));
    }
    if (texture->mWidth > static_cast<unsigned>(UIImage::kMaxDimension) ||
        texture->mHeight > static_cast<unsigned>(UIImage::kMaxDimension))
        return nullptr;
    const std::size_t count = static_cast<std::size_t>(texture->mWidth) * texture->mHeight;
    std::vector<std::uint8_t> rgba(count * 4);
    for (std::size_t i = 0; i < count; ++i) {
        const aiTexel& t = texture->pcData[i];
        rgba[i * 4] = t.r;
        rgba[i * 4 + 1] = t.g;
        rgba[i * 4 + 2] = t.b;
        rgba[i * 4 + 3] = t.a;
    }
    return std::make_shared<UIImage>(static_cast<int>(texture->mWidth), static_cast<int>(texture->mHeight),
                                     std::move(rgba));
}

std::shared_ptr<UIImage> TextureReader::external(const std::string& reference) {
    for (const auto& name : {reference, percentDecoded(reference)}) {
        const std::filesystem::path relative(name);
        for (const auto& directory : searchDirectories_) {
            std::error_code ec;
            const auto candidate =
                std::filesystem::weakly_canonical(relative.is_absolute() ? relative : directory / relative, ec);
            if (ec || !isBelow(candidate, root_) || !std::filesystem::is_regular_file(candidate, ec)) continue;
            if (auto image = decodeFile(candidate)) return image;
        }
    }
    return nullptr;
}

}  // namespace vantrel::detail
