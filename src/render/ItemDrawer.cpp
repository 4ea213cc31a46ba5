#include "render/ItemDrawer.hpp"

#include <algorithm>
#include <cmath>

#include <glm/geometric.hpp>
#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/type_ptr.hpp>
#include <glm/matrix.hpp>

#include "render/ShadowPlan.hpp"
#include "vantrel/graph/SCNFloor.hpp"
#include "vantrel/graph/SCNMaterial.hpp"

namespace vantrel::detail {
namespace {

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

// The bits of the lights and of the pass added to the material's key.
FeatureBits drawFeatures(const DrawItem& item, const LightList& lights, const PassState& pass, bool reflects,
                         bool reflectionPass) {
    FeatureBits features = item.key.features;
    if (reflectionPass || !pass.transmissionReady) {
        features &= ~(kTransmission | kVolume);  // no picture of what lies behind: drawn as a plain surface
    }
    features |= reflectionPass ? 0u : pass.toneMappingBits;  // the mirror image is mapped with the floor
    features |= reflects ? kFloorReflection : 0u;
    features |= reflectionPass ? kClipPlane : 0u;
    features |= shadowFeatures(item, pass, reflectionPass);
    features |= static_cast<FeatureBits>(lights.count) << kLightCountShift;
    for (int i = 0; i < lights.count; ++i) {
        features |= lights.spot[i].w > -1.5f ? kLightSpots : 0u;
        const bool falls = lights.shape[i].y < 0.0f || lights.shape[i].z > lights.shape[i].y;  // y < 0: inverse square
        features |= lights.vector[i].w > 0.5f && falls ? kLightAttenuation : 0u;
    }
    return features;
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

// An empty property's stand-in, a colour (decoded when the slot is sRGB and the colour is not marked
// linear) or a number, times the property's intensity.
glm::vec4 slotValue(const PropertySlot& slot, const SCNMaterialProperty& property) {
    glm::vec4 value = slot.empty;
    if (const auto color = property.contentsColor()) {
        value = slot.srgb ? linearColor(*color, property)
                          : glm::vec4(color->red(), color->green(), color->blue(), color->alpha());
    } else if (const auto number = property.contentsNumber()) {
        value = glm::vec4(glm::vec3(static_cast<float>(*number)), 1.0f);
    }
    if (!property.isEmpty()) {
        value = glm::vec4(glm::vec3(value) * static_cast<float>(property.intensity()), value.a);
    }
    return value;
}

// A layer's property drawn by its factor alone: its colour (linear) or number times its intensity;
// an image stands for its tint (colours) or its intensity (numbers), the factor it came with.
glm::vec3 layerFactor(const SCNMaterialProperty& property) {
    const auto strength = static_cast<float>(property.intensity());
    if (const auto color = property.contentsColor()) {
        return glm::vec3(linearColor(*color, property)) * strength;
    }
    if (const auto number = property.contentsNumber()) {
        return glm::vec3(static_cast<float>(*number) * strength);
    }
    if (property.contentsImage()) {
        return glm::vec3(linearColor(property.tintColor(), property)) * strength;
    }
    return glm::vec3(0.0f);
}

}  // namespace

glm::mat4 ItemDrawer::modelMatrix(const DrawItem& item, const PassState& pass) const {
    if (item.floor == nullptr || !item.floor->isEndless()) {
        return item.world;
    }
    glm::mat4 inverse = glm::inverse(item.world);
    glm::vec3 local = glm::vec3(inverse * glm::vec4(pass.camera, 1.0f));
    return item.world * glm::translate(glm::mat4(1.0f), glm::vec3(std::round(local.x), 0.0f, std::round(local.z))) *
           glm::scale(glm::mat4(1.0f), glm::vec3(pass.floorExtent, 1.0f, pass.floorExtent));
}

const SCNGeometry& ItemDrawer::drawnGeometry(const DrawItem& item) const {
    return item.floor != nullptr && item.floor->isEndless() ? *context.floorQuad : *item.geometry;
}

std::optional<Error> ItemDrawer::drawItem(const DrawItem& item, const PassState& pass, bool reflectionPass) {
    const bool reflects = item.floor != nullptr && pass.reflectionReady && !reflectionPass;
    const glm::mat4 model = modelMatrix(item, pass);
    const LightList lights = lightsFor(item, model, pass);
    const FeatureBits features = drawFeatures(item, lights, pass, reflects, reflectionPass);
    auto program = context.sceneProgram(features);
    if (!program) {
        return program.error();
    }
    GpuProgram& p = **program;
    gl.UseProgram(p.program.id());
    setTransform(p, model, pass);
    setSurface(p, item);
    setLights(p, lights);
    setSlots(p, item);
    if (item.material->lightingModel() == SCNLightingModel::physicallyBased) {
        setLayers(p, item, features);
    }
    if (item.key.features & (kEnvColor | kEnvMap)) {
        setEnvironment(p, pass);
    }
    if (!reflectionPass) {
        gl.Uniform1f(uniform(gl, p, "uExposure"), pass.exposure);
    }
    if (reflects) {
        setReflection(p, item, pass);
    }
    if (reflectionPass) {
        setClipPlane(p, pass);
    }
    if (shadowFeatures(item, pass, reflectionPass) & kShadowMap) setShadow(gl, p, lights, pass);
    applyFixedFunction(item, pass);
    return drawElement(item);
}

// The lights reaching an item. A floor is flat: a directional light falls on all of it alike, so it
// is added to the ambient light once here instead of in every fragment. Seen from its back, its
// normal is not the one that shades it, so it keeps its lights.
LightList ItemDrawer::lightsFor(const DrawItem& item, const glm::mat4& model, const PassState& pass) const {
    LightList lights = pass.lights->reaching(item.category);
    if (item.floor != nullptr && item.key.maps[kNormalSlot] == nullptr &&
        diffuseOnly(*item.material, item.key.features)) {
        const glm::vec3 up = glm::normalize(glm::transpose(glm::inverse(glm::mat3(model))) * glm::vec3(0, 1, 0));
        if (glm::dot(up, pass.camera - glm::vec3(model[3])) > 0.0f) {
            lights = lights.foldingDirectional(up);
        }
    }
    return lights;
}

void ItemDrawer::setTransform(GpuProgram& p, const glm::mat4& model, const PassState& pass) {
    const glm::mat3 normalMatrix = glm::transpose(glm::inverse(glm::mat3(model)));
    gl.UniformMatrix4fv(uniform(gl, p, "uModel"), 1, GL_FALSE, glm::value_ptr(model));
    gl.UniformMatrix3fv(uniform(gl, p, "uNormalMatrix"), 1, GL_FALSE, glm::value_ptr(normalMatrix));
    gl.UniformMatrix4fv(uniform(gl, p, "uViewProjection"), 1, GL_FALSE, glm::value_ptr(pass.viewProjection));
    gl.Uniform3fv(uniform(gl, p, "uCameraPosition"), 1, glm::value_ptr(pass.camera));
}

void ItemDrawer::setSurface(GpuProgram& p, const DrawItem& item) {
    const SCNMaterial& material = *item.material;
    gl.Uniform1f(uniform(gl, p, "uOpacity"), item.opacity * static_cast<float>(material.transparency()));
    gl.Uniform1f(uniform(gl, p, "uShininess"), static_cast<float>(material.shininess()));
    gl.Uniform1i(uniform(gl, p, "uTwoSided"), material.isDoubleSided() ? 1 : 0);
    gl.Uniform1i(uniform(gl, p, "uTransparencyMode"),
                 material.transparencyMode() == SCNTransparencyMode::rgbZero ? 1 : 0);
    gl.Uniform1i(uniform(gl, p, "uAlphaMode"), static_cast<int>(material.alphaMode()));
    gl.Uniform1f(uniform(gl, p, "uAlphaCutoff"), static_cast<float>(material.alphaCutoff()));
}

void ItemDrawer::setLights(GpuProgram& p, const LightList& lights) {
    if (lights.count > 0) {
        gl.Uniform4fv(uniform(gl, p, "uLightVector"), lights.count, glm::value_ptr(lights.vector[0]));
        gl.Uniform3fv(uniform(gl, p, "uLightColor"), lights.count, glm::value_ptr(lights.color[0]));
        gl.Uniform4fv(uniform(gl, p, "uLightSpot"), lights.count, glm::value_ptr(lights.spot[0]));
        gl.Uniform4fv(uniform(gl, p, "uLightShape"), lights.count, glm::value_ptr(lights.shape[0]));
    }
    gl.Uniform3fv(uniform(gl, p, "uAmbientLight"), 1, glm::value_ptr(lights.ambient));
}

void ItemDrawer::setSlots(GpuProgram& p, const DrawItem& item) {
    // The layers' slots are read by physically based programs only.
    const bool layers = item.material->lightingModel() == SCNLightingModel::physicallyBased;
    for (std::size_t i = 0; i < (layers ? kSlotCount : kClassicSlotCount); ++i) {
        const SCNMaterialProperty& property = (item.material->*kSlots[i].get)();
        if (item.key.maps[i] != nullptr) {
            bindMap(p, i, property, *item.key.maps[i]);
            continue;
        }
        const glm::vec4 value = slotValue(kSlots[i], property);
        gl.Uniform4fv(uniform(gl, p, kSlots[i].color), 1, glm::value_ptr(value));
    }
}

void ItemDrawer::bindMap(GpuProgram& p, std::size_t slot, const SCNMaterialProperty& property, const GpuTexture& map) {
    gl.ActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(slot));
    gl.BindTexture(GL_TEXTURE_2D, map.texture.id());
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrapMode(property.wrapS()));
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrapMode(property.wrapT()));
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER,
                     minFilter(property.minificationFilter(), property.mipFilter()));
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER,
                     property.magnificationFilter() == SCNFilterMode::nearest ? GL_NEAREST : GL_LINEAR);
    if (context.maxAnisotropy > 1.0f) {
        gl.TexParameterf(GL_TEXTURE_2D, 0x84FE /* GL_TEXTURE_MAX_ANISOTROPY */,
                         std::clamp(static_cast<float>(property.maxAnisotropy()), 1.0f, context.maxAnisotropy));
    }
    const PropertySlot& names = kSlots[slot];
    gl.Uniform1i(uniform(gl, p, names.map), static_cast<GLint>(slot));
    gl.UniformMatrix4fv(uniform(gl, p, names.transform), 1, GL_FALSE, glm::value_ptr(property.contentsTransform()));
    gl.Uniform1i(uniform(gl, p, names.channel), property.mappingChannel() == 1 ? 1 : 0);
    gl.Uniform1f(uniform(gl, p, names.intensity), static_cast<float>(property.intensity()));
    const glm::vec4 tint = linearColor(property.tintColor(), property);
    gl.Uniform4fv(uniform(gl, p, names.tint), 1, glm::value_ptr(tint));
}

