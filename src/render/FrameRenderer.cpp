// One frame of a scene: the scene pass (with a floor's mirror image), the technique's passes, the
// sRGB picture, overlays, and the read-back.

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <cstring>
#include <limits>

#include <glm/geometric.hpp>
#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/type_ptr.hpp>
#include <glm/matrix.hpp>

#include "render/RenderContextImpl.hpp"
#include "render/StatisticsOverlay.hpp"
#include "render/TechniqueBounds.hpp"
#include "vantrel/core/Log.hpp"
#include "vantrel/graph/SCNBox.hpp"
#include "vantrel/graph/SCNCamera.hpp"
#include "vantrel/graph/SCNFloor.hpp"
#include "vantrel/graph/SCNLight.hpp"
#include "vantrel/graph/SCNMaterial.hpp"
#include "vantrel/graph/SCNNode.hpp"
#include "vantrel/graph/SCNScene.hpp"
#include "vantrel/render/RenderError.hpp"

namespace vantrel {

using namespace detail;

namespace {

constexpr int kMaxLights = 8;
constexpr std::uint32_t kEnvColor = 1u << 13;
constexpr std::uint32_t kEnvMap = 1u << 14;
constexpr std::uint32_t kFloorReflection = 1u << 15;
constexpr std::uint32_t kClipPlane = 1u << 16;
constexpr int kLightCountShift = 17;  // four bits: the number of lights, 0 to 8
constexpr std::uint32_t kLightSpots = 1u << 21;
constexpr std::uint32_t kLightAttenuation = 1u << 22;
constexpr std::uint32_t kAlphaCutoff = 1u << 23;
constexpr std::uint32_t kSpecularTerm = 1u << 24;
constexpr GLint kEnvUnit = 10;
constexpr GLint kReflectionUnit = 11;
// The format of the picture and of every target the scene is drawn into.
constexpr GLenum kPictureFormat = GL_SRGB8_ALPHA8;

float linear(double c) {
    const float v = static_cast<float>(c);
    return v <= 0.04045f ? v / 12.92f : std::pow((v + 0.055f) / 1.055f, 2.4f);
}

glm::vec4 linearColor(const UIColor& color) {
    return {linear(color.red()), linear(color.green()), linear(color.blue()), static_cast<float>(color.alpha())};
}

// The material properties the scene program knows, with their uniform names, texture unit, colour
// space and the value an empty property stands for.
struct PropertySlot {
    const SCNMaterialProperty& (SCNMaterial::*get)() const noexcept;
    const char* color;
    const char* map;
    const char* transform;
    const char* channel;
    const char* intensity;
    bool srgb;
    glm::vec4 empty;
};

#define VANTREL_SLOT(name, srgb, empty)                                                                         \
    {                                                                                                           \
        &SCNMaterial::name, "u_" #name "Color", "u_" #name "Map", "u_" #name "Transform", "u_" #name "Channel", \
            "u_" #name "Intensity", srgb, empty                                                                 \
    }

// Slot i's texture is bound to unit i and announced by feature bit 3 + i; units 10 and 11 are the
// environment's and the reflection's.
const std::array<PropertySlot, 10> kSlots = {{
    VANTREL_SLOT(diffuse, true, glm::vec4(1.0f)),
    VANTREL_SLOT(normal, false, glm::vec4(0.5f, 0.5f, 1.0f, 1.0f)),
    VANTREL_SLOT(metalness, false, glm::vec4(0.0f, 0.0f, 0.0f, 1.0f)),
    VANTREL_SLOT(roughness, false, glm::vec4(0.5f, 0.5f, 0.5f, 1.0f)),
    VANTREL_SLOT(ambientOcclusion, false, glm::vec4(1.0f)),
    VANTREL_SLOT(specular, true, glm::vec4(0.0f, 0.0f, 0.0f, 1.0f)),
    VANTREL_SLOT(emission, true, glm::vec4(0.0f, 0.0f, 0.0f, 1.0f)),
    VANTREL_SLOT(selfIllumination, true, glm::vec4(0.0f, 0.0f, 0.0f, 1.0f)),
    VANTREL_SLOT(transparent, false, glm::vec4(1.0f)),
    VANTREL_SLOT(multiply, true, glm::vec4(1.0f)),
}};
constexpr std::size_t kNormalSlot = 1;
constexpr std::size_t kSpecularSlot = 5;
static_assert(kSlots.size() <= static_cast<std::size_t>(kEnvUnit));
#undef VANTREL_SLOT

std::uint32_t lightingModelBits(SCNLightingModel model) {
    switch (model) {
        case SCNLightingModel::constant: return 0;
        case SCNLightingModel::lambert: return 1;
        case SCNLightingModel::blinn: return 2;
        case SCNLightingModel::phong: return 3;
        case SCNLightingModel::physicallyBased: return 4;
        case SCNLightingModel::shadowOnly: return 0;
    }
    return 2;
}

GLint wrapMode(SCNWrapMode mode) {
    switch (mode) {
        case SCNWrapMode::clamp: return GL_CLAMP_TO_EDGE;
        case SCNWrapMode::repeat: return GL_REPEAT;
        case SCNWrapMode::clampToBorder: return GL_CLAMP_TO_BORDER;
        case SCNWrapMode::mirror: return GL_MIRRORED_REPEAT;
    }
    return GL_CLAMP_TO_EDGE;
}

GLint minFilter(SCNFilterMode filter, SCNFilterMode mip) {
    const bool nearest = filter == SCNFilterMode::nearest;
    switch (mip) {
        case SCNFilterMode::none: return nearest ? GL_NEAREST : GL_LINEAR;
        case SCNFilterMode::nearest: return nearest ? GL_NEAREST_MIPMAP_NEAREST : GL_LINEAR_MIPMAP_NEAREST;
        case SCNFilterMode::linear: return nearest ? GL_NEAREST_MIPMAP_LINEAR : GL_LINEAR_MIPMAP_LINEAR;
    }
    return GL_LINEAR;
}

// One element of one node's geometry, as the frame draws it.
struct DrawItem {
    const SCNGeometry* geometry = nullptr;
    const SCNMaterial* material = nullptr;
    std::size_t element = 0;
    glm::mat4 world{1.0f};
    float opacity = 1.0f;
    std::uint64_t category = 1;
    float depth = 0.0f;
    bool transparent = false;
    const SCNFloor* floor = nullptr;
};

struct LightList {
    int count = 0;
    glm::vec4 vector[kMaxLights];
    glm::vec3 color[kMaxLights];
    glm::vec4 spot[kMaxLights];
    glm::vec4 shape[kMaxLights];
    std::uint64_t mask[kMaxLights];
    glm::vec3 ambient{0.0f};
    std::uint64_t ambientMask = ~std::uint64_t{0};

    // The lights that reach nodes of `category`.
    [[nodiscard]] LightList reaching(std::uint64_t category) const {
        LightList out;
        for (int i = 0; i < count; ++i) {
            if ((mask[i] & category) != 0) {
                out.append(*this, i);
            }
        }
        out.ambient = (ambientMask & category) != 0 ? ambient : glm::vec3(0.0f);
        return out;
    }

