#pragma once

// Image-based light prepared on the CPU: an environment's radiance prefiltered for each roughness,
// its irradiance as spherical harmonics, and the split-sum table of the GGX BRDF. Private to the
// renderer; the GL side is in EnvironmentMaps.cpp too.

#include <algorithm>
#include <vector>

#include <glm/vec3.hpp>

namespace vantrel {
class UIImage;
}

namespace vantrel::detail {

/// Roughness levels of a prefiltered environment: level i holds perceptual roughness i / (levels − 1)
/// and is half the size of level i − 1, so that the texture's mip chain is the roughness axis.
constexpr int kRadianceLevels = 6;
/// The widest level 0 kept: larger environments are box-filtered down to it (a mirror-like surface
/// shows no more detail than this, and the prefilter's cost grows with the area).
constexpr int kRadianceMaxWidth = 512;
/// Width and height of the split-sum table (nDotV across, roughness down).
constexpr int kBrdfTableSize = 32;

/// An equirectangular environment (direction (sinθ sinφ, cosθ, −sinθ cosφ) at u = φ / 2π + ½,
/// v = θ / π, rows from the top) prefiltered for image-based light.
struct PrefilteredEnvironment {
    /// RGBA floats of linear light per level, level i of size `levelWidth(i)` × `levelHeight(i)`.
    std::vector<std::vector<float>> levels;
    int width = 0;   ///< of level 0
    int height = 0;  ///< of level 0
    /// Irradiance as nine spherical-harmonic coefficients, already multiplied by the cosine lobe's
    /// factors over π and by the basis's constants: the shader sums them times 1, y, z, x, xy, yz,
    /// 3z² − 1, xz, x² − y², and albedo times that sum is the diffuse light (1 under a uniform
    /// environment of radiance 1).
    glm::vec3 irradiance[9]{};

    [[nodiscard]] int levelWidth(int level) const { return width > 1 ? std::max(1, width >> level) : 1; }
    [[nodiscard]] int levelHeight(int level) const { return height > 1 ? std::max(1, height >> level) : 1; }
};

/// Prefilters `image` (8-bit sRGB or float linear light): level 0 is the image (box-filtered to at
/// most `kRadianceMaxWidth` wide), each further level the radiance seen by a GGX lobe of its
/// roughness, importance-sampled with each sample read from the source's mip level that matches the
/// sample's share of the lobe (so that a small bright light spreads instead of sparkling).
[[nodiscard]] PrefilteredEnvironment prefilterEnvironment(const UIImage& image);

/// The split-sum table of the GGX BRDF with height-correlated Smith visibility: for each nDotV
/// (column, at texel centres) and perceptual roughness (row), the scale and bias of F0 in the
/// directional albedo (two floats a texel, rows from roughness 0).
[[nodiscard]] std::vector<float> environmentBrdfTable(int size = kBrdfTableSize);

}  // namespace vantrel::detail
