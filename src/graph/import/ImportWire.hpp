#pragma once

// The answer of the import helper: a compact binary stream that the helper writes to its standard
// output and the library reads back. Both ends run on one machine, so numbers travel in the host's
// own (little-endian) order.
//
// The stream is the header (magic, version) and then frames: a type byte, a 32-bit payload length
// and the payload. A run ends with an `end` frame after the scene, or a `failure` frame. The reading
// side trusts none of it: every count and length is checked against the bytes that are there
// before anything is allocated for it.

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel::detail::wire {

static_assert(std::endian::native == std::endian::little, "the import stream is written in little-endian order");

inline constexpr char kMagic[4] = {'V', 'T', 'I', 'S'};
inline constexpr std::uint32_t kVersion = 1;
inline constexpr std::size_t kHeaderSize = 8;
inline constexpr std::size_t kFrameHeadSize = 5;
/// The largest frame a helper sends (and the library's default budget for a whole answer).
inline constexpr std::size_t kMaxFrameBytes = std::size_t{1} << 30;
/// Stands for "none" where an index is optional.
inline constexpr std::uint32_t kNone = 0xffffffffu;

enum class Frame : std::uint8_t {
    /// f32: how far the importer is, 0…1.
    progress = 1,
    /// string: why the importer refused the file.
    failure = 2,
    /// u32 meshes: sent once the file is read, before the scene's parts.
    summary = 3,
    /// string reference, u8 kind (TextureKind), then the embedded data.
    texture = 4,
    material = 5,
    camera = 6,
    light = 7,
    geometry = 8,
    /// u32 top-level count, then the nodes depth first.
    nodes = 9,
    /// The scene is complete.
    end = 10,
};

/// How a texture reference of the helper comes.
enum class TextureKind : std::uint8_t {
    /// Only the name: the library looks for the file itself, below the model's folder.
    reference = 0,
    /// Encoded bytes embedded in the model (PNG, JPEG...): bytes.
    encoded = 1,
    /// Raw texels embedded in the model: u32 width, u32 height, bytes of RGBA.
    rgba = 2,
};

/// The helper's exit status, beside the frames.
enum class Exit : int { ok = 0, refused = 1, usage = 2, outOfMemory = 3 };

/// The bytes a stream starts with.
inline std::string header() {
    std::string bytes(kMagic, 4);
    bytes.append(reinterpret_cast<const char*>(&kVersion), 4);
    return bytes;
}

/// Builds frames into a buffer.
class Writer {
public:
    void begin(Frame type) {
        start_ = buffer_.size();
        u8(static_cast<std::uint8_t>(type));
        u32(0);
    }
    /// Closes the frame begun last by writing its length.
    void end() {
        const auto length = static_cast<std::uint32_t>(buffer_.size() - start_ - kFrameHeadSize);
        std::memcpy(buffer_.data() + start_ + 1, &length, 4);
    }
    void u8(std::uint8_t v) { buffer_.push_back(static_cast<char>(v)); }
    void u32(std::uint32_t v) { raw(&v, 4); }
    void f32(float v) { raw(&v, 4); }
    void f64(double v) { raw(&v, 8); }
    void string(std::string_view text) {
        u32(static_cast<std::uint32_t>(text.size()));
        raw(text.data(), text.size());
    }
    /// A count and the elements' bytes.
    template <class T>
    void array(const T* data, std::size_t count) {
        u32(static_cast<std::uint32_t>(count));
        raw(data, count * sizeof(T));
    }
    void raw(const void* data, std::size_t size) {
        buffer_.append(static_cast<const char*>(data), size);
    }
    std::string& buffer() { return buffer_; }

private:
    std::string buffer_;
    std::size_t start_ = 0;
};

/// Reads a payload; any read past its end (or a count the bytes cannot hold) marks the reader
/// failed and yields zeros, so a caller checks `ok()` once after reading a group of fields.
class Reader {
public:
    explicit Reader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    [[nodiscard]] bool ok() const noexcept { return ok_; }
    [[nodiscard]] bool atEnd() const noexcept { return offset_ == bytes_.size(); }
    [[nodiscard]] std::size_t remaining() const noexcept { return bytes_.size() - offset_; }

    std::uint8_t u8() {
        std::uint8_t v = 0;
        raw(&v, 1);
        return v;
    }
    std::uint32_t u32() {
        std::uint32_t v = 0;
        raw(&v, 4);
        return v;
    }
    float f32() {
        float v = 0;
        raw(&v, 4);
        return v;
    }
    double f64() {
        double v = 0;
        raw(&v, 8);
        return v;
    }
    std::string string() {
        const std::uint32_t size = u32();
        if (!ok_ || size > remaining()) return fail(), std::string();
        std::string text(reinterpret_cast<const char*>(bytes_.data() + offset_), size);
        offset_ += size;
        return text;
    }
    /// Reads an array written by `Writer::array`; its count is checked against the bytes left
    /// before the vector grows.
    template <class T>
    std::vector<T> array() {
        const std::uint32_t count = u32();
        if (!ok_ || count > remaining() / sizeof(T)) return fail(), std::vector<T>();
        std::vector<T> out(count);
        raw(out.data(), count * sizeof(T));
        return out;
    }
    /// A view of the next `size` bytes, which stay owned by the payload.
    std::span<const std::uint8_t> bytes(std::size_t size) {
        if (!ok_ || size > remaining()) return fail(), std::span<const std::uint8_t>();
        auto view = bytes_.subspan(offset_, size);
        offset_ += size;
        return view;
    }
    void fail() { ok_ = false; }

private:
    void raw(void* out, std::size_t size) {
        if (!ok_ || size > remaining()) return fail();
        if (size > 0) std::memcpy(out, bytes_.data() + offset_, size);
        offset_ += size;
    }

    std::span<const std::uint8_t> bytes_;
    std::size_t offset_ = 0;
    bool ok_ = true;
};

}  // namespace vantrel::detail::wire
