#include "support/ModelArchives.hpp"

#include <algorithm>
#include <array>
#include <fstream>
#include <stdexcept>

namespace vantrel::test {

using json = nlohmann::json;

std::filesystem::path modelFileOf(const std::string& folder) {
    for (const auto& item : std::filesystem::directory_iterator(modelsDirectory() / folder)) {
        const auto extension = item.path().extension();
        if (extension == ".glb" || extension == ".gltf") return item.path();
    }
    throw std::runtime_error("no model file in " + folder);
}

std::vector<std::string> assetNamesOf(const std::string& folder) {
    const auto model = modelFileOf(folder).filename();
    std::vector<std::string> names;
    for (const auto& item : std::filesystem::directory_iterator(modelsDirectory() / folder)) {
        const auto name = item.path().filename();
        if (name == model || name.extension() == ".md") continue;
        names.push_back(name.string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

namespace {
json sharedModelSource(const std::string& folder, const std::string& name) {
    return {{"path", "@models/" + folder + "/" + name}};
}
}  // namespace

json manifestOf(const std::string& folder) {
    return {{"model", modelFileOf(folder).filename().string()}, {"assets", assetNamesOf(folder)}};
}

json modelArchiveFile(const std::string& key, const std::string& folder, const std::optional<json>& manifest) {
    json entries = json::object();
    entries["metadata.json"] = {{"json", manifest.value_or(manifestOf(folder))}};
    const auto model = modelFileOf(folder).filename().string();
    entries[model] = sharedModelSource(folder, model);
    for (const auto& asset : assetNamesOf(folder)) entries[asset] = sharedModelSource(folder, asset);
    return {{"key", key}, {"zip", entries}};
}

std::vector<json> looseModelFiles(const std::string& prefix, const std::string& folder,
                                  std::vector<std::string>* assetKeys) {
    const auto model = modelFileOf(folder).filename().string();
    std::vector<json> files{{{"key", prefix + "/" + model}, {"path", "@models/" + folder + "/" + model}}};
    for (const auto& asset : assetNamesOf(folder)) {
        files.push_back({{"key", prefix + "/" + asset}, {"path", "@models/" + folder + "/" + asset}});
        if (assetKeys) assetKeys->push_back(prefix + "/" + asset);
    }
    return files;
}

// ---- hand-made archives --------------------------------------------------------------------------

std::uint32_t crc32Of(const std::vector<std::uint8_t>& data) {
    static const auto table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    std::uint32_t crc = 0xFFFFFFFFu;
    for (auto byte : data) crc = table[(crc ^ byte) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

RawZipEntry storedEntry(std::string name, const std::string& text, std::uint32_t unixMode) {
    RawZipEntry entry;
    entry.name = std::move(name);
    entry.stored.assign(text.begin(), text.end());
    entry.unixMode = unixMode;
    return entry;
}

namespace {

class LittleEndianWriter {
public:
    void u16(std::uint32_t v) { bytes(v, 2); }
    void u32(std::uint64_t v) { bytes(v, 4); }
    /// The fields a local header and a directory entry share: version 2.0, no flags, the method,
    /// a fixed time and date, CRC, sizes, name length and no extra field.
    void entryFields(std::uint16_t method, std::uint32_t crc, std::uint64_t stored, std::uint64_t size,
                     std::size_t nameLength) {
        u16(20);
        u16(0);
        u16(method);
        u16(0);
        u16(0x21);
        u32(crc);
        u32(stored);
        u32(size);
        u16(static_cast<std::uint32_t>(nameLength));
        u16(0);
    }
    void raw(const std::vector<std::uint8_t>& data) { out.insert(out.end(), data.begin(), data.end()); }
    void raw(const std::string& text) { out.insert(out.end(), text.begin(), text.end()); }
    std::vector<std::uint8_t> out;

private:
    void bytes(std::uint64_t v, int n) {
        for (int i = 0; i < n; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
};

/// Bits of a deflate stream: values least significant bit first, Huffman codes most significant first.
class BitWriter {
public:
    void bits(std::uint32_t value, int count) {
        for (int i = 0; i < count; ++i) bit((value >> i) & 1u);
    }
    void code(std::uint32_t code, int length) {
        for (int i = length - 1; i >= 0; --i) bit((code >> i) & 1u);
    }
    std::vector<std::uint8_t> finish() {
        if (used_ > 0) out_.push_back(current_);
        return std::move(out_);
    }

private:
    void bit(std::uint32_t b) {
        current_ |= static_cast<std::uint8_t>(b << used_);
        if (++used_ == 8) {
            out_.push_back(current_);
            current_ = 0;
            used_ = 0;
        }
    }
    std::vector<std::uint8_t> out_;
    std::uint8_t current_ = 0;
    int used_ = 0;
};

}  // namespace

std::vector<std::uint8_t> deflatedZeros(std::uint64_t bytes) {
    BitWriter w;
    w.bits(1, 1);  // final block
    w.bits(1, 2);  // fixed Huffman codes
    const auto literalZero = [&w] { w.code(0x30, 8); };
    if (bytes > 0) literalZero();
    std::uint64_t left = bytes > 0 ? bytes - 1 : 0;
    for (; left >= 258; left -= 258) {
        w.code(0xC5, 8);  // length 258 (symbol 285)
        w.code(0, 5);     // distance 1
    }
    for (; left > 0; --left) literalZero();
    w.code(0, 7);  // end of block
    return w.finish();
}

void writeRawZip(const std::filesystem::path& path, const std::vector<RawZipEntry>& entries) {
    LittleEndianWriter zip;
    LittleEndianWriter directory;
    for (const auto& entry : entries) {
        const std::uint64_t size = entry.declaredSize.value_or(entry.stored.size());
        const std::uint32_t crc = entry.crc.value_or(crc32Of(entry.stored));
        const auto offset = zip.out.size();
        zip.u32(0x04034b50);
        zip.entryFields(entry.method, crc, entry.stored.size(), size, entry.name.size());
        zip.raw(entry.name);
        zip.raw(entry.stored);

        directory.u32(0x02014b50);
        directory.u16(0x0314);  // made by Unix, version 2.0
        directory.entryFields(entry.method, crc, entry.stored.size(), size, entry.name.size());
        directory.u16(0);
        directory.u16(0);
        directory.u16(0);
        directory.u32(static_cast<std::uint64_t>(entry.unixMode) << 16);
        directory.u32(offset);
        directory.raw(entry.name);
    }
    const auto directoryOffset = zip.out.size();
    zip.raw(directory.out);
    zip.u32(0x06054b50);
    zip.u16(0);
    zip.u16(0);
    zip.u16(entries.size());
    zip.u16(entries.size());
    zip.u32(directory.out.size());
    zip.u32(directoryOffset);
    zip.u16(0);
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(zip.out.data()), static_cast<std::streamsize>(zip.out.size()));
}

}  // namespace vantrel::test
