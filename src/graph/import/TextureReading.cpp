#include "graph/import/TextureReading.hpp"

#include "vantrel/core/Log.hpp"

#include <fstream>
#include <span>

namespace vantrel::detail {

namespace {

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

std::string percentDecoded(const std::string& text) {
    std::string out;
    out.reserve(text.size());
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

std::shared_ptr<UIImage> TextureReader::image(const std::string& reference, const EmbeddedTexture* embedded) {
    if (reference.empty()) return nullptr;
    if (auto it = decoded_.find(reference); it != decoded_.end()) return it->second;
    std::shared_ptr<UIImage> image;
    if (reference.front() != '*') image = external(reference);
    if (!image && embedded) image = decodeEmbedded(*embedded);  // embedded under its file name, or "*N"
    if (!image) VLOG_WARNING("Unable to read texture '" + reference + "'");
    decoded_.emplace(reference, image);
    return image;
}

std::shared_ptr<UIImage> TextureReader::decodeEmbedded(const EmbeddedTexture& texture) {
    if (!texture.encoded.empty()) return UIImage::decode(texture.encoded);
    if (texture.width <= 0 || texture.height <= 0 || texture.width > UIImage::kMaxDimension ||
        texture.height > UIImage::kMaxDimension ||
        static_cast<std::int64_t>(texture.width) * texture.height > UIImage::kMaxPixelCount ||
        texture.rgba.size() != static_cast<std::size_t>(texture.width) * texture.height * 4)
        return nullptr;
    return std::make_shared<UIImage>(texture.width, texture.height,
                                     std::vector<std::uint8_t>(texture.rgba.begin(), texture.rgba.end()));
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
