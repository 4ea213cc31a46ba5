// Image-based light: environments prefiltered once per image and cached in the render context, and
// the split-sum table made once per context.

#include "render/EnvironmentMaps.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

#include <glm/geometric.hpp>
#include <glm/vec2.hpp>

#include "render/RenderContextImpl.hpp"
#include "vantrel/graph/UIImage.hpp"

namespace vantrel {
namespace detail {
namespace {

constexpr float kPi = std::numbers::pi_v<float>;

float srgbToLinear(float c) { return c <= 0.04045f ? c / 12.92f : std::pow((c + 0.055f) / 1.055f, 2.4f); }

// One level of an equirectangular image: RGB floats.
struct Plane {
    int width = 0;
    int height = 0;
    std::vector<glm::vec3> texels;

    [[nodiscard]] const glm::vec3& at(int x, int y) const {
        return texels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)];
    }

    // Bilinear at (u, v) in 0…1, wrapping around the horizon and clamped at the poles.
    [[nodiscard]] glm::vec3 sample(float u, float v) const {
        const float x = u * static_cast<float>(width) - 0.5f;
        const float y = std::clamp(v * static_cast<float>(height) - 0.5f, 0.0f, static_cast<float>(height - 1));
        const float fx = std::floor(x);
        const float fy = std::floor(y);
        const float tx = x - fx;
        const float ty = y - fy;
        int x0 = static_cast<int>(fx) % width;
        if (x0 < 0) x0 += width;
        const int x1 = (x0 + 1) % width;
        const int y0 = static_cast<int>(fy);
        const int y1 = std::min(y0 + 1, height - 1);
        return glm::mix(glm::mix(at(x0, y0), at(x1, y0), tx), glm::mix(at(x0, y1), at(x1, y1), tx), ty);
    }
};

// Half the size (each side at least 1), each texel the mean of the ones it covers.
Plane halve(const Plane& source) {
    Plane out;
    out.width = std::max(1, source.width / 2);
    out.height = std::max(1, source.height / 2);
    out.texels.resize(static_cast<std::size_t>(out.width) * static_cast<std::size_t>(out.height));
    const int sx = source.width / out.width;
    const int sy = source.height / out.height;
    for (int y = 0; y < out.height; ++y) {
        for (int x = 0; x < out.width; ++x) {
            glm::vec3 sum(0.0f);
            for (int j = 0; j < sy; ++j) {
                for (int i = 0; i < sx; ++i) {
                    sum += source.at(x * sx + i, y * sy + j);
                }
            }
            out.texels[static_cast<std::size_t>(y) * static_cast<std::size_t>(out.width) + static_cast<std::size_t>(x)] =
                sum / static_cast<float>(sx * sy);
        }
    }
    return out;
}

Plane linearPlane(const UIImage& image) {
    Plane plane;
    plane.width = std::max(1, image.width());
    plane.height = std::max(1, image.height());
    const std::size_t count = static_cast<std::size_t>(plane.width) * static_cast<std::size_t>(plane.height);
    plane.texels.assign(count, glm::vec3(0.0f));
    if (image.pixelFormat() == UIImagePixelFormat::rgba32Float) {
        const auto& floats = image.rgbaFloat();
        for (std::size_t i = 0; i < count && i * 4 + 2 < floats.size(); ++i) {
            plane.texels[i] = glm::max(glm::vec3(floats[i * 4], floats[i * 4 + 1], floats[i * 4 + 2]), glm::vec3(0.0f));
        }
        return plane;
    }
    std::array<float, 256> table{};
    for (std::size_t i = 0; i < table.size(); ++i) {
        table[i] = srgbToLinear(static_cast<float>(i) / 255.0f);
    }
    const auto& bytes = image.rgba();
    for (std::size_t i = 0; i < count && i * 4 + 2 < bytes.size(); ++i) {
        plane.texels[i] = glm::vec3(table[bytes[i * 4]], table[bytes[i * 4 + 1]], table[bytes[i * 4 + 2]]);
    }
    return plane;
}

glm::vec3 directionAt(float u, float v) {
    const float theta = v * kPi;
    const float phi = (u - 0.5f) * 2.0f * kPi;
    return {std::sin(theta) * std::sin(phi), std::cos(theta), -std::sin(theta) * std::cos(phi)};
}

glm::vec2 coordinatesOf(const glm::vec3& d) {
    return {std::atan2(d.x, -d.z) / (2.0f * kPi) + 0.5f, std::acos(std::clamp(d.y, -1.0f, 1.0f)) / kPi};
}

glm::vec2 hammersley(unsigned i, unsigned count) {
    unsigned bits = i;
    bits = (bits << 16u) | (bits >> 16u);
    bits = ((bits & 0x55555555u) << 1u) | ((bits & 0xAAAAAAAAu) >> 1u);
    bits = ((bits & 0x33333333u) << 2u) | ((bits & 0xCCCCCCCCu) >> 2u);
    bits = ((bits & 0x0F0F0F0Fu) << 4u) | ((bits & 0xF0F0F0F0u) >> 4u);
    bits = ((bits & 0x00FF00FFu) << 8u) | ((bits & 0xFF00FF00u) >> 8u);
    return {static_cast<float>(i) / static_cast<float>(count), static_cast<float>(bits) * 2.3283064365386963e-10f};
}

// A half vector around +z drawn from the GGX distribution of `alpha` (roughness squared).
glm::vec3 ggxHalfVector(glm::vec2 xi, float alpha) {
    const float a2 = alpha * alpha;
    const float phi = 2.0f * kPi * xi.x;
    const float cosTheta = std::sqrt((1.0f - xi.y) / (1.0f + (a2 - 1.0f) * xi.y));
    const float sinTheta = std::sqrt(std::max(0.0f, 1.0f - cosTheta * cosTheta));
    return {sinTheta * std::cos(phi), sinTheta * std::sin(phi), cosTheta};
}

float ggx(float nDotH, float alpha) {
    const float a2 = alpha * alpha;
    const float d = nDotH * nDotH * (a2 - 1.0f) + 1.0f;
    return a2 / (kPi * d * d);
}

// A sample of a prefiltering lobe around +z (normal = view = reflection): its direction, its weight
// and the source level it reads.
struct LobeSample {
    glm::vec3 direction;
    float weight;
    float lod;
};

std::vector<LobeSample> lobeSamples(float roughness, unsigned count, int sourceWidth, int sourceHeight) {
    const float alpha = roughness * roughness;
    // Solid angle of one texel of the source's level 0, on average over the sphere.
    const float texelAngle = 4.0f * kPi / (static_cast<float>(sourceWidth) * static_cast<float>(sourceHeight));
    std::vector<LobeSample> samples;
    samples.reserve(count);
    for (unsigned i = 0; i < count; ++i) {
        const glm::vec3 h = ggxHalfVector(hammersley(i, count), alpha);
        const glm::vec3 l = 2.0f * h.z * h - glm::vec3(0.0f, 0.0f, 1.0f);
        if (l.z <= 0.0f) {
            continue;
        }
        // With n = v the pdf of l is D(h) / 4; the sample stands for 1 / (count × pdf) of the sphere.
        const float pdf = ggx(h.z, alpha) / 4.0f;
        const float sampleAngle = 1.0f / (static_cast<float>(count) * pdf + 1e-6f);
        const float lod = std::max(0.0f, 0.5f * std::log2(sampleAngle / texelAngle) + 1.0f);
        samples.push_back({l, l.z, lod});
    }
    return samples;
}

glm::vec3 samplePyramid(const std::vector<Plane>& pyramid, const glm::vec3& direction, float lod) {
    const glm::vec2 uv = coordinatesOf(direction);
    const float top = static_cast<float>(pyramid.size() - 1);
    lod = std::min(lod, top);
    const int lower = static_cast<int>(lod);
    const float t = lod - static_cast<float>(lower);
    const glm::vec3 a = pyramid[static_cast<std::size_t>(lower)].sample(uv.x, uv.y);
    if (t <= 0.0f || lower + 1 >= static_cast<int>(pyramid.size())) {
        return a;
    }
    return glm::mix(a, pyramid[static_cast<std::size_t>(lower) + 1].sample(uv.x, uv.y), t);
}

Plane prefilterLevel(const std::vector<Plane>& pyramid, int width, int height, float roughness) {
    // More samples for wider lobes; the level's texels get fewer as it shrinks.
    const unsigned count = roughness < 0.3f ? 48u : 96u;
    const auto samples = lobeSamples(roughness, count, pyramid.front().width, pyramid.front().height);
    float weightSum = 0.0f;
    for (const auto& s : samples) {
        weightSum += s.weight;
    }
    Plane out;
    out.width = width;
    out.height = height;
    out.texels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const glm::vec3 n = directionAt((static_cast<float>(x) + 0.5f) / static_cast<float>(width),
                                            (static_cast<float>(y) + 0.5f) / static_cast<float>(height));
            const glm::vec3 up = std::abs(n.y) < 0.999f ? glm::vec3(0.0f, 1.0f, 0.0f) : glm::vec3(1.0f, 0.0f, 0.0f);
            const glm::vec3 tangent = glm::normalize(glm::cross(up, n));
            const glm::vec3 bitangent = glm::cross(n, tangent);
            glm::vec3 sum(0.0f);
            for (const auto& s : samples) {
                const glm::vec3 l = tangent * s.direction.x + bitangent * s.direction.y + n * s.direction.z;
                sum += samplePyramid(pyramid, l, s.lod) * s.weight;
            }
            out.texels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)] =
                weightSum > 0.0f ? sum / weightSum : glm::vec3(0.0f);
        }
    }
    return out;
}

