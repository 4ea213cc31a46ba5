#include "render/FramePlan.hpp"

#include <algorithm>
#include <cmath>

#include <glm/geometric.hpp>
#include <glm/matrix.hpp>
#include <glm/trigonometric.hpp>

#include "vantrel/graph/SCNFloor.hpp"
#include "vantrel/graph/SCNLight.hpp"
#include "vantrel/graph/SCNMaterial.hpp"
#include "vantrel/graph/SCNNode.hpp"
#include "vantrel/graph/SCNScene.hpp"

namespace vantrel::detail {

LightList LightList::reaching(std::uint64_t category) const {
    LightList out;
    for (int i = 0; i < count; ++i) {
        if ((mask[i] & category) != 0) {
            out.append(*this, i);
        }
    }
    out.ambient = (ambientMask & category) != 0 ? ambient : glm::vec3(0.0f);
    return out;
}

LightList LightList::foldingDirectional(const glm::vec3& normal) const {
    LightList out;
    out.ambient = ambient;
    out.ambientMask = ambientMask;
    for (int i = 0; i < count; ++i) {
        if (vector[i].w == 0.0f && (source[i] == nullptr || !source[i]->castsShadow())) {
            const glm::vec3 toLight(vector[i]);
            const glm::vec3 l = toLight / std::max(glm::length(toLight), 1e-6f);
            out.ambient += color[i] * std::max(glm::dot(normal, l), 0.0f);
            continue;
        }
        out.append(*this, i);
    }
    return out;
}

void LightList::append(const LightList& from, int i) {
    const int j = count++;
    vector[j] = from.vector[i];
    color[j] = from.color[i];
    spot[j] = from.spot[i];
    shape[j] = from.shape[i];
    mask[j] = from.mask[i];
    source[j] = from.source[i];
}

namespace {

// Whether the diffuse colour or image lets the background through.
bool diffuseHasAlpha(const SCNMaterial& material, RenderContext::Impl& context) {
    const auto diffuse = material.diffuse().contents();
    if (const auto* color = std::get_if<UIColor>(&diffuse); color != nullptr && color->alpha() < 0.999) {
        return true;
    }
    if (const auto* image = std::get_if<std::shared_ptr<UIImage>>(&diffuse); image != nullptr && *image) {
        if (material.diffuse().tintColor().alpha() < 0.999) {
            return true;
        }
        const GpuTexture* texture = context.texture(*image, true);
        return texture != nullptr && texture->hasAlpha;
    }
    return false;
}

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
    if (diffuseHasAlpha(material, context)) {
        return true;
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

void addLight(const SCNLight& light, const glm::mat4& world, LightList& lights) {
    const glm::vec3 color = glm::vec3(linearColor(light.color())) * static_cast<float>(light.intensity() / 1000.0);
    if (light.type() == SCNLightType::ambient) {
        lights.ambient += color;
        lights.ambientMask = light.categoryBitMask();
        return;
    }
    if (lights.count >= kMaxLights) {
        return;
    }
    const int i = lights.count++;
    lights.color[i] = color;
    lights.mask[i] = light.categoryBitMask();
    lights.source[i] = &light;
    lights.spot[i] = glm::vec4(0.0f, 0.0f, 0.0f, -2.0f);
    lights.shape[i] = glm::vec4(1.0f, std::max(light.attenuationStartDistance(), 0.0),
                                std::max(light.attenuationEndDistance(), 0.0), light.attenuationFalloffExponent());
    if (light.attenuatesWithInverseSquare()) {
        lights.shape[i].y = -1.0f;
    }
    if (light.type() == SCNLightType::directional) {
        lights.vector[i] = glm::vec4(glm::normalize(glm::vec3(world[2])), 0.0f);
        return;
    }
    lights.vector[i] = glm::vec4(glm::vec3(world[3]), 1.0f);
    if (light.type() == SCNLightType::spot) {
        const float outer = std::cos(glm::radians(static_cast<float>(light.spotOuterAngle()) * 0.5f));
        const float inner = std::cos(glm::radians(static_cast<float>(light.spotInnerAngle()) * 0.5f));
        lights.spot[i] = glm::vec4(-glm::normalize(glm::vec3(world[2])), outer);
        lights.shape[i].x = inner;
    }
}

// The draw items of a node's geometry, one per element (an endless floor is one quad).
void addItems(const SCNNode& node, const glm::mat4& world, float opacity, const SCNMaterial& fallback,
              FeatureBits environmentBits, RenderContext::Impl& context, std::vector<DrawItem>& items) {
    const auto& geometry = node.geometry();
    const auto* floor = dynamic_cast<const SCNFloor*>(geometry.get());
    const std::size_t elements = floor != nullptr && floor->isEndless() ? 1 : geometry->elements().size();
    for (std::size_t e = 0; e < elements; ++e) {
        const auto material = geometry->materialForElement(e);
        DrawItem item;
        item.material = material ? material.get() : &fallback;
        item.geometry = geometry.get();
        item.key = materialKey(*item.material, environmentBits, context);
        item.element = e;
        item.world = world;
        item.opacity = opacity;
        item.category = node.categoryBitMask();
        item.floor = floor;
        item.castsShadow = node.castsShadow();
        // A shadow catcher blends its shadow over what lies behind it (and is left out of frames
        // without a shadow map).
        item.transparent = item.material->lightingModel() == SCNLightingModel::shadowOnly ||
                           materialIsTransparent(*item.material, opacity, context);
        item.transmissive = (item.key.features & kTransmission) != 0;
        items.push_back(item);
    }
}

// The scene's lighting environment: a colour or a prepared image.
FeatureBits readEnvironment(const SCNScene& scene, RenderContext::Impl& context, PassState& pass) {
    const SCNMaterialProperty& environment = scene.lightingEnvironment();
    pass.environmentIntensity = static_cast<float>(environment.intensity());
    if (const auto color = environment.contentsColor()) {
        pass.environmentColor = glm::vec3(linearColor(*color)) * pass.environmentIntensity;
        return kEnvColor;
    }
    if (const auto image = environment.contentsImage()) {
        pass.environment = context.environment(image);
        return pass.environment != nullptr ? kEnvMap : 0u;
    }
    return 0;
}

// One light at the point of view, for scenes without lights of their own (besides any that give no
// light).
void addDefaultLight(const glm::vec3& camera, LightList& lights) {
    if (lights.count >= kMaxLights) {
        return;
    }
    const int i = lights.count++;
    lights.vector[i] = glm::vec4(camera, 1.0f);
    lights.color[i] = glm::vec3(1.0f);
    lights.spot[i] = glm::vec4(0.0f, 0.0f, 0.0f, -2.0f);
    lights.shape[i] = glm::vec4(1.0f, 0.0f, 0.0f, 2.0f);
    lights.mask[i] = ~std::uint64_t{0};
    lights.source[i] = nullptr;
}

// Opaque items keep the graph's order (it decides ties of depth); transparent and transmissive ones
// go after them, from far to near.
void orderItems(const glm::mat4& view, std::vector<DrawItem>& items) {
    for (DrawItem& item : items) {
        const SCNBoundingBox box = item.geometry->boundingBox();
        const glm::vec3 centre =
            (glm::vec3(box.min.x, box.min.y, box.min.z) + glm::vec3(box.max.x, box.max.y, box.max.z)) * 0.5f;
        item.depth = (view * item.world * glm::vec4(centre, 1.0f)).z;
    }
    const auto firstTransparent =
        std::stable_partition(items.begin(), items.end(),
                              [](const DrawItem& item) { return !item.transparent && !item.transmissive; });
    std::stable_sort(firstTransparent, items.end(),
                     [](const DrawItem& a, const DrawItem& b) { return a.depth < b.depth; });
}

}  // namespace

void planFrame(const FrameRequest& request, RenderContext::Impl& context, FramePlan& plan) {
    static const SCNMaterial defaultMaterial;
    plan.view = glm::mat4(request.projection->viewTransform());
    plan.projection = glm::mat4(request.projection->projectionTransform());
    PassState& pass = plan.pass;
    pass.viewProjection = plan.projection * plan.view;
    pass.camera = glm::vec3(glm::inverse(plan.view)[3]);
    pass.toneMappingBits = static_cast<FeatureBits>(request.toneMapping) << kToneMappingShift;
    pass.exposure = std::exp2(request.exposure);
    pass.lights = &plan.lights;
    pass.viewport =
        glm::vec2(static_cast<float>(std::max(1, request.width)), static_cast<float>(std::max(1, request.height)));
    pass.floorExtent = static_cast<float>(std::max(request.projection->zFar(), 1.0) * 2.0);
    UIColor background = request.background;
    if (request.scene != nullptr) {
        const FeatureBits environmentBits = readEnvironment(*request.scene, context, pass);
        request.scene->rootNode()->enumerateVisibleNodes(
            [&](const SCNNode& node, const glm::mat4& world, double presented) {
                const auto opacity = static_cast<float>(presented);
                if (const auto& light = node.light()) {
                    addLight(*light, world, plan.lights);
                    plan.lightMarkers.push_back(world);
                }
                if (node.camera()) {
                    plan.cameras.push_back(world);
                }
                if (node.geometry() && opacity > 0.0f) {
                    addItems(node, world, opacity, defaultMaterial, environmentBits, context, plan.items);
                }
            },
            request.pointOfView);
        if (const auto color = request.scene->background().contentsColor()) {
            background = *color;
        }
    }
    // A light that gives none (one that is there only to cast shadows onto shadow catchers) does not
    // count as the scene's own light.
    const bool lit = std::any_of(plan.lights.color, plan.lights.color + plan.lights.count,
                                 [](const glm::vec3& color) { return color != glm::vec3(0.0f); });
    if (request.defaultLighting && !lit) {
        addDefaultLight(pass.camera, plan.lights);
    }
    orderItems(plan.view, plan.items);
    plan.clearColor = linearColor(background);
}

}  // namespace vantrel::detail