// Specular strength and index of refraction, and the layers' factors and the picture of what lies
// behind for those the program draws.
void ItemDrawer::setLayers(GpuProgram& p, const DrawItem& item, FeatureBits features) {
    const SCNMaterial& material = *item.material;
    // A non-metal reflects ((n − 1) / (n + 1))² of the light head-on, tinted by the specular colour,
    // and all of it at grazing angles, both scaled by the specular strength.
    const auto ior = static_cast<float>(material.indexOfRefraction());
    const float reflectance = std::pow((ior - 1.0f) / (ior + 1.0f), 2.0f);
    const float strength = std::clamp(layerFactor(material.dielectricSpecular()).x, 0.0f, 1.0f);
    const glm::vec3 f0 =
        glm::min(glm::vec3(reflectance) * layerFactor(material.dielectricSpecularColor()), glm::vec3(1.0f)) * strength;
    gl.Uniform3fv(uniform(gl, p, "uSpecularF0"), 1, glm::value_ptr(f0));
    gl.Uniform1f(uniform(gl, p, "uSpecularF90"), strength);
    if (features & kSheen) {
        const glm::vec3 sheen = layerFactor(material.sheen());
        gl.Uniform3fv(uniform(gl, p, "uSheenColor"), 1, glm::value_ptr(sheen));
        gl.Uniform1f(uniform(gl, p, "uSheenRoughness"), layerFactor(material.sheenRoughness()).x);
    }
    if (features & kClearcoat) {
        gl.Uniform1f(uniform(gl, p, "uClearcoatRoughness"), layerFactor(material.clearCoatRoughness()).x);
    }
    if (features & kTransmission) {
        gl.ActiveTexture(GL_TEXTURE0 + kTransmissionUnit);
        gl.BindTexture(GL_TEXTURE_2D, context.transmissionTarget.color.id());
        gl.Uniform1i(uniform(gl, p, "uTransmissionPicture"), kTransmissionUnit);
        gl.Uniform2f(uniform(gl, p, "uTransmissionSize"), static_cast<float>(context.transmissionTarget.width),
                     static_cast<float>(context.transmissionTarget.height));
        gl.Uniform1f(uniform(gl, p, "uIor"), std::max(ior, 1.0f));
    }
    if (features & kVolume) {
        const UIColor& color = material.attenuationColor();  // linear light
        const glm::vec3 attenuation(static_cast<float>(color.red()), static_cast<float>(color.green()),
                                    static_cast<float>(color.blue()));
        const double distance = material.attenuationDistance();
        gl.Uniform3fv(uniform(gl, p, "uAttenuationColor"), 1, glm::value_ptr(attenuation));
        // 0 for an infinite distance: light is not absorbed.
        gl.Uniform1f(uniform(gl, p, "uAttenuationDistance"),
                     std::isfinite(distance) ? static_cast<float>(distance) : 0.0f);
    }
}