// Irradiance over π as spherical harmonics (Ramamoorthi and Hanrahan): every texel of a small level,
// weighted by its solid angle, projected on the nine basis functions, then each band scaled by the
// cosine lobe's factor over π (1, 2/3, 1/4).
void projectIrradiance(const Plane& plane, glm::vec3 (&out)[9]) {
    glm::vec3 sh[9]{};
    const float dPhi = 2.0f * kPi / static_cast<float>(plane.width);
    for (int y = 0; y < plane.height; ++y) {
        const float v0 = static_cast<float>(y) / static_cast<float>(plane.height);
        const float v1 = static_cast<float>(y + 1) / static_cast<float>(plane.height);
        const float solidAngle = dPhi * (std::cos(v0 * kPi) - std::cos(v1 * kPi));
        for (int x = 0; x < plane.width; ++x) {
            const glm::vec3 d = directionAt((static_cast<float>(x) + 0.5f) / static_cast<float>(plane.width),
                                            (static_cast<float>(y) + 0.5f) / static_cast<float>(plane.height));
            const float basis[9] = {0.282095f,
                                    0.488603f * d.y,
                                    0.488603f * d.z,
                                    0.488603f * d.x,
                                    1.092548f * d.x * d.y,
                                    1.092548f * d.y * d.z,
                                    0.315392f * (3.0f * d.z * d.z - 1.0f),
                                    1.092548f * d.x * d.z,
                                    0.546274f * (d.x * d.x - d.y * d.y)};
            const glm::vec3 radiance = plane.at(x, y) * solidAngle;
            for (int k = 0; k < 9; ++k) {
                sh[k] += radiance * basis[k];
            }
        }
    }
    const float band[9] = {1.0f, 2.0f / 3.0f, 2.0f / 3.0f, 2.0f / 3.0f, 0.25f, 0.25f, 0.25f, 0.25f, 0.25f};
    const float constant[9] = {0.282095f, 0.488603f, 0.488603f, 0.488603f, 1.092548f,
                               1.092548f, 0.315392f, 1.092548f, 0.546274f};
    for (int k = 0; k < 9; ++k) {
        out[k] = sh[k] * band[k] * constant[k];
    }
}