    // These lights on a flat surface facing `normal`, with the directional ones added to the
    // ambient light: what they give a surface without highlights does not depend on the place.
    [[nodiscard]] LightList foldingDirectional(const glm::vec3& normal) const {
        LightList out;
        out.ambient = ambient;
        out.ambientMask = ambientMask;
        for (int i = 0; i < count; ++i) {
            if (vector[i].w == 0.0f) {
                const glm::vec3 toLight(vector[i]);
                const glm::vec3 l = toLight / std::max(glm::length(toLight), 1e-6f);
                out.ambient += color[i] * std::max(glm::dot(normal, l), 0.0f);
                continue;
            }
            out.append(*this, i);
        }
        return out;
    }

    // Adds light `i` of `from`.
    void append(const LightList& from, int i) {
        const int j = count++;
        vector[j] = from.vector[i];
        color[j] = from.color[i];
        spot[j] = from.spot[i];
        shape[j] = from.shape[i];
        mask[j] = from.mask[i];
    }
};

struct SceneWalk {
    std::vector<DrawItem> items;
    LightList lights;
    std::vector<glm::mat4> cameras;
    std::vector<glm::mat4> lightMarkers;
    const SCNNode* pointOfView = nullptr;
    const SCNMaterial* defaultMaterial = nullptr;
};

bool materialIsTransparent(const SCNMaterial& material, float opacity, RenderContext::Impl& context) {
    if (opacity * static_cast<float>(material.transparency()) < 0.999f) {
        return true;
    }
    if (material.blendMode() != SCNBlendMode::alpha && material.blendMode() != SCNBlendMode::replace) {
        return true;
    }
    if (material.alphaMode() != SCNAlphaMode::blend) {
        return false;  // cut out or opaque: drawn with the opaque surfaces
    }
    const auto diffuse = material.diffuse().contents();
    if (const auto* color = std::get_if<UIColor>(&diffuse); color != nullptr && color->alpha() < 0.999) {
        return true;
    }
    if (const auto* image = std::get_if<std::shared_ptr<UIImage>>(&diffuse); image != nullptr && *image) {
        const GpuTexture* texture = context.texture(*image, true);
        if (texture != nullptr && texture->hasAlpha) {
            return true;
        }
    }
    const auto& transparent = material.transparent();
    if (transparent.contentsImage()) {
        return true;
    }
    if (const auto color = transparent.contentsColor()) {
        const bool opaque = material.transparencyMode() == SCNTransparencyMode::rgbZero
                                ? color->red() + color->green() + color->blue() < 0.001
                                : color->alpha() > 0.999;
        return !opaque;
    }
    return false;
}

// One visible node: its light, camera and geometry, at its presented world transform.
void visit(const SCNNode& node, const glm::mat4& world, float opacity, SceneWalk& out, RenderContext::Impl& context) {
    if (const auto& light = node.light()) {
        const glm::vec3 color =
            glm::vec3(linearColor(light->color())) * static_cast<float>(light->intensity() / 1000.0);
        if (light->type() == SCNLightType::ambient) {
            out.lights.ambient += color;
            out.lights.ambientMask = light->categoryBitMask();
        } else if (out.lights.count < kMaxLights) {
            const int i = out.lights.count++;
            out.lights.color[i] = color;
            out.lights.mask[i] = light->categoryBitMask();
            out.lights.spot[i] = glm::vec4(0.0f, 0.0f, 0.0f, -2.0f);
            out.lights.shape[i] = glm::vec4(1.0f, light->attenuationStartDistance(), light->attenuationEndDistance(),
                                            light->attenuationFalloffExponent());
            if (light->type() == SCNLightType::directional) {
                out.lights.vector[i] = glm::vec4(glm::normalize(glm::vec3(world[2])), 0.0f);
            } else {
                out.lights.vector[i] = glm::vec4(glm::vec3(world[3]), 1.0f);
                if (light->type() == SCNLightType::spot) {
                    const float outer = std::cos(glm::radians(static_cast<float>(light->spotOuterAngle()) * 0.5f));
                    const float inner = std::cos(glm::radians(static_cast<float>(light->spotInnerAngle()) * 0.5f));
                    out.lights.spot[i] = glm::vec4(-glm::normalize(glm::vec3(world[2])), outer);
                    out.lights.shape[i].x = inner;
                }
            }
        }
        out.lightMarkers.push_back(world);
    }
    if (node.camera()) {
        out.cameras.push_back(world);
    }
    const auto& geometry = node.geometry();
    if (!geometry || opacity <= 0.0f) {
        return;
    }
    const auto* floor = dynamic_cast<const SCNFloor*>(geometry.get());
    const std::size_t elements = floor != nullptr && floor->isEndless() ? 1 : geometry->elements().size();
    for (std::size_t e = 0; e < elements; ++e) {
        DrawItem item;
        item.geometry = geometry.get();
        const auto material = geometry->materialForElement(e);
        item.material = material ? material.get() : out.defaultMaterial;
        if (item.material->lightingModel() == SCNLightingModel::shadowOnly) {
            continue;  // no shadows are drawn, so nothing of it shows
        }
        item.element = e;
        item.world = world;
        item.opacity = opacity;
        item.category = node.categoryBitMask();
        item.floor = floor;
        item.transparent = materialIsTransparent(*item.material, opacity, context);
        out.items.push_back(item);
    }
}

// Where a frame's time goes, pass by pass, when VANTREL_RENDER_PROFILE is set: each mark waits for
// the GL to finish what came before it, so the figures are real but the frames are slower. Averages
// go to the standard error every 10 frames.
class PassProfile {
public:
    explicit PassProfile(const GlFunctions& gl) : gl_(gl) {
        if (enabled()) {
            gl_.Finish();
            last_ = std::chrono::steady_clock::now();
            lastCpu_ = cpuMs();
        }
    }
    ~PassProfile() {
        if (!enabled()) return;
        mark("end");
        auto& totals = sums();
        if (++frames() % 10 == 0) {
            std::string line = "frame profile (ms wall/cpu):";
            for (const auto& [name, sum] : totals) {
                char figure[96];
                std::snprintf(figure, sizeof figure, " %s %.2f/%.2f", name.c_str(), sum.first / 10.0,
                              sum.second / 10.0);
                line += figure;
            }
            std::fprintf(stderr, "%s\n", line.c_str());
            totals.clear();
        }
    }
    void mark(const char* name) {
        if (!enabled()) return;
        gl_.Finish();
        const auto now = std::chrono::steady_clock::now();
        auto& totals = sums();
        auto it = std::find_if(totals.begin(), totals.end(), [&](const auto& entry) { return entry.first == name; });
        if (it == totals.end()) {
            totals.emplace_back(name, std::pair<double, double>{});
            it = std::prev(totals.end());
        }
        const double cpu = cpuMs();
        it->second.first += std::chrono::duration<double, std::milli>(now - last_).count();
        it->second.second += cpu - lastCpu_;
        last_ = now;
        lastCpu_ = cpu;
    }

private:
    static bool enabled() {
        static const bool on = std::getenv("VANTREL_RENDER_PROFILE") != nullptr;
        return on;
    }
    // The CPU time of the whole process, the rasteriser's threads included.
    static double cpuMs() {
        timespec t{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
        return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
    }
    static std::vector<std::pair<std::string, std::pair<double, double>>>& sums() {
        static std::vector<std::pair<std::string, std::pair<double, double>>> totals;
        return totals;
    }
    static int& frames() {
        static int count = 0;
        return count;
    }
    const GlFunctions& gl_;
    std::chrono::steady_clock::time_point last_;
    double lastCpu_ = 0.0;
};

}  // namespace

namespace {

// Everything a draw of the scene program needs besides the item itself.
struct PassState {
    glm::mat4 viewProjection{1.0f};
    glm::vec3 camera{0.0f};
    const LightList* lights = nullptr;
    std::uint32_t environmentBits = 0;
    GpuEnvironment* environment = nullptr;
    glm::vec3 environmentColor{0.0f};
    float environmentIntensity = 1.0f;
    bool mirrored = false;
    glm::vec4 clipPlane{0.0f};
    glm::vec2 falloff{0.0f};
    bool reflectionReady = false;
    glm::vec2 viewport{1.0f};
    float floorExtent = 100.0f;
};

}  // namespace

namespace {

// Whether Blinn or Phong highlights can show: a black specular colour adds nothing, so its programs
// leave the highlight out.
bool hasSpecularTerm(const SCNMaterial& material, bool specularMap) {
    const auto model = material.lightingModel();
    if (model != SCNLightingModel::blinn && model != SCNLightingModel::phong) {
        return false;
    }
    if (specularMap) {
        return true;
    }
    const SCNMaterialProperty& specular = material.specular();
    const auto color = specular.contentsColor();
    const auto number = specular.contentsNumber();
    const bool black =
        color ? color->red() == 0.0 && color->green() == 0.0 && color->blue() == 0.0 : !number || *number == 0.0;
    return !black && specular.intensity() != 0.0;
}

// Whether a material's lights only add diffuse light (Lambert, or Blinn and Phong without
// highlights): then the light a directional source gives depends on the normal alone.
bool diffuseOnly(const SCNMaterial& material, std::uint32_t features) {
    switch (material.lightingModel()) {
        case SCNLightingModel::lambert: return true;
        case SCNLightingModel::blinn:
        case SCNLightingModel::phong: return (features & kSpecularTerm) == 0;
        default: return false;
    }
}

// Sets blending for a material's blend mode.
void applyBlend(const GlFunctions& gl, const DrawItem& item) {
    if (!item.transparent || item.material->blendMode() == SCNBlendMode::replace) {
        gl.Disable(GL_BLEND);
        return;
    }
    gl.Enable(GL_BLEND);
    gl.BlendEquation(GL_FUNC_ADD);
    switch (item.material->blendMode()) {
        case SCNBlendMode::alpha:
            gl.BlendFuncSeparate(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
            break;
        case SCNBlendMode::add: gl.BlendFuncSeparate(GL_SRC_ALPHA, GL_ONE, GL_ZERO, GL_ONE); break;
        case SCNBlendMode::subtract:
            gl.BlendEquation(GL_FUNC_REVERSE_SUBTRACT);
            gl.BlendFuncSeparate(GL_SRC_ALPHA, GL_ONE, GL_ZERO, GL_ONE);
            break;
        case SCNBlendMode::multiply: gl.BlendFuncSeparate(GL_DST_COLOR, GL_ONE_MINUS_SRC_ALPHA, GL_ZERO, GL_ONE); break;
        case SCNBlendMode::screen: gl.BlendFuncSeparate(GL_ONE, GL_ONE_MINUS_SRC_COLOR, GL_ZERO, GL_ONE); break;
        case SCNBlendMode::max:
            gl.BlendEquation(GL_MAX);
            gl.BlendFuncSeparate(GL_ONE, GL_ONE, GL_ONE, GL_ONE);
            break;
        case SCNBlendMode::replace: break;
    }
}

}  // namespace

struct FrameDrawer {
    RenderContext::Impl& context;
    const GlFunctions& gl;
    FrameResult& result;