void ItemDrawer::setEnvironment(GpuProgram& p, const PassState& pass) {
    gl.Uniform3fv(uniform(gl, p, "uEnvColor"), 1, glm::value_ptr(pass.environmentColor));
    gl.Uniform1f(uniform(gl, p, "uEnvIntensity"), pass.environmentIntensity);
    gl.ActiveTexture(GL_TEXTURE0 + kBrdfLutUnit);
    gl.BindTexture(GL_TEXTURE_2D, context.environmentBrdfLut());
    gl.Uniform1i(uniform(gl, p, "uBrdfLut"), kBrdfLutUnit);
    if (pass.environment == nullptr) {
        return;
    }
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

void ItemDrawer::setReflection(GpuProgram& p, const DrawItem& item, const PassState& pass) {
    gl.ActiveTexture(GL_TEXTURE0 + kReflectionUnit);
    gl.BindTexture(GL_TEXTURE_2D, context.reflectionTarget.color.id());
    gl.Uniform1i(uniform(gl, p, "uReflection"), kReflectionUnit);
    gl.Uniform1f(uniform(gl, p, "uReflectivity"), static_cast<float>(item.floor->reflectivity()));
    gl.Uniform2f(uniform(gl, p, "uViewportSize"), pass.viewport.x, pass.viewport.y);
}

void ItemDrawer::setClipPlane(GpuProgram& p, const PassState& pass) {
    gl.Uniform4fv(uniform(gl, p, "uClipPlane"), 1, glm::value_ptr(pass.clipPlane));
    gl.Uniform2f(uniform(gl, p, "uFalloff"), pass.falloff.x, pass.falloff.y);
}

void ItemDrawer::applyFixedFunction(const DrawItem& item, const PassState& pass) {
    const SCNMaterial& material = *item.material;
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
}

std::optional<Error> ItemDrawer::drawElement(const DrawItem& item) {
    GpuMesh& mesh = context.mesh(drawnGeometry(item));
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

void ItemDrawer::drawQuad() {
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

std::optional<Error> ItemDrawer::drawFlat(const std::vector<glm::vec3>& points, GLenum mode,
                                          const glm::mat4& viewProjection, const glm::vec4& color) {
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

}  // namespace vantrel::detail