std::vector<float> rgbaOf(const Plane& plane) {
    std::vector<float> rgba(plane.texels.size() * 4);
    for (std::size_t i = 0; i < plane.texels.size(); ++i) {
        rgba[i * 4] = plane.texels[i].r;
        rgba[i * 4 + 1] = plane.texels[i].g;
        rgba[i * 4 + 2] = plane.texels[i].b;
        rgba[i * 4 + 3] = 1.0f;
    }
    return rgba;
}

}  // namespace

PrefilteredEnvironment prefilterEnvironment(const UIImage& image) {
    std::vector<Plane> pyramid{linearPlane(image)};
    while (pyramid.front().width > kRadianceMaxWidth) {
        pyramid.front() = halve(pyramid.front());
    }
    while (pyramid.back().width > 1 || pyramid.back().height > 1) {
        pyramid.push_back(halve(pyramid.back()));
    }
    PrefilteredEnvironment result;
    result.width = pyramid.front().width;
    result.height = pyramid.front().height;
    const int levels = std::min<int>(kRadianceLevels, static_cast<int>(pyramid.size()));
    result.levels.push_back(rgbaOf(pyramid.front()));
    for (int level = 1; level < levels; ++level) {
        const float roughness = static_cast<float>(level) / static_cast<float>(levels - 1);
        result.levels.push_back(
            rgbaOf(prefilterLevel(pyramid, result.levelWidth(level), result.levelHeight(level), roughness)));
    }
    // The irradiance varies slowly: a level about 64 texels wide holds all it needs.
    std::size_t small = 0;
    while (small + 1 < pyramid.size() && pyramid[small].width > 64) {
        ++small;
    }
    projectIrradiance(pyramid[small], result.irradiance);
    return result;
}

