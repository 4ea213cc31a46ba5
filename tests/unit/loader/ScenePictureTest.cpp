// Pictures of loaded models for a person to look at (not run by default):
//   vantrel_unit_tests --gtest_also_run_disabled_tests --gtest_filter='ScenePicture*'
// writes <build>/loader-pictures/<model>.png: a front view (+Z towards the viewer, +Y up) of the
// scene as read, each pixel the diffuse texture (or colour) at that point, lit from the front.

#include "support/ModelArchives.hpp"
#include "vantrel/graph/SCNGeometry.hpp"
#include "vantrel/graph/SCNNode.hpp"
#include "vantrel/graph/SCNScene.hpp"
#include "vantrel/graph/SCNSceneSource.hpp"

#include <gtest/gtest.h>
#include <glm/glm.hpp>

#include <fstream>
#include "support/TestPaths.hpp"

namespace {

constexpr int kSize = 512;

struct Canvas {
    std::vector<std::uint8_t> rgb = std::vector<std::uint8_t>(kSize * kSize * 3, 235);
    std::vector<float> depth = std::vector<float>(kSize * kSize, -1e30f);
};

glm::vec3 sample(const vantrel::SCNMaterial* material, glm::vec2 uv) {
    if (!material) return {0.8f, 0.8f, 0.8f};
    if (const auto image = material->diffuse().contentsImage(); image && image->width() > 0) {
        const auto& px = image->rgba();
        const float u = uv.x - std::floor(uv.x), v = uv.y - std::floor(uv.y);
        const int x = std::min(image->width() - 1, static_cast<int>(u * image->width()));
        const int y = std::min(image->height() - 1, static_cast<int>(v * image->height()));  // rows from the top
        const auto* p = &px[(static_cast<std::size_t>(y) * image->width() + x) * 4];
        return glm::vec3(p[0], p[1], p[2]) / 255.0f;
    }
    const auto c = material->diffuse().contentsColor().value_or(vantrel::UIColor::whiteColor());
    return {c.red(), c.green(), c.blue()};
}

void draw(const vantrel::SCNNode& node, const glm::mat4& parent, const glm::vec3& low, float scale, Canvas& canvas) {
    const glm::mat4 world = parent * node.simdTransform();
    if (const auto& geometry = node.geometry()) {
        const auto& source = geometry->source();
        for (std::size_t e = 0; e < geometry->elements().size(); ++e) {
            const auto material = geometry->materialForElement(e);
            const auto& indices = geometry->elements()[e].indices;
            for (std::size_t t = 0; t + 2 < indices.size(); t += 3) {
                glm::vec3 p[3];
                glm::vec2 uv[3]{};
                for (int k = 0; k < 3; ++k) {
                    const glm::vec3 w = glm::vec3(world * glm::vec4(source.vertices[indices[t + k]], 1.0f));
                    p[k] = glm::vec3((w.x - low.x) * scale, kSize - 1 - (w.y - low.y) * scale, w.z);
                    if (!source.textureCoordinates.empty()) uv[k] = source.textureCoordinates[0][indices[t + k]];
                }
                const glm::vec3 n = glm::normalize(glm::cross(
                    glm::vec3(world * glm::vec4(source.vertices[indices[t + 1]] - source.vertices[indices[t]], 0)),
                    glm::vec3(world * glm::vec4(source.vertices[indices[t + 2]] - source.vertices[indices[t]], 0))));
                const float light = 0.35f + 0.65f * std::abs(n.z);
                const float area = (p[1].x - p[0].x) * (p[2].y - p[0].y) - (p[2].x - p[0].x) * (p[1].y - p[0].y);
                if (std::abs(area) < 1e-9f) continue;
                const int x0 = std::max(0, static_cast<int>(std::min({p[0].x, p[1].x, p[2].x})));
                const int x1 = std::min(kSize - 1, static_cast<int>(std::max({p[0].x, p[1].x, p[2].x})) + 1);
                const int y0 = std::max(0, static_cast<int>(std::min({p[0].y, p[1].y, p[2].y})));
                const int y1 = std::min(kSize - 1, static_cast<int>(std::max({p[0].y, p[1].y, p[2].y})) + 1);
                for (int y = y0; y <= y1; ++y) {
                    for (int x = x0; x <= x1; ++x) {
                        const float px = x + 0.5f, py = y + 0.5f;
                        const float b0 = ((p[1].x - px) * (p[2].y - py) - (p[2].x - px) * (p[1].y - py)) / area;
                        const float b1 = ((p[2].x - px) * (p[0].y - py) - (p[0].x - px) * (p[2].y - py)) / area;
                        const float b2 = 1 - b0 - b1;
                        if (b0 < 0 || b1 < 0 || b2 < 0) continue;
                        const float z = b0 * p[0].z + b1 * p[1].z + b2 * p[2].z;
                        auto& d = canvas.depth[static_cast<std::size_t>(y) * kSize + x];
                        if (z <= d) continue;
                        d = z;
                        const glm::vec3 c = glm::clamp(
                            sample(material.get(), b0 * uv[0] + b1 * uv[1] + b2 * uv[2]) * light, 0.0f, 1.0f);
                        for (int k = 0; k < 3; ++k)
                            canvas.rgb[(static_cast<std::size_t>(y) * kSize + x) * 3 + k] =
                                static_cast<std::uint8_t>(c[k] * 255);
                    }
                }
            }
        }
    }
    for (const auto& child : node.childNodes()) draw(*child, world, low, scale, canvas);
}

/// A PNG of stored (uncompressed) deflate blocks: big, but needs nothing.
void writePng(const std::filesystem::path& path, const Canvas& canvas) {
    std::vector<std::uint8_t> raw;
    for (int y = 0; y < kSize; ++y) {
        raw.push_back(0);
        raw.insert(raw.end(), canvas.rgb.begin() + y * kSize * 3, canvas.rgb.begin() + (y + 1) * kSize * 3);
    }
    std::vector<std::uint8_t> z{0x78, 0x01};
    std::uint32_t a = 1, b = 0;
    for (auto byte : raw) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    for (std::size_t i = 0; i < raw.size(); i += 65535) {
        const std::size_t n = std::min<std::size_t>(65535, raw.size() - i);
        z.push_back(i + n == raw.size() ? 1 : 0);
        z.push_back(n & 0xFF);
        z.push_back(n >> 8);
        z.push_back(~n & 0xFF);
        z.push_back((~n >> 8) & 0xFF);
        z.insert(z.end(), raw.begin() + static_cast<std::ptrdiff_t>(i),
                 raw.begin() + static_cast<std::ptrdiff_t>(i + n));
    }
    const std::uint32_t adler = (b << 16) | a;
    for (int s = 24; s >= 0; s -= 8) z.push_back((adler >> s) & 0xFF);
    std::ofstream out(path, std::ios::binary);
    const auto chunk = [&out](const char* type, const std::vector<std::uint8_t>& data) {
        std::vector<std::uint8_t> body(type, type + 4);
        body.insert(body.end(), data.begin(), data.end());
        const std::uint32_t length = static_cast<std::uint32_t>(data.size());
        const std::uint32_t crc = vantrel::test::crc32Of(body);
        for (int s = 24; s >= 0; s -= 8) out.put(static_cast<char>((length >> s) & 0xFF));
        out.write(reinterpret_cast<const char*>(body.data()), static_cast<std::streamsize>(body.size()));
        for (int s = 24; s >= 0; s -= 8) out.put(static_cast<char>((crc >> s) & 0xFF));
    };
    out.write("\x89PNG\r\n\x1a\n", 8);
    chunk("IHDR", {0, 0, kSize >> 8, kSize & 0xFF, 0, 0, kSize >> 8, kSize & 0xFF, 8, 2, 0, 0, 0});
    chunk("IDAT", z);
    chunk("IEND", {});
}

}  // namespace

TEST(ScenePicture, DISABLED_WritesFrontViewsOfTheModels) {
    const auto directory = vantrel::test::binaryDirectory() / "loader-pictures";
    std::filesystem::create_directories(directory);
    for (const char* folder : {"GlamVelvetSofa", "SheenChair", "ToyCar", "LightsPunctualLamp", "BoxVertexColors"}) {
        vantrel::OptionalError error;
        const auto scene = vantrel::SCNSceneSource::make(vantrel::test::modelFileOf(folder))
                               ->sceneWithOptions(std::nullopt, {}, &error);
        ASSERT_TRUE(scene) << folder;
        const auto box = scene->rootNode()->boundingBox();
        const glm::vec3 low(box.min.x, box.min.y, box.min.z), high(box.max.x, box.max.y, box.max.z);
        const float scale = (kSize - 1) / std::max(high.x - low.x, high.y - low.y);
        Canvas canvas;
        draw(*scene->rootNode(), glm::mat4(1.0f), low, scale, canvas);
        writePng(directory / (std::string(folder) + ".png"), canvas);
    }
}