    // The model matrix of an item; endless floors are a large square centred under the camera.
    glm::mat4 modelMatrix(const DrawItem& item, const PassState& pass) const {
        if (item.floor == nullptr || !item.floor->isEndless()) {
            return item.world;
        }
        glm::mat4 inverse = glm::inverse(item.world);
        glm::vec3 local = glm::vec3(inverse * glm::vec4(pass.camera, 1.0f));
        return item.world * glm::translate(glm::mat4(1.0f), glm::vec3(std::round(local.x), 0.0f, std::round(local.z))) *
               glm::scale(glm::mat4(1.0f), glm::vec3(pass.floorExtent, 1.0f, pass.floorExtent));
    }

    const SCNGeometry& drawnGeometry(const DrawItem& item) const {
        return item.floor != nullptr && item.floor->isEndless() ? *context.floorQuad : *item.geometry;
    }

    std::optional<Error> drawItem(const DrawItem& item, const PassState& pass, bool reflectionPass) {
        const SCNMaterial& material = *item.material;
        std::uint32_t features = lightingModelBits(material.lightingModel());
        std::array<GpuTexture*, kSlots.size()> maps{};
        for (std::size_t i = 0; i < kSlots.size(); ++i) {
            const auto image = (material.*kSlots[i].get)().contentsImage();
            if (image) {
                maps[i] = context.texture(image, (material.*kSlots[i].get)().colorSpace() == SCNColorSpace::sRGB);
                if (maps[i] != nullptr) {
                    features |= 1u << (3 + i);
                }
            }
        }
        if (material.lightingModel() == SCNLightingModel::physicallyBased) {
            features |= pass.environmentBits;
        }
        if (material.alphaMode() == SCNAlphaMode::mask) {
            features |= kAlphaCutoff;
        }
        if (hasSpecularTerm(material, maps[kSpecularSlot] != nullptr)) {
            features |= kSpecularTerm;
        }
        const bool reflects = item.floor != nullptr && pass.reflectionReady && !reflectionPass;
        if (reflects) {
            features |= kFloorReflection;
        }
        if (reflectionPass) {
            features |= kClipPlane;
        }
        const glm::mat4 model = modelMatrix(item, pass);
        LightList lights = pass.lights->reaching(item.category);
        if (item.floor != nullptr && maps[kNormalSlot] == nullptr && diffuseOnly(material, features)) {
            // A floor is flat: a directional light falls on all of it alike, so it is added to the
            // ambient light once here instead of in every fragment. Seen from its back, its normal
            // is not the one that shades it, so it keeps its lights.
            const glm::vec3 up = glm::normalize(glm::transpose(glm::inverse(glm::mat3(model))) * glm::vec3(0, 1, 0));
            if (glm::dot(up, pass.camera - glm::vec3(model[3])) > 0.0f) {
                lights = lights.foldingDirectional(up);
            }
        }
        features |= static_cast<std::uint32_t>(lights.count) << kLightCountShift;
        for (int i = 0; i < lights.count; ++i) {
            features |= lights.spot[i].w > -1.5f ? kLightSpots : 0u;
            features |= lights.vector[i].w > 0.5f && lights.shape[i].z > lights.shape[i].y ? kLightAttenuation : 0u;
        }
        auto program = context.sceneProgram(features);
        if (!program) {
            return program.error();
        }
        GpuProgram& p = **program;
        gl.UseProgram(p.program.id());

        const glm::mat3 normalMatrix = glm::transpose(glm::inverse(glm::mat3(model)));
        gl.UniformMatrix4fv(uniform(gl, p, "uModel"), 1, GL_FALSE, glm::value_ptr(model));
        gl.UniformMatrix3fv(uniform(gl, p, "uNormalMatrix"), 1, GL_FALSE, glm::value_ptr(normalMatrix));
        gl.UniformMatrix4fv(uniform(gl, p, "uViewProjection"), 1, GL_FALSE, glm::value_ptr(pass.viewProjection));
        gl.Uniform3fv(uniform(gl, p, "uCameraPosition"), 1, glm::value_ptr(pass.camera));
        gl.Uniform1f(uniform(gl, p, "uOpacity"), item.opacity * static_cast<float>(material.transparency()));
        gl.Uniform1f(uniform(gl, p, "uShininess"), static_cast<float>(material.shininess()));
        gl.Uniform1i(uniform(gl, p, "uTwoSided"), material.isDoubleSided() ? 1 : 0);
        gl.Uniform1i(uniform(gl, p, "uTransparencyMode"),
                     material.transparencyMode() == SCNTransparencyMode::rgbZero ? 1 : 0);
        gl.Uniform1i(uniform(gl, p, "uAlphaMode"), static_cast<int>(material.alphaMode()));
        gl.Uniform1f(uniform(gl, p, "uAlphaCutoff"), static_cast<float>(material.alphaCutoff()));
        if (lights.count > 0) {
            gl.Uniform4fv(uniform(gl, p, "uLightVector"), lights.count, glm::value_ptr(lights.vector[0]));
            gl.Uniform3fv(uniform(gl, p, "uLightColor"), lights.count, glm::value_ptr(lights.color[0]));
            gl.Uniform4fv(uniform(gl, p, "uLightSpot"), lights.count, glm::value_ptr(lights.spot[0]));
            gl.Uniform4fv(uniform(gl, p, "uLightShape"), lights.count, glm::value_ptr(lights.shape[0]));
        }
        gl.Uniform3fv(uniform(gl, p, "uAmbientLight"), 1, glm::value_ptr(lights.ambient));

        for (std::size_t i = 0; i < kSlots.size(); ++i) {
            const PropertySlot& slot = kSlots[i];
            const SCNMaterialProperty& property = (material.*slot.get)();
            const float intensity = static_cast<float>(property.intensity());
            if (maps[i] != nullptr) {
                gl.ActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(i));
                gl.BindTexture(GL_TEXTURE_2D, maps[i]->texture.id());
                gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrapMode(property.wrapS()));
                gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrapMode(property.wrapT()));
                gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER,
                                 minFilter(property.minificationFilter(), property.mipFilter()));
                gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER,
                                 property.magnificationFilter() == SCNFilterMode::nearest ? GL_NEAREST : GL_LINEAR);
                if (context.maxAnisotropy > 1.0f) {
                    gl.TexParameterf(
                        GL_TEXTURE_2D, 0x84FE /* GL_TEXTURE_MAX_ANISOTROPY */,
                        std::clamp(static_cast<float>(property.maxAnisotropy()), 1.0f, context.maxAnisotropy));
                }
                gl.Uniform1i(uniform(gl, p, slot.map), static_cast<GLint>(i));
                gl.UniformMatrix4fv(uniform(gl, p, slot.transform), 1, GL_FALSE,
                                    glm::value_ptr(property.contentsTransform()));
                gl.Uniform1i(uniform(gl, p, slot.channel), property.mappingChannel() == 1 ? 1 : 0);
                gl.Uniform1f(uniform(gl, p, slot.intensity), intensity);
                continue;
            }
            glm::vec4 value = slot.empty;
            if (const auto color = property.contentsColor()) {
                value = slot.srgb ? linearColor(*color)
                                  : glm::vec4(color->red(), color->green(), color->blue(), color->alpha());
            } else if (const auto number = property.contentsNumber()) {
                value = glm::vec4(glm::vec3(static_cast<float>(*number)), 1.0f);
            }
            if (!property.isEmpty()) {
                value = glm::vec4(glm::vec3(value) * intensity, value.a);
            }
            gl.Uniform4fv(uniform(gl, p, slot.color), 1, glm::value_ptr(value));
        }
        if (features & (kEnvColor | kEnvMap)) {
            gl.Uniform3fv(uniform(gl, p, "uEnvColor"), 1, glm::value_ptr(pass.environmentColor));
            gl.Uniform1f(uniform(gl, p, "uEnvIntensity"), pass.environmentIntensity);
            if (pass.environment != nullptr) {
                gl.ActiveTexture(GL_TEXTURE0 + kEnvUnit);
                gl.BindTexture(GL_TEXTURE_2D, pass.environment->texture.id());
                gl.Uniform1i(uniform(gl, p, "uEnvMap"), kEnvUnit);
                gl.Uniform1f(uniform(gl, p, "uEnvMaxLod"), pass.environment->maxLod);
                glm::vec3 scaled[9];
                for (int k = 0; k < 9; ++k) {
                    scaled[k] = pass.environment->irradiance[k] * pass.environmentIntensity;
                }
                gl.Uniform3fv(uniform(gl, p, "uEnvIrradiance"), 9, glm::value_ptr(scaled[0]));
            }
        }
        if (reflects) {
            gl.ActiveTexture(GL_TEXTURE0 + kReflectionUnit);
            gl.BindTexture(GL_TEXTURE_2D, context.reflectionTarget.color.id());
            gl.Uniform1i(uniform(gl, p, "uReflection"), kReflectionUnit);
            gl.Uniform1f(uniform(gl, p, "uReflectivity"), static_cast<float>(item.floor->reflectivity()));
            gl.Uniform2f(uniform(gl, p, "uViewportSize"), pass.viewport.x, pass.viewport.y);
        }
        if (reflectionPass) {
            gl.Uniform4fv(uniform(gl, p, "uClipPlane"), 1, glm::value_ptr(pass.clipPlane));
            gl.Uniform2f(uniform(gl, p, "uFalloff"), pass.falloff.x, pass.falloff.y);
        }

        // Fixed-function state.
        if (material.isDoubleSided()) {
            gl.Disable(GL_CULL_FACE);
        } else {
            gl.Enable(GL_CULL_FACE);
            gl.CullFace(material.cullMode() == SCNCullMode::front ? GL_FRONT : GL_BACK);
        }
        gl.FrontFace(pass.mirrored ? GL_CW : GL_CCW);
        if (material.readsFromDepthBuffer()) {
            gl.Enable(GL_DEPTH_TEST);
        } else {
            gl.Disable(GL_DEPTH_TEST);
        }
        gl.DepthMask(material.writesToDepthBuffer() ? GL_TRUE : GL_FALSE);
        applyBlend(gl, item);

        return drawElement(item);
    }

    std::optional<Error> drawElement(const DrawItem& item) {
        const SCNGeometry& geometry = drawnGeometry(item);
        GpuMesh& mesh = context.mesh(geometry);
        if (item.element >= mesh.elements.size()) {
            return std::nullopt;
        }
        const auto [first, count] = mesh.elements[item.element];
        if (count == 0) {
            return std::nullopt;
        }
        gl.BindVertexArray(mesh.vertexArray.id());
        const std::size_t indexSize = mesh.indexType == GL_UNSIGNED_SHORT ? 2 : 4;
        gl.DrawElements(GL_TRIANGLES, static_cast<GLsizei>(count), mesh.indexType,
                        reinterpret_cast<const void*>(first * indexSize));
        ++result.drawCalls;
        result.triangles += count / 3;
        return std::nullopt;
    }

    // Opaque items first, then transparent ones from far to near. Opaque floors come after the other
    // opaque items when that cannot change the picture (every one of them writes depth and the floor
    // tests it), so the depth test spares shading the floor under them; they lose ties of depth,
    // which keeps what lies flat on them in front as when floors came first.
    std::optional<Error> drawScene(std::vector<DrawItem>& items, const PassState& pass, bool reflectionPass) {
        const bool othersWriteDepth = std::all_of(items.begin(), items.end(), [](const DrawItem& item) {
            return item.transparent || item.floor != nullptr || item.material->writesToDepthBuffer();
        });
        const auto deferred = [&](const DrawItem& item) {
            return othersWriteDepth && item.floor != nullptr && item.material->readsFromDepthBuffer();
        };
        for (const bool late : {false, true}) {
            for (const DrawItem& item : items) {
                if (item.transparent || (reflectionPass && item.floor != nullptr) || deferred(item) != late) {
                    continue;
                }
                gl.DepthFunc(late ? GL_LESS : GL_LEQUAL);
                if (auto failure = drawItem(item, pass, reflectionPass)) {
                    return failure;
                }
            }
        }
        gl.DepthFunc(GL_LEQUAL);
        for (const DrawItem& item : items) {
            if (!item.transparent || (reflectionPass && item.floor != nullptr)) {
                continue;
            }
            if (auto failure = drawItem(item, pass, reflectionPass)) {
                return failure;
            }
        }
        gl.Disable(GL_BLEND);
        gl.DepthMask(GL_TRUE);
        return std::nullopt;
    }

    void drawQuad() {
        if (!context.quadArray) {
            static constexpr float kCorners[] = {-1, -1, 1, -1, 1, 1, -1, -1, 1, 1, -1, 1};
            context.quadArray = context.device.create(GlKind::vertexArray);
            context.quadVertices = context.device.create(GlKind::buffer);
            gl.BindVertexArray(context.quadArray.id());
            gl.BindBuffer(GL_ARRAY_BUFFER, context.quadVertices.id());
            gl.BufferData(GL_ARRAY_BUFFER, sizeof(kCorners), kCorners, GL_STATIC_DRAW);
            gl.EnableVertexAttribArray(0);
            gl.VertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 2 * sizeof(float), nullptr);
        }
        gl.BindVertexArray(context.quadArray.id());
        gl.DrawArrays(GL_TRIANGLES, 0, 6);
        ++result.drawCalls;
        result.triangles += 2;
    }

    // Lines (pairs of points) in one flat colour, through `viewProjection`.
    std::optional<Error> drawLines(const std::vector<glm::vec3>& points, GLenum mode, const glm::mat4& viewProjection,
                                   const glm::vec4& color) {
        if (points.empty()) {
            return std::nullopt;
        }
        auto program = context.namedProgram("overlay", "overlay");
        if (!program) {
            return program.error();
        }
        GpuProgram& p = **program;
        if (!context.overlayArray) {
            context.overlayArray = context.device.create(GlKind::vertexArray);
            context.overlayVertices = context.device.create(GlKind::buffer);
            gl.BindVertexArray(context.overlayArray.id());
            gl.BindBuffer(GL_ARRAY_BUFFER, context.overlayVertices.id());
            gl.EnableVertexAttribArray(0);
            gl.VertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 3 * sizeof(float), nullptr);
        }
        gl.UseProgram(p.program.id());
        gl.UniformMatrix4fv(uniform(gl, p, "uViewProjection"), 1, GL_FALSE, glm::value_ptr(viewProjection));
        gl.Uniform4fv(uniform(gl, p, "uColor"), 1, glm::value_ptr(color));
        gl.BindVertexArray(context.overlayArray.id());
        gl.BindBuffer(GL_ARRAY_BUFFER, context.overlayVertices.id());
        gl.BufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(points.size() * sizeof(glm::vec3)), points.data(),
                      GL_STREAM_DRAW);
        gl.DrawArrays(mode, 0, static_cast<GLsizei>(points.size()));
        ++result.drawCalls;
        return std::nullopt;
    }
};

