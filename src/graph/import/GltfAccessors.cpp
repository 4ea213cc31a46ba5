#include "graph/import/GltfAccessors.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace vantrel::detail {

namespace {

enum ComponentType : int {
    kByte = 5120,
    kUnsignedByte = 5121,
    kShort = 5122,
    kUnsignedShort = 5123,
    kUnsignedInt = 5125,
    kFloat = 5126,
};

std::size_t componentSize(int type) {
    switch (type) {
        case kByte:
        case kUnsignedByte: return 1;
        case kShort:
        case kUnsignedShort: return 2;
        case kUnsignedInt:
        case kFloat: return 4;
        default: invalidGltf("An accessor has an unknown component type");
    }
}

int componentCount(const std::string& type) {
    if (type == "SCALAR") return 1;
    if (type == "VEC2") return 2;
    if (type == "VEC3") return 3;
    if (type == "VEC4") return 4;
    if (type == "MAT2") return 4;
    if (type == "MAT3") return 9;
    if (type == "MAT4") return 16;
    invalidGltf("An accessor has an unknown type");
}

std::uint32_t unsignedComponent(const std::uint8_t* bytes, int type) {
    if (type == kUnsignedByte) return *bytes;
    if (type == kUnsignedShort) {
        std::uint16_t value = 0;
        std::memcpy(&value, bytes, 2);
        return value;
    }
    std::uint32_t value = 0;
    std::memcpy(&value, bytes, 4);
    return value;
}

struct Layout {
    int componentType = 0;
    int components = 0;
    std::size_t elementSize = 0;
    bool normalized = false;
    std::uint64_t count = 0;
};

const nlohmann::json& accessorAt(GltfDocument& document, std::size_t index) {
    const auto& accessors = topLevelArray(document.json(), "accessors");
    if (index >= accessors.size()) invalidGltf("A mesh names an accessor that is not there");
    if (!accessors[index].is_object()) invalidGltf("An accessor is not an object");
    return accessors[index];
}

Layout layoutOf(const nlohmann::json& accessor) {
    Layout layout;
    layout.componentType = static_cast<int>(unsignedOr(accessor, "componentType", 0));
    layout.components = componentCount(stringOr(accessor, "type"));
    layout.elementSize = componentSize(layout.componentType) * static_cast<std::size_t>(layout.components);
    const auto* normalized = member(accessor, "normalized");
    layout.normalized = normalized && normalized->is_boolean() && normalized->get<bool>();
    layout.count = unsignedOr(accessor, "count", 0);
    return layout;
}

/// The bytes holding `count` elements of `elementSize` every `stride` bytes from `offset` in `view`;
/// refuses a view too short for them.
void checkFits(std::span<const std::uint8_t> view, std::uint64_t offset, std::uint64_t stride, std::uint64_t count,
               std::uint64_t elementSize) {
    if (count == 0) return;
    // count is bounded by the budgets (below 2^32) and stride by 256, so nothing here overflows.
    if (offset > view.size() || (count - 1) * stride + elementSize > view.size() - offset)
        invalidGltf("An accessor runs past the end of its buffer view");
}

/// Calls `visit(element, bytes)` for every element of the accessor's own data (not its sparse part).
template <class Visit>
void forEachElement(GltfDocument& document, const nlohmann::json& accessor, const Layout& layout, Visit visit) {
    const auto view = indexOf(accessor, "bufferView", topLevelArray(document.json(), "bufferViews").size());
    if (!view) return;  // all zeros, as the caller's array already is
    const auto bytes = document.bufferView(*view);
    const std::size_t declaredStride = document.bufferViewStride(*view);
    const std::size_t stride = declaredStride ? declaredStride : layout.elementSize;
    if (stride < layout.elementSize) invalidGltf("A buffer view's stride is smaller than its accessor's elements");
    const std::uint64_t offset = unsignedOr(accessor, "byteOffset", 0);
    checkFits(bytes, offset, stride, layout.count, layout.elementSize);
    auto& progress = document.progress();
    for (std::uint64_t i = 0; i < layout.count; ++i) {
        visit(static_cast<std::size_t>(i), bytes.data() + offset + i * stride);
        progress.poll();
    }
}

/// Calls `visit(element, bytes)` for each substitution of the accessor's sparse part.
template <class Visit>
void forEachSparse(GltfDocument& document, const nlohmann::json& accessor, const Layout& layout, Visit visit) {
    const auto* sparse = objectMember(accessor, "sparse");
    if (!sparse) return;
    const std::uint64_t count = unsignedOr(*sparse, "count", 0);
    if (count > layout.count) invalidGltf("A sparse accessor substitutes more elements than it has");
    const auto* indices = objectMember(*sparse, "indices");
    const auto* values = objectMember(*sparse, "values");
    if (!indices || !values) invalidGltf("A sparse accessor lacks its indices or values");
    const auto viewCount = topLevelArray(document.json(), "bufferViews").size();
    const int indexType = static_cast<int>(unsignedOr(*indices, "componentType", 0));
    if (indexType != kUnsignedByte && indexType != kUnsignedShort && indexType != kUnsignedInt)
        invalidGltf("A sparse accessor's indices are not unsigned integers");
    const auto indexBytes = document.bufferView(requiredIndex(*indices, "bufferView", viewCount));
    const auto valueBytes = document.bufferView(requiredIndex(*values, "bufferView", viewCount));
    const std::uint64_t indexOffset = unsignedOr(*indices, "byteOffset", 0);
    const std::uint64_t valueOffset = unsignedOr(*values, "byteOffset", 0);
    const std::size_t indexSize = componentSize(indexType);
    checkFits(indexBytes, indexOffset, indexSize, count, indexSize);
    checkFits(valueBytes, valueOffset, layout.elementSize, count, layout.elementSize);
    auto& progress = document.progress();
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::uint8_t* at = indexBytes.data() + indexOffset + i * indexSize;
        const std::uint32_t target = unsignedComponent(at, indexType);
        if (target >= layout.count) invalidGltf("A sparse accessor substitutes an element it does not have");
        visit(static_cast<std::size_t>(target), valueBytes.data() + valueOffset + i * layout.elementSize);
        progress.poll();
    }
}

}  // namespace

