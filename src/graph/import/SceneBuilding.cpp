// Phase two of a scene source, on the main thread: nodes, materials, cameras and lights from what
// phase one read.

#include "graph/import/ImportedScene.hpp"

#include "vantrel/graph/SCNCamera.hpp"
#include "vantrel/graph/SCNLight.hpp"
#include "vantrel/graph/SCNMaterial.hpp"
#include "vantrel/graph/SCNNode.hpp"
#include "vantrel/graph/SCNScene.hpp"

namespace vantrel {

namespace {

void setTexture(SCNMaterialProperty& property, const detail::ImportedTexture& texture,
                SCNColorSpace colorSpace = SCNColorSpace::linear) {
    property.setContents(texture.image);
    property.setColorSpace(colorSpace);
    property.setMappingChannel(texture.channel);
    property.setWrapS(texture.wrapS);
    property.setWrapT(texture.wrapT);
    property.setMinificationFilter(texture.minificationFilter);
    property.setMagnificationFilter(texture.magnificationFilter);
    property.setMipFilter(texture.mipFilter);
    if (texture.transform != glm::mat4(1.0f)) property.setContentsTransform(texture.transform);
}

bool isWhite(const UIColor& c) { return c.red() >= 1.0 && c.green() >= 1.0 && c.blue() >= 1.0 && c.alpha() >= 1.0; }

/// A colour for `property`, marked linear when the file's colours are linear light.
void setColor(SCNMaterialProperty& property, const UIColor& color, bool linear) {
    property.setContents(color);
    if (linear) property.setColorContentsSpace(SCNColorSpace::linear);
}

/// A number layer: its texture with the factor as intensity, or the factor alone.
void setLayer(SCNMaterialProperty& property, const detail::ImportedLayer<double>& layer) {
    if (layer.texture) {
        setTexture(property, *layer.texture);
        property.setIntensity(layer.factor);
    } else {
        property.setContents(layer.factor);
    }
}

/// A colour layer: its texture tinted by the factor, or the factor alone.
void setLayer(SCNMaterialProperty& property, const detail::ImportedLayer<UIColor>& layer, bool linear) {
    if (layer.texture) {
        setTexture(property, *layer.texture, SCNColorSpace::sRGB);
        property.setTintColor(layer.factor);
        if (linear) property.setColorContentsSpace(SCNColorSpace::linear);
    } else {
        setColor(property, layer.factor, linear);
    }
}

/// The layers of glTF's material extensions (all absent for other formats).
void setExtendedLayers(SCNMaterial& material, const detail::ImportedMaterial& m) {
    if (m.clearcoat) {
        setLayer(material.clearCoat(), *m.clearcoat);
        setLayer(material.clearCoatRoughness(), m.clearcoatRoughness);
        if (m.clearcoatNormalTexture) setTexture(material.clearCoatNormal(), *m.clearcoatNormalTexture);
    }
    if (m.sheenColor) {
        setLayer(material.sheen(), *m.sheenColor, m.linearColors);
        setLayer(material.sheenRoughness(), m.sheenRoughness);
    }
    if (m.transmission) setLayer(material.transmission(), *m.transmission);
    if (m.thickness) setLayer(material.thickness(), *m.thickness);
    if (m.attenuationDistance > 0) material.setAttenuationDistance(m.attenuationDistance);
    material.setAttenuationColor(m.attenuationColor);
    material.setIndexOfRefraction(m.ior);
    if (m.specularFactor) setLayer(material.dielectricSpecular(), *m.specularFactor);
    if (m.specularColor) setLayer(material.dielectricSpecularColor(), *m.specularColor, m.linearColors);
}

std::shared_ptr<SCNMaterial> makeMaterial(const detail::ImportedMaterial& m) {
    auto material = SCNMaterial::make();
    material->setName(m.name);
    material->setLightingModel(m.unlit             ? SCNLightingModel::constant
                               : m.physicallyBased ? SCNLightingModel::physicallyBased
                                                   : SCNLightingModel::blinn);
    if (m.diffuseTexture) {
        setTexture(material->diffuse(), *m.diffuseTexture, SCNColorSpace::sRGB);
        // The factor tints the texture (its alpha the texture's alpha): the base colour only, not
        // what the surface reflects or emits.
        if (!isWhite(m.diffuse)) {
            material->diffuse().setTintColor(m.diffuse);
            if (m.linearColors) material->diffuse().setColorContentsSpace(SCNColorSpace::linear);
        }
    } else {
        setColor(material->diffuse(), m.diffuse, m.linearColors);
    }
    if (m.physicallyBased) {
        if (m.metallicRoughnessTexture) {
            setTexture(material->metalness(), *m.metallicRoughnessTexture);
            setTexture(material->roughness(), *m.metallicRoughnessTexture);
            material->metalness().setIntensity(m.metalness);
            material->roughness().setIntensity(m.roughness);
        } else {
            material->metalness().setContents(m.metalness);
            material->roughness().setContents(m.roughness);
        }
    } else {
        material->specular().setContents(m.specular);
        if (m.shininess > 0) material->setShininess(m.shininess);
    }
    if (m.normalTexture) {
        setTexture(material->normal(), *m.normalTexture);
        if (m.normalScale != 1.0) material->normal().setIntensity(m.normalScale);
    }
    if (m.occlusionTexture) setTexture(material->ambientOcclusion(), *m.occlusionTexture);
    if (m.emissionTexture) {
        setTexture(material->emission(), *m.emissionTexture, SCNColorSpace::sRGB);
        if (!isWhite(m.emission)) {
            material->emission().setTintColor(m.emission);
            if (m.linearColors) material->emission().setColorContentsSpace(SCNColorSpace::linear);
        }
    } else {
        setColor(material->emission(), m.emission, m.linearColors);
    }
    if (m.emissiveStrength != 1.0) material->emission().setIntensity(m.emissiveStrength);
    setExtendedLayers(*material, m);
    switch (m.alphaMode) {
        case detail::ImportedAlphaMode::opaque: material->setAlphaMode(SCNAlphaMode::opaque); break;
        case detail::ImportedAlphaMode::mask:
            material->setAlphaMode(SCNAlphaMode::mask);
            material->setAlphaCutoff(m.alphaCutoff);
            break;
        case detail::ImportedAlphaMode::blend:
            material->setAlphaMode(SCNAlphaMode::blend);
            material->setTransparency(m.opacity);
            break;
    }
    material->setTransparencyMode(SCNTransparencyMode::aOne);
    material->setDoubleSided(m.doubleSided);
    return material;
}

std::shared_ptr<SCNCamera> makeCamera(const detail::ImportedCamera& c) {
    auto camera = SCNCamera::make();
    camera->setName(c.name);
    camera->setFieldOfView(c.fieldOfViewDegrees);
    camera->setZNear(c.zNear);
    camera->setZFar(c.zFar);
    camera->setUsesOrthographicProjection(c.orthographic);
    if (c.orthographic) camera->setOrthographicScale(c.orthographicScale);
    return camera;
}

std::shared_ptr<SCNLight> makeLight(const detail::ImportedLight& l) {
    auto light = SCNLight::make(l.type);
    light->setName(l.name);
    light->setColor(l.color);
    light->setIntensity(l.intensity);
    // Physical point and spot lights fall off with the inverse square of the distance, windowed to
    // nothing at their range.
    light->setAttenuatesWithInverseSquare(l.type == SCNLightType::omni || l.type == SCNLightType::spot);
    if (l.range) light->setAttenuationEndDistance(*l.range);
    if (l.type == SCNLightType::spot) {
        light->setSpotInnerAngle(l.spotInnerAngle);
        light->setSpotOuterAngle(l.spotOuterAngle);
    }
    return light;
}

struct Builder {
    const SCNSceneSource::Prepared& prepared;
    std::vector<std::shared_ptr<SCNMaterial>> materials;
    std::vector<std::shared_ptr<SCNCamera>> cameras;
    std::vector<std::shared_ptr<SCNLight>> lights;