std::vector<float> environmentBrdfTable(int size) {
    constexpr unsigned kSamples = 256;
    std::vector<float> table(static_cast<std::size_t>(size) * static_cast<std::size_t>(size) * 2);
    for (int row = 0; row < size; ++row) {
        const float roughness = (static_cast<float>(row) + 0.5f) / static_cast<float>(size);
        const float alpha = roughness * roughness;
        const float a2 = alpha * alpha;
        for (int column = 0; column < size; ++column) {
            const float nDotV = (static_cast<float>(column) + 0.5f) / static_cast<float>(size);
            const glm::vec3 v(std::sqrt(1.0f - nDotV * nDotV), 0.0f, nDotV);
            float scale = 0.0f;
            float bias = 0.0f;
            for (unsigned i = 0; i < kSamples; ++i) {
                const glm::vec3 h = ggxHalfVector(hammersley(i, kSamples), alpha);
                const float vDotH = glm::dot(v, h);
                const glm::vec3 l = 2.0f * vDotH * h - v;
                const float nDotL = l.z;
                if (nDotL <= 0.0f || vDotH <= 0.0f) {
                    continue;
                }
                // Height-correlated Smith visibility, divided by the pdf of l and times nDotL.
                const float visibility =
                    0.5f / (nDotL * std::sqrt(nDotV * nDotV * (1.0f - a2) + a2) +
                            nDotV * std::sqrt(nDotL * nDotL * (1.0f - a2) + a2));
                const float weighted = 4.0f * visibility * vDotH * nDotL / h.z;
                const float fresnel = std::pow(1.0f - vDotH, 5.0f);
                scale += (1.0f - fresnel) * weighted;
                bias += fresnel * weighted;
            }
            const std::size_t at =
                (static_cast<std::size_t>(row) * static_cast<std::size_t>(size) + static_cast<std::size_t>(column)) * 2;
            // Smooth surfaces seen head-on sum to a hair over 1 in floats: no surface reflects more than it gets.
            table[at] = std::min(scale / static_cast<float>(kSamples), 1.0f);
            table[at + 1] = std::min(bias / static_cast<float>(kSamples), 1.0f - table[at]);
        }
    }
    return table;
}

}  // namespace detail

using namespace detail;

GpuEnvironment* RenderContext::Impl::environment(const std::shared_ptr<UIImage>& image) {
    if (!image || image->width() <= 0 || image->height() <= 0) {
        return nullptr;
    }
    auto it = environments.find(image.get());
    if (it != environments.end() && !it->second.source.expired()) {
        return &it->second;
    }
    if (image->pixelFormat() == UIImagePixelFormat::rgba8 && image->rgba().empty()) {
        return nullptr;  // a file that no longer decodes
    }
    const PrefilteredEnvironment prefiltered = prefilterEnvironment(*image);
    const auto& gl = device.gl();
    GpuEnvironment entry;
    entry.source = image;
    entry.texture = device.create(GlKind::texture);
    gl.BindTexture(GL_TEXTURE_2D, entry.texture.id());
    gl.PixelStorei(GL_UNPACK_ALIGNMENT, 1);
    const int levels = static_cast<int>(prefiltered.levels.size());
    for (int level = 0; level < levels; ++level) {
        gl.TexImage2D(GL_TEXTURE_2D, level, GL_RGBA16F, prefiltered.levelWidth(level), prefiltered.levelHeight(level), 0,
                      GL_RGBA, GL_FLOAT, prefiltered.levels[static_cast<std::size_t>(level)].data());
    }
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, 0);
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, levels - 1);
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    entry.maxLod = static_cast<float>(levels - 1);
    std::copy(std::begin(prefiltered.irradiance), std::end(prefiltered.irradiance), std::begin(entry.irradiance));
    ++textureUploads;
    auto& slot = environments[image.get()];
    slot = std::move(entry);
    return &slot;
}

GLuint RenderContext::Impl::environmentBrdfLut() {
    if (brdfLut.id() != 0) {
        return brdfLut.id();
    }
    const auto table = environmentBrdfTable(kBrdfTableSize);
    const auto& gl = device.gl();
    brdfLut = device.create(GlKind::texture);
    gl.BindTexture(GL_TEXTURE_2D, brdfLut.id());
    gl.PixelStorei(GL_UNPACK_ALIGNMENT, 1);
    gl.TexImage2D(GL_TEXTURE_2D, 0, GL_RG16F, kBrdfTableSize, kBrdfTableSize, 0, GL_RG, GL_FLOAT, table.data());
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    return brdfLut.id();
}

}  // namespace vantrel