float gltfComponent(const std::uint8_t* bytes, int componentType, bool normalized) {
    switch (componentType) {
        case kByte: {
            const auto value = static_cast<std::int8_t>(*bytes);
            return normalized ? std::max(value / 127.0f, -1.0f) : static_cast<float>(value);
        }
        case kUnsignedByte: return normalized ? *bytes / 255.0f : static_cast<float>(*bytes);
        case kShort: {
            std::int16_t value = 0;
            std::memcpy(&value, bytes, 2);
            return normalized ? std::max(value / 32767.0f, -1.0f) : static_cast<float>(value);
        }
        case kUnsignedShort: {
            std::uint16_t value = 0;
            std::memcpy(&value, bytes, 2);
            return normalized ? value / 65535.0f : static_cast<float>(value);
        }
        case kUnsignedInt: {
            std::uint32_t value = 0;
            std::memcpy(&value, bytes, 4);
            return static_cast<float>(value);
        }
        default: {
            float value = 0;
            std::memcpy(&value, bytes, 4);
            return value;
        }
    }
}

std::uint64_t gltfAccessorCount(GltfDocument& document, std::size_t index) {
    return unsignedOr(accessorAt(document, index), "count", 0);
}

GltfFloats readGltfFloats(GltfDocument& document, std::size_t index, std::initializer_list<int> allowedComponents) {
    const auto& accessor = accessorAt(document, index);
    const Layout layout = layoutOf(accessor);
    if (std::find(allowedComponents.begin(), allowedComponents.end(), layout.components) == allowedComponents.end())
        invalidGltf("A vertex attribute has the wrong type");
    if (layout.componentType == kUnsignedInt) invalidGltf("A vertex attribute has 32-bit integer components");
    if (layout.count > document.options().maxVertices)
        failGltf(SCNSceneSourceError::limitExceeded, "An accessor has more elements than the vertex budget allows");
    GltfFloats result;
    result.components = layout.components;
    result.values.assign(static_cast<std::size_t>(layout.count) * layout.components, 0.0f);
    const std::size_t size = componentSize(layout.componentType);
    const auto store = [&](std::size_t element, const std::uint8_t* bytes) {
        float* out = result.values.data() + element * layout.components;
        for (int c = 0; c < layout.components; ++c)
            out[c] = gltfComponent(bytes + c * size, layout.componentType, layout.normalized);
    };
    forEachElement(document, accessor, layout, store);
    forEachSparse(document, accessor, layout, store);
    for (float& value : result.values)
        if (!std::isfinite(value)) value = 0.0f;  // a NaN would poison bounds and hit tests
    return result;
}

std::vector<std::uint32_t> readGltfIndices(GltfDocument& document, std::size_t index) {
    const auto& accessor = accessorAt(document, index);
    const Layout layout = layoutOf(accessor);
    if (layout.components != 1 ||
        (layout.componentType != kUnsignedByte && layout.componentType != kUnsignedShort &&
         layout.componentType != kUnsignedInt))
        invalidGltf("Indices are not unsigned integer scalars");
    if (layout.count / 3 > document.options().maxTriangles)
        failGltf(SCNSceneSourceError::limitExceeded, "A mesh has more triangles than the budget allows");
    std::vector<std::uint32_t> result(static_cast<std::size_t>(layout.count), 0);
    const auto store = [&](std::size_t element, const std::uint8_t* bytes) {
        result[element] = unsignedComponent(bytes, layout.componentType);
    };
    forEachElement(document, accessor, layout, store);
    forEachSparse(document, accessor, layout, store);
    return result;
}

}  // namespace vantrel::detail