    explicit Builder(const SCNSceneSource::Prepared& p) : prepared(p) {
        for (const auto& m : p.materials) materials.push_back(makeMaterial(m));
        for (const auto& c : p.cameras) cameras.push_back(makeCamera(c));
        for (const auto& l : p.lights) lights.push_back(makeLight(l));
        for (const auto& g : p.geometries) {
            std::vector<std::shared_ptr<SCNMaterial>> parts;
            for (auto index : g.materialIndices)
                parts.push_back(index < materials.size() ? materials[index] : SCNMaterial::make());
            g.geometry->setMaterials(parts);
            if (!g.variantMaterials.empty()) g.geometry->setMaterialVariants(variantsOf(g, parts));
        }
    }

    /// For each variant of the file, the geometry's materials with the variant's mapped in.
    std::vector<SCNGeometry::MaterialVariant> variantsOf(const detail::ImportedGeometry& g,
                                                         const std::vector<std::shared_ptr<SCNMaterial>>& own) const {
        std::vector<SCNGeometry::MaterialVariant> variants;
        for (std::size_t v = 0; v < prepared.variantNames.size(); ++v) {
            auto chosen = own;
            for (std::size_t element = 0; element < g.variantMaterials.size() && element < chosen.size(); ++element)
                for (const auto& [variant, material] : g.variantMaterials[element])
                    if (variant == v && material < materials.size()) chosen[element] = materials[material];
            variants.emplace_back(prepared.variantNames[v], std::move(chosen));
        }
        return variants;
    }

    std::shared_ptr<SCNNode> node(const detail::ImportedNode& source) const {
        auto node = SCNNode::make();
        node->setName(source.name);
        node->setSimdTransform(source.transform);
        if (source.geometry) node->setGeometry(prepared.geometries[*source.geometry].geometry);
        if (source.camera) node->setCamera(cameras[*source.camera]);
        if (source.light) node->setLight(lights[*source.light]);
        for (const auto& child : source.children) node->addChildNode(this->node(child));
        return node;
    }
};

}  // namespace

std::shared_ptr<SCNScene> SCNSceneSource::makeScene(const std::shared_ptr<Prepared>& prepared) {
    auto scene = SCNScene::make();
    if (!prepared) return scene;
    const Builder builder(*prepared);
    for (const auto& node : prepared->topLevel) scene->rootNode()->addChildNode(builder.node(node));
    return scene;
}

std::shared_ptr<SCNScene> SCNSceneSource::sceneWithOptions(const std::optional<SCNSceneSourceOptions>& options,
                                                           const StatusHandler& statusHandler,
                                                           OptionalError* error) const {
    const SCNSceneSource source(url_, options.value_or(options_));
    auto prepared = source.read(statusHandler);
    if (!prepared) {
        if (error) *error = prepared.error();
        return nullptr;
    }
    auto scene = makeScene(*prepared);
    bool stop = false;
    if (statusHandler) statusHandler(1.0, SCNSceneSourceStatus::complete, std::nullopt, stop);
    return scene;
}

}  // namespace vantrel