namespace {

// The twelve edges of a box as line pairs, through `transform`.
void boxEdges(const glm::vec3& lo, const glm::vec3& hi, const glm::mat4& transform, std::vector<glm::vec3>& out) {
    glm::vec3 corners[8];
    for (int c = 0; c < 8; ++c) {
        corners[c] =
            glm::vec3(transform * glm::vec4((c & 1) ? hi.x : lo.x, (c & 2) ? hi.y : lo.y, (c & 4) ? hi.z : lo.z, 1.0f));
    }
    static constexpr int kEdges[12][2] = {{0, 1}, {2, 3}, {4, 5}, {6, 7}, {0, 2}, {1, 3},
                                          {4, 6}, {5, 7}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};
    for (const auto& edge : kEdges) {
        out.push_back(corners[edge[0]]);
        out.push_back(corners[edge[1]]);
    }
}

std::shared_ptr<SCNGeometry> makeFloorQuad() {
    SCNGeometrySource source;
    source.vertices = {{-1, 0, -1}, {1, 0, -1}, {1, 0, 1}, {-1, 0, 1}};
    source.normals = {{0, 1, 0}, {0, 1, 0}, {0, 1, 0}, {0, 1, 0}};
    source.textureCoordinates = {{{0, 0}, {1, 0}, {1, 1}, {0, 1}}};
    return SCNGeometry::make(std::move(source), {SCNGeometryElement{{0, 2, 1, 0, 3, 2}}});
}

}  // namespace

namespace {

// The items a floor mirrors: those with some part above it and below the height where its mirror
// image has faded out. Geometry without bounds is kept.
std::vector<DrawItem> itemsAbove(const std::vector<DrawItem>& items, const DrawItem& floor) {
    const glm::vec3 normal = glm::normalize(glm::vec3(floor.world[1]));
    const float offset = -glm::dot(normal, glm::vec3(floor.world[3]));
    const float start = static_cast<float>(floor.floor->reflectionFalloffStart());
    const float end = static_cast<float>(floor.floor->reflectionFalloffEnd());
    const float fadedAt = end > start ? end : std::numeric_limits<float>::infinity();
    std::vector<DrawItem> above;
    for (const DrawItem& item : items) {
        if (item.floor != nullptr) {
            continue;
        }
        if (!item.geometry->hasBounds()) {
            above.push_back(item);
            continue;
        }
        const SCNBoundingBox box = item.geometry->boundingBox();
        float lowest = std::numeric_limits<float>::infinity();
        float highest = -lowest;
        for (int c = 0; c < 8; ++c) {
            const glm::vec4 corner((c & 1) ? box.max.x : box.min.x, (c & 2) ? box.max.y : box.min.y,
                                   (c & 4) ? box.max.z : box.min.z, 1.0f);
            const float height = glm::dot(normal, glm::vec3(item.world * corner)) + offset;
            lowest = std::min(lowest, height);
            highest = std::max(highest, height);
        }
        if (highest > 0.0f && lowest < fadedAt) {
            above.push_back(item);
        }
    }
    return above;
}

// Runs a technique's sequence over the resolved picture ("COLOR").
std::optional<Error> runTechnique(RenderContext::Impl& context, FrameDrawer& drawer, const SCNTechnique& technique,
                                  const std::vector<DrawItem>& items, const PassState& pass, int width, int height,
                                  PassProfile& profile) {
    const auto& gl = context.device.gl();
    const auto targetFor = [&](const std::string& name, bool scratch) -> Expected<RenderTarget*> {
        if (name == "COLOR") {
            if (scratch) {
                if (auto failure = context.ensureTarget(context.colorScratch, width, height, 1, kPictureFormat, false))
                    return *failure;
                return &context.colorScratch;
            }
            return &context.colorTarget;
        }
        int w = width;
        int h = height;
        if (const auto declared = technique.targets().find(name); declared != technique.targets().end()) {
            if (declared->second.width > 0) {
                w = declared->second.width;
                h = declared->second.height;
            } else {
                w = std::max(1, static_cast<int>(width * declared->second.scaleFactor));
                h = std::max(1, static_cast<int>(height * declared->second.scaleFactor));
            }
        }
        RenderTarget& target = scratch ? context.techniqueScratch[name] : context.techniqueTargets[name];
        if (auto failure = context.ensureTarget(target, w, h, 1, GL_RGBA8, true)) return *failure;
        return &target;
    };
    const auto isTarget = [&](const std::string& name) {
        return name == "COLOR" || technique.targets().count(name) != 0 || context.techniqueTargets.count(name) != 0;
    };
    // Where each target may hold anything but zeros; a target not listed may hold anything anywhere.
    std::map<std::string, UnitRect> contents;
    const auto contentOf = [&](const std::string& name) {
        const auto it = contents.find(name);
        return it == contents.end() ? UnitRect::everything() : it->second;
    };
    const auto boundsOf = [&](const std::string& file) {
        const auto source = context.shaderSource(file);
        return source ? shaderBounds(*source) : ShaderBounds{};
    };

    for (const std::string& passName : technique.sequence()) {
        const SCNTechniquePass& step = technique.passes().at(passName);
        bool readsOutput = false;
        for (const auto& [input, source] : step.inputs) {
            readsOutput = readsOutput || source == step.output;
        }
        auto output = targetFor(step.output, readsOutput);
        if (!output) {
            return output.error();
        }
        RenderTarget& out = **output;
        auto program = context.namedProgram(step.vertexShader, step.fragmentShader);
        if (!program) {
            return program.error();
        }
        GpuProgram& p = **program;

        // Where the pass can change its output (`region`; everywhere when unset) and what the output
        // holds afterwards, from what its shaders say of themselves.
        const ShaderBounds vertexBounds = boundsOf(step.vertexShader + ".vert");
        const ShaderBounds fragmentBounds = boundsOf(step.fragmentShader + ".frag");
        std::optional<UnitRect> region;
        UnitRect written = UnitRect::everything();
        const RenderTarget* passedThrough = nullptr;  // copied into the output before a bounded "over" pass
        const bool quad = step.draw == SCNTechniquePass::Draw::quad;
        const bool fullscreen = vertexBounds.kind == ShaderBounds::Kind::fullscreen;
        if (!quad && vertexBounds.kind == ShaderBounds::Kind::projected && !readsOutput) {
            UnitRect drawn = UnitRect::nothing();
            for (const DrawItem& item : items) {
                if ((item.category & step.includeCategoryMask) != 0 &&
                    (item.category & step.excludeCategoryMask) == 0) {
                    drawn = drawn.united(item.floor != nullptr
                                             ? UnitRect::everything()
                                             : projectedRect(drawer.drawnGeometry(item),
                                                             pass.viewProjection * drawer.modelMatrix(item, pass)));
                }
            }
            drawn = drawn.grown(1.0f, out.width, out.height);
            written = step.clearColor ? drawn : drawn.united(contentOf(step.output));
        } else if (quad && fullscreen && fragmentBounds.kind == ShaderBounds::Kind::local) {
            UnitRect reach = UnitRect::nothing();
            for (const auto& [input, source] : step.inputs) {
                if (!technique.isVertexSymbol(source) && isTarget(source)) {
                    auto target = targetFor(source, false);
                    if (!target) {
                        return target.error();
                    }
                    // One texel more for the filtering between texels.
                    reach = reach.united(
                        contentOf(source).grown(fragmentBounds.reach + 1.0f, (*target)->width, (*target)->height));
                }
            }
            reach = reach.grown(1.0f, out.width, out.height);
            if (!reach.isEverything()) {
                region = reach;
                written = reach;
            }
        } else if (quad && fullscreen && fragmentBounds.kind == ShaderBounds::Kind::over &&
                   step.inputs.count(fragmentBounds.base) != 0 && step.inputs.count(fragmentBounds.mask) != 0 &&
                   isTarget(step.inputs.at(fragmentBounds.base)) && isTarget(step.inputs.at(fragmentBounds.mask))) {
            const std::string& base = step.inputs.at(fragmentBounds.base);
            const std::string& mask = step.inputs.at(fragmentBounds.mask);
            auto baseTarget = targetFor(base, false);
            auto maskTarget = targetFor(mask, false);
            if (!baseTarget || !maskTarget) {
                return baseTarget ? maskTarget.error() : baseTarget.error();
            }
            const UnitRect reach = contentOf(mask)
                                       .grown(1.0f, (*maskTarget)->width, (*maskTarget)->height)
                                       .grown(1.0f, out.width, out.height);
            if ((*baseTarget)->width == out.width && (*baseTarget)->height == out.height && !reach.isEverything()) {
                if (reach.isEmpty() && base == step.output) {
                    profile.mark(passName.c_str());
                    continue;  // the output stays as it is
                }
                passedThrough = *baseTarget;
                region = reach;
                written = contentOf(base).united(reach);
            }
        }
        contents[step.output] = written;
        if (passedThrough != nullptr) {
            // A raw copy: the bytes as they are, not decoded and encoded again.
            gl.Disable(GL_FRAMEBUFFER_SRGB);
            gl.BindFramebuffer(GL_READ_FRAMEBUFFER, passedThrough->framebuffer.id());
            gl.BindFramebuffer(GL_DRAW_FRAMEBUFFER, out.framebuffer.id());
            gl.BlitFramebuffer(0, 0, out.width, out.height, 0, 0, out.width, out.height, GL_COLOR_BUFFER_BIT,
                               GL_NEAREST);
            gl.Enable(GL_FRAMEBUFFER_SRGB);
        }
        gl.BindFramebuffer(GL_FRAMEBUFFER, out.framebuffer.id());
        gl.Viewport(0, 0, out.width, out.height);
        gl.UseProgram(p.program.id());
        GLint unit = 0;
        for (const auto& [input, source] : step.inputs) {
            if (technique.isVertexSymbol(source)) {
                continue;
            }
            auto location = p.namedLocations.find(input);
            if (location == p.namedLocations.end()) {
                location = p.namedLocations.emplace(input, gl.GetUniformLocation(p.program.id(), input.c_str())).first;
            }
            if (isTarget(source)) {
                auto target = targetFor(source, false);
                if (!target) {
                    return target.error();
                }
                gl.ActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(unit));
                gl.BindTexture(GL_TEXTURE_2D, (*target)->color.id());
                gl.Uniform1i(location->second, unit++);
                continue;
            }
            const auto value = technique.valueForKeyPath(source);
            if (!value) {
                continue;
            }
            if (const auto* number = std::get_if<double>(&*value)) {
                gl.Uniform1f(location->second, static_cast<float>(*number));
            } else if (const auto* v3 = std::get_if<SCNVector3>(&*value)) {
                gl.Uniform3f(location->second, v3->x, v3->y, v3->z);
            } else if (const auto* v4 = std::get_if<SCNVector4>(&*value)) {
                gl.Uniform4f(location->second, v4->x, v4->y, v4->z, v4->w);
            } else if (const auto* m = std::get_if<glm::mat4>(&*value)) {
                gl.UniformMatrix4fv(location->second, 1, GL_FALSE, glm::value_ptr(*m));
            }
        }
        if (step.draw == SCNTechniquePass::Draw::scene) {
            gl.ClearColor(0.0f, 0.0f, 0.0f, 0.0f);
            gl.DepthMask(GL_TRUE);
            gl.Clear((step.clearColor ? GL_COLOR_BUFFER_BIT : 0u) | GL_DEPTH_BUFFER_BIT);
            gl.Enable(GL_DEPTH_TEST);
            gl.Disable(GL_CULL_FACE);
            gl.UniformMatrix4fv(uniform(gl, p, "uViewProjection"), 1, GL_FALSE, glm::value_ptr(pass.viewProjection));
            for (const DrawItem& item : items) {
                if ((item.category & step.includeCategoryMask) == 0 ||
                    (item.category & step.excludeCategoryMask) != 0) {
                    continue;
                }
                const glm::mat4 model = drawer.modelMatrix(item, pass);
                gl.UniformMatrix4fv(uniform(gl, p, "uModel"), 1, GL_FALSE, glm::value_ptr(model));
                if (auto failure = drawer.drawElement(item)) return failure;
            }
            gl.Disable(GL_DEPTH_TEST);
        } else if (!region) {
            if (step.clearColor) {
                gl.ClearColor(0.0f, 0.0f, 0.0f, 0.0f);
                gl.Clear(GL_COLOR_BUFFER_BIT);
            }
            drawer.drawQuad();
        } else {
            if (passedThrough == nullptr) {
                // Outside the region a "local" pass writes zeros.
                gl.ClearColor(0.0f, 0.0f, 0.0f, 0.0f);
                gl.Clear(GL_COLOR_BUFFER_BIT);
            }
            if (!region->isEmpty()) {
                const auto x0 = static_cast<GLint>(std::floor(region->lo.x * static_cast<float>(out.width)));
                const auto y0 = static_cast<GLint>(std::floor(region->lo.y * static_cast<float>(out.height)));
                const auto x1 = static_cast<GLint>(std::ceil(region->hi.x * static_cast<float>(out.width)));
                const auto y1 = static_cast<GLint>(std::ceil(region->hi.y * static_cast<float>(out.height)));
                gl.Enable(GL_SCISSOR_TEST);
                gl.Scissor(x0, y0, x1 - x0, y1 - y0);
                drawer.drawQuad();
                gl.Disable(GL_SCISSOR_TEST);
            }
        }
        if (readsOutput) {
            RenderTarget& scratch =
                step.output == "COLOR" ? context.colorScratch : context.techniqueScratch[step.output];
            RenderTarget& target = step.output == "COLOR" ? context.colorTarget : context.techniqueTargets[step.output];
            std::swap(scratch, target);
        }
        profile.mark(passName.c_str());
    }
    return std::nullopt;
}

}  // namespace

std::optional<Error> RenderContext::Impl::renderFrame(const FrameRequest& request, FrameResult& result) {
    if (!surface->makeCurrent()) {
        return makeRenderError(RenderErrorCode::contextCreationFailed, "the context cannot be made current");
    }
    const auto& gl = device.gl();
    PassProfile profile(gl);
    ++frames;
    if (frames % 300 == 0) {
        purge();
    }
    if (!floorQuad) {
        floorQuad = makeFloorQuad();
    }
    const int width = std::max(1, request.width);
    const int height = std::max(1, request.height);
    const int samples = std::clamp(request.samples, 1, std::max(1, maxSamples));
    const bool multisampled = samples > 1;
    if (multisampled) {
        if (auto failure = ensureTarget(sceneTarget, width, height, samples, kPictureFormat, true)) return failure;
    } else {
        sceneTarget = RenderTarget{};
    }
    if (auto failure = ensureTarget(colorTarget, width, height, 1, kPictureFormat, !multisampled)) return failure;
    // Shaders write linear light; the targets encode it (and blend in linear light).
    gl.Enable(GL_FRAMEBUFFER_SRGB);

    FrameDrawer drawer{*this, gl, result};
    static const SCNMaterial defaultMaterial;
    SceneWalk scene;
    scene.pointOfView = request.pointOfView;
    scene.defaultMaterial = &defaultMaterial;
    if (request.scene != nullptr) {
        request.scene->rootNode()->enumerateVisibleNodes(
            [&](const SCNNode& node, const glm::mat4& world, double opacity) {
                visit(node, world, static_cast<float>(opacity), scene, *this);
            },
            request.pointOfView);
    }

    const glm::mat4 view(request.projection->viewTransform());
    const glm::mat4 projection(request.projection->projectionTransform());
    const glm::mat4 cameraWorld = glm::inverse(view);
    PassState pass;
    pass.viewProjection = projection * view;
    pass.camera = glm::vec3(cameraWorld[3]);
    pass.lights = &scene.lights;
    pass.viewport = glm::vec2(static_cast<float>(width), static_cast<float>(height));
    pass.floorExtent = static_cast<float>(std::max(request.projection->zFar(), 1.0) * 2.0);
    if (request.defaultLighting && scene.lights.count == 0) {
        scene.lights.count = 1;
        scene.lights.vector[0] = glm::vec4(pass.camera, 1.0f);
        scene.lights.color[0] = glm::vec3(1.0f);
        scene.lights.spot[0] = glm::vec4(0.0f, 0.0f, 0.0f, -2.0f);
        scene.lights.shape[0] = glm::vec4(1.0f, 0.0f, 0.0f, 2.0f);
        scene.lights.mask[0] = ~std::uint64_t{0};
    }
    if (request.scene != nullptr) {
        const SCNMaterialProperty& environment = request.scene->lightingEnvironment();
        pass.environmentIntensity = static_cast<float>(environment.intensity());
        if (const auto color = environment.contentsColor()) {
            pass.environmentBits = kEnvColor;
            pass.environmentColor = glm::vec3(linearColor(*color)) * pass.environmentIntensity;
        } else if (const auto image = environment.contentsImage()) {
            pass.environment = this->environment(image);
            if (pass.environment != nullptr) {
                pass.environmentBits = kEnvMap;
            }
        }
    }
    // Depth of each item along the view direction, for sorting the transparent ones far to near.
    for (DrawItem& item : scene.items) {
        const SCNBoundingBox box = item.geometry->boundingBox();
        const glm::vec3 centre =
            (glm::vec3(box.min.x, box.min.y, box.min.z) + glm::vec3(box.max.x, box.max.y, box.max.z)) * 0.5f;
        item.depth = (view * item.world * glm::vec4(centre, 1.0f)).z;
    }
    std::stable_sort(scene.items.begin(), scene.items.end(), [](const DrawItem& a, const DrawItem& b) {
        return a.transparent && b.transparent ? a.depth < b.depth : false;
    });

    UIColor background = request.background;
    if (request.scene != nullptr) {
        if (const auto color = request.scene->background().contentsColor()) {
            background = *color;
        }
    }
    const glm::vec4 clear = linearColor(background);
    profile.mark("walk");

    // The mirror image under the first reflective floor.
    const auto floorIt = std::find_if(scene.items.begin(), scene.items.end(), [](const DrawItem& item) {
        return item.floor != nullptr && item.floor->reflectivity() > 0.0;
    });
    std::vector<DrawItem> reflected;
    if (floorIt != scene.items.end()) {
        reflected = itemsAbove(scene.items, *floorIt);
    }
    if (!reflected.empty()) {
        // The mirror image is soft anyway (it is blended in at a quarter or so): half resolution.
        const int reflectionWidth = std::max(1, width / 2);
        const int reflectionHeight = std::max(1, height / 2);
        if (auto failure = ensureTarget(reflectionTarget, reflectionWidth, reflectionHeight, 1, kPictureFormat, true))
            return failure;
        const glm::mat4 floorWorld = floorIt->world;
        const glm::mat4 mirror =
            floorWorld * glm::scale(glm::mat4(1.0f), glm::vec3(1.0f, -1.0f, 1.0f)) * glm::inverse(floorWorld);
        PassState mirrored = pass;
        mirrored.viewProjection = projection * view * mirror;
        mirrored.mirrored = true;
        const glm::vec3 normal = glm::normalize(glm::vec3(floorWorld[1]));
        mirrored.clipPlane = glm::vec4(normal, -glm::dot(normal, glm::vec3(floorWorld[3])));
        mirrored.falloff = glm::vec2(floorIt->floor->reflectionFalloffStart(), floorIt->floor->reflectionFalloffEnd());
        gl.BindFramebuffer(GL_FRAMEBUFFER, reflectionTarget.framebuffer.id());
        gl.Viewport(0, 0, reflectionWidth, reflectionHeight);
        gl.ClearColor(0.0f, 0.0f, 0.0f, 0.0f);
        gl.DepthMask(GL_TRUE);
        gl.Clear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        if (auto failure = drawer.drawScene(reflected, mirrored, true)) return failure;
        pass.reflectionReady = true;
        profile.mark("reflection");
    }

    gl.BindFramebuffer(GL_FRAMEBUFFER, (multisampled ? sceneTarget : colorTarget).framebuffer.id());
    gl.Viewport(0, 0, width, height);
    gl.ClearColor(clear.r, clear.g, clear.b, clear.a);
    gl.DepthMask(GL_TRUE);
    gl.Clear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    gl.DepthFunc(GL_LEQUAL);
    if (auto failure = drawer.drawScene(scene.items, pass, false)) return failure;

    profile.mark("scene");
    // Debug drawing goes into the scene picture, so that techniques see it like the rest.
    if (contains(request.debugOptions, SCNDebugOptions::showBoundingBoxes)) {
        std::vector<glm::vec3> lines;
        for (const DrawItem& item : scene.items) {
            if (item.element == 0 && item.geometry->hasBounds()) {
                const SCNBoundingBox box = item.geometry->boundingBox();
                boxEdges(box.min.simd(), box.max.simd(), item.world, lines);
            }
        }
        gl.Disable(GL_CULL_FACE);
        if (auto failure = drawer.drawLines(lines, GL_LINES, pass.viewProjection, glm::vec4(1.0f, 1.0f, 1.0f, 1.0f)))
            return failure;
    }
    std::vector<glm::vec3> markers;
    if (contains(request.debugOptions, SCNDebugOptions::showCameras)) {
        for (const auto& camera : scene.cameras) {
            boxEdges(glm::vec3(-0.05f), glm::vec3(0.05f), camera, markers);
        }
    }
    if (contains(request.debugOptions, SCNDebugOptions::showLightInfluences)) {
        for (const auto& light : scene.lightMarkers) {
            boxEdges(glm::vec3(-0.03f), glm::vec3(0.03f), light, markers);
        }
    }
    if (auto failure = drawer.drawLines(markers, GL_LINES, pass.viewProjection, glm::vec4(1.0f, 0.8f, 0.0f, 1.0f)))
        return failure;

    // Resolve the samples into "COLOR" (averaged in linear light).
    if (multisampled) {
        gl.BindFramebuffer(GL_READ_FRAMEBUFFER, sceneTarget.framebuffer.id());
        gl.BindFramebuffer(GL_DRAW_FRAMEBUFFER, colorTarget.framebuffer.id());
        gl.BlitFramebuffer(0, 0, width, height, 0, 0, width, height, GL_COLOR_BUFFER_BIT, GL_NEAREST);
        profile.mark("resolve");
    }

    gl.Disable(GL_DEPTH_TEST);
    gl.Disable(GL_CULL_FACE);
    gl.Disable(GL_BLEND);
    if (request.technique != nullptr) {
        if (auto failure = runTechnique(*this, drawer, *request.technique, scene.items, pass, width, height, profile))
            return failure;
    }

    // "COLOR" is the finished picture. What follows works on its stored bytes: overlays blend over
    // them as they are shown, and copies take them as they are.
    gl.Disable(GL_FRAMEBUFFER_SRGB);
    gl.BindFramebuffer(GL_FRAMEBUFFER, colorTarget.framebuffer.id());
    gl.Viewport(0, 0, width, height);
    if (request.showsStatistics) {
        std::vector<glm::vec3> quads = statisticsOverlay(request.previous, width, height);
        gl.Enable(GL_BLEND);
        gl.BlendFuncSeparate(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
        const std::size_t panel = 6;  // the first two triangles are the panel behind the text
        std::vector<glm::vec3> panelQuad(quads.begin(),
                                         quads.begin() + static_cast<std::ptrdiff_t>(std::min(panel, quads.size())));
        std::vector<glm::vec3> text(quads.begin() + static_cast<std::ptrdiff_t>(std::min(panel, quads.size())),
                                    quads.end());
        if (auto failure =
                drawer.drawLines(panelQuad, GL_TRIANGLES, glm::mat4(1.0f), glm::vec4(0.0f, 0.0f, 0.0f, 0.6f)))
            return failure;
        if (auto failure = drawer.drawLines(text, GL_TRIANGLES, glm::mat4(1.0f), glm::vec4(1.0f))) return failure;
        gl.Disable(GL_BLEND);
    }

    if (request.toWindow) {
        const CGSize drawable = surface->drawableSize();
        gl.BindFramebuffer(GL_READ_FRAMEBUFFER, colorTarget.framebuffer.id());
        gl.BindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
        gl.BlitFramebuffer(0, 0, width, height, 0, 0, static_cast<GLint>(drawable.width),
                           static_cast<GLint>(drawable.height), GL_COLOR_BUFFER_BIT, GL_LINEAR);
        surface->present();
    }
    gl.BindVertexArray(0);
    gl.BindFramebuffer(GL_FRAMEBUFFER, 0);
    if (const GLenum error = gl.GetError(); error != GL_NO_ERROR) {
        VLOG_WARNING("GL error 0x" + std::to_string(error) + " in a frame");
    }
    return std::nullopt;
}

std::shared_ptr<UIImage> RenderContext::Impl::readBack(int width, int height) {
    const auto& gl = device.gl();
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4);
    gl.BindFramebuffer(GL_READ_FRAMEBUFFER, colorTarget.framebuffer.id());
    gl.PixelStorei(GL_PACK_ALIGNMENT, 1);
    gl.ReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    gl.BindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    // GL rows run bottom-up; images run top-down.
    const std::size_t row = static_cast<std::size_t>(width) * 4;
    std::vector<std::uint8_t> flipped(pixels.size());
    for (int y = 0; y < height; ++y) {
        std::memcpy(flipped.data() + static_cast<std::size_t>(y) * row,
                    pixels.data() + static_cast<std::size_t>(height - 1 - y) * row, row);
    }
    return std::make_shared<UIImage>(width, height, std::move(flipped));
}

}  // namespace vantrel
