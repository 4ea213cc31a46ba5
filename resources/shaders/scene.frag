// Scene shading in linear light: constant, Lambert, Blinn, Phong and physically based models, up to
// eight lights, image-based lighting for physically based materials, floor reflections.
// The program is specialised by defines the renderer puts in front: LIGHTING_MODEL (0 constant,
// 1 Lambert, 2 Blinn, 3 Phong, 4 physically based), HAS_<PROPERTY>_MAP for each textured property,
// ENV_COLOR / ENV_MAP for the lighting environment, FLOOR_REFLECTION, CLIP_PLANE, and LIGHT_COUNT: a
// loop of fixed length unrolls, which software rasterisers run far faster than a loop over a uniform.
// LIGHT_SPOTS and LIGHT_ATTENUATION leave out the cone and distance terms when no light has them:
// software rasterisers evaluate both sides of a branch, even one on a uniform. SPECULAR_TERM leaves
// out Blinn and Phong highlights when the specular colour is black. ALPHA_CUTOFF is the only reason
// besides CLIP_PLANE to discard fragments: a program that may discard cannot test depth before it
// shades, so the others keep that early test.
// Physically based programs follow glTF's reference model (scene_brdf.glsl) and add the layers a
// material has: SHEEN, CLEARCOAT, TRANSMISSION (the opaque picture behind, scene_transmission.glsl)
// and VOLUME (its thickness and absorption); HAS_CLEARCOAT_MAP, HAS_TRANSMISSION_MAP and
// HAS_THICKNESS_MAP read the layers' maps. LIGHT_ATTENUATION covers inverse-square lights too.

const int kMaxLights = 8;
const float kPi = 3.14159265;

in vec3 vWorldPosition;
in vec3 vNormal;
in vec2 vTexCoord0;
in vec2 vTexCoord1;
in vec4 vColor;

out vec4 fragColor;

uniform vec3 uCameraPosition;
uniform float uOpacity;       // node opacity × material transparency
uniform float uShininess;
uniform float uFresnelExponent;
uniform bool uTwoSided;
uniform int uTransparencyMode;  // 0 aOne, 1 rgbZero

uniform vec4 uLightVector[kMaxLights];     // w = 0: direction towards the light; w = 1: position
uniform vec3 uLightColor[kMaxLights];      // linear colour × intensity / 1000
uniform vec4 uLightSpot[kMaxLights];       // xyz: direction the spot shines, w: cos of half the outer angle (or -2)
uniform vec4 uLightShape[kMaxLights];      // x: cos of half the inner angle, y/z: attenuation start/end, w: fall-off exponent
uniform vec3 uAmbientLight;
uniform int uAlphaMode;        // 0 blend, 1 mask, 2 opaque
uniform float uAlphaCutoff;

// One material property: a colour (linear, times intensity) or a texture sampled through a transform,
// times its intensity and tint (linear).
#define PROPERTY(name)                \
    uniform vec4 u_##name##Color;      \
    uniform sampler2D u_##name##Map;   \
    uniform mat4 u_##name##Transform;  \
    uniform int u_##name##Channel;     \
    uniform float u_##name##Intensity; \
    uniform vec4 u_##name##Tint;

PROPERTY(diffuse)
PROPERTY(normal)
PROPERTY(metalness)
PROPERTY(roughness)
PROPERTY(ambientOcclusion)
PROPERTY(specular)
PROPERTY(emission)
PROPERTY(selfIllumination)
PROPERTY(transparent)
PROPERTY(multiply)
PROPERTY(clearCoat)
PROPERTY(transmission)
PROPERTY(thickness)

vec2 channel(int index) { return index == 1 ? vTexCoord1 : vTexCoord0; }

#define SAMPLE(name) (texture(u_##name##Map, (u_##name##Transform * vec4(channel(u_##name##Channel), 0.0, 1.0)).xy) * vec4(vec3(u_##name##Intensity), 1.0) * u_##name##Tint)

#ifdef HAS_DIFFUSE_MAP
#define DIFFUSE SAMPLE(diffuse)
#else
#define DIFFUSE u_diffuseColor
#endif
#ifdef HAS_METALNESS_MAP
#define METALNESS (SAMPLE(metalness).b)
#else
#define METALNESS u_metalnessColor.r
#endif
#ifdef HAS_ROUGHNESS_MAP
#define ROUGHNESS (SAMPLE(roughness).g)
#else
#define ROUGHNESS u_roughnessColor.r
#endif
#ifdef HAS_AMBIENTOCCLUSION_MAP
#define OCCLUSION (SAMPLE(ambientOcclusion).r)
#else
#define OCCLUSION u_ambientOcclusionColor.r
#endif
#ifdef HAS_SPECULAR_MAP
#define SPECULAR SAMPLE(specular).rgb
#else
#define SPECULAR u_specularColor.rgb
#endif
#ifdef HAS_EMISSION_MAP
#define EMISSION SAMPLE(emission).rgb
#else
#define EMISSION u_emissionColor.rgb
#endif
#ifdef HAS_SELFILLUMINATION_MAP
#define SELF_ILLUMINATION SAMPLE(selfIllumination).rgb
#else
#define SELF_ILLUMINATION u_selfIlluminationColor.rgb
#endif
#ifdef HAS_TRANSPARENT_MAP
#define TRANSPARENT SAMPLE(transparent)
#else
#define TRANSPARENT u_transparentColor
#endif
#ifdef HAS_MULTIPLY_MAP
#define MULTIPLY SAMPLE(multiply).rgb
#else
#define MULTIPLY u_multiplyColor.rgb
#endif
#ifdef HAS_CLEARCOAT_MAP
#define CLEARCOAT_STRENGTH (SAMPLE(clearCoat).r)
#else
#define CLEARCOAT_STRENGTH u_clearCoatColor.r
#endif
#ifdef HAS_TRANSMISSION_MAP
#define TRANSMISSION_SHARE (SAMPLE(transmission).r)
#else
#define TRANSMISSION_SHARE u_transmissionColor.r
#endif
#ifdef HAS_THICKNESS_MAP
#define THICKNESS (SAMPLE(thickness).g)
#else
#define THICKNESS u_thicknessColor.r
#endif

#ifdef FLOOR_REFLECTION
uniform sampler2D uReflection;
uniform float uReflectivity;
uniform vec2 uViewportSize;
#endif

#ifdef CLIP_PLANE
uniform vec4 uClipPlane;       // world plane n·p + d; what lies below is not mirrored
uniform vec2 uFalloff;         // height where the reflection starts and ends to fade (end 0: no fade)
#endif

// The interpolated normal, turned towards the viewer on the back of two-sided surfaces.
vec3 geometricNormal() {
    vec3 n = normalize(vNormal);
    return uTwoSided && !gl_FrontFacing ? -n : n;
}

vec3 surfaceNormal() {
    vec3 n = geometricNormal();
#ifdef HAS_NORMAL_MAP
    // Tangent frame from screen-space derivatives: no tangents needed in the vertex data.
    vec2 uv = (u_normalTransform * vec4(channel(u_normalChannel), 0.0, 1.0)).xy;
    vec3 dp1 = dFdx(vWorldPosition);
    vec3 dp2 = dFdy(vWorldPosition);
    vec2 duv1 = dFdx(uv);
    vec2 duv2 = dFdy(uv);
    vec3 dp2perp = cross(dp2, n);
    vec3 dp1perp = cross(n, dp1);
    vec3 t = dp2perp * duv1.x + dp1perp * duv2.x;
    vec3 b = dp2perp * duv1.y + dp1perp * duv2.y;
    float scale = inversesqrt(max(max(dot(t, t), dot(b, b)), 1e-20));
    vec3 mapped = texture(u_normalMap, uv).xyz * 2.0 - 1.0;
    mapped.xy *= u_normalIntensity;
    // Texture rows run downwards, so the bitangent of increasing v points the other way.
    n = normalize(mat3(t * scale, -b * scale, n) * mapped);
#endif
    return n;
}

// Direction towards light i and how much of it arrives (spot cone and distance attenuation).
float lightArriving(int i, out vec3 l) {
    vec3 toLight = uLightVector[i].xyz - vWorldPosition * uLightVector[i].w;
    float distance = length(toLight);
    l = toLight / max(distance, 1e-6);
    float amount = 1.0;
#ifdef LIGHT_SPOTS
    if (uLightSpot[i].w > -1.5) {
        amount *= smoothstep(uLightSpot[i].w, max(uLightShape[i].x, uLightSpot[i].w + 1e-4), dot(-l, uLightSpot[i].xyz));
    }
#endif
#ifdef LIGHT_ATTENUATION
    if (uLightVector[i].w > 0.5 && uLightShape[i].y < 0.0) {
        // Inverse square, windowed to nothing at the end distance when there is one.
        float window = 1.0;
        if (uLightShape[i].z > 0.0) {
            float ratio = distance / uLightShape[i].z;
            window = clamp(1.0 - ratio * ratio * ratio * ratio, 0.0, 1.0);
            window *= window;
        }
        amount *= window / max(distance * distance, 0.01);
    } else if (uLightVector[i].w > 0.5 && uLightShape[i].z > uLightShape[i].y) {
        float t = clamp((uLightShape[i].z - distance) / (uLightShape[i].z - uLightShape[i].y), 0.0, 1.0);
        amount *= pow(t, uLightShape[i].w);
    }
#endif
    return amount;
}

#include "scene_environment.glsl"
#include "scene_shadow.glsl"
#include "scene_tone_mapping.glsl"
#include "scene_brdf.glsl"
#include "scene_transmission.glsl"

void main() {
#ifdef CLIP_PLANE
    float height = dot(uClipPlane.xyz, vWorldPosition) + uClipPlane.w;
    if (height < 0.0) {
        discard;
    }
#endif
    vec4 base = DIFFUSE * vColor;
    vec4 transparent = TRANSPARENT;
    float coverage = uTransparencyMode == 1 ? 1.0 - dot(transparent.rgb, vec3(0.2126, 0.7152, 0.0722)) : transparent.a;
    float alpha = base.a * coverage;
#ifdef ALPHA_CUTOFF
    if (alpha < uAlphaCutoff) {
        discard;
    }
#endif
    alpha = uAlphaMode == 0 ? alpha * uOpacity : uOpacity;

    vec3 n = surfaceNormal();
    vec3 v = normalize(uCameraPosition - vWorldPosition);
    vec3 color;
#ifdef TRANSMISSION
    // The light seen through the surface comes from the finished opaque picture, exposed and tone
    // mapped already: it joins the colour after the tone mapping.
    vec3 seenThrough = vec3(0.0);
#endif
#if LIGHTING_MODEL == 0
    color = base.rgb + EMISSION;
#elif LIGHTING_MODEL == 4
    float metalness = clamp(METALNESS, 0.0, 1.0);
    // Rough enough for the normal's change across the pixel, or highlights shimmer.
    vec3 geometric = geometricNormal();
    vec3 dxy = max(abs(dFdx(geometric)), abs(dFdy(geometric)));
    float geometryRoughness = max(max(dxy.x, dxy.y), dxy.z);
    float roughness = min(max(ROUGHNESS, 0.045) + geometryRoughness, 1.0);
    vec3 diffuseColor = base.rgb * (1.0 - metalness);
    vec3 specularColor = mix(uSpecularF0, base.rgb, metalness);
    float specularF90 = mix(uSpecularF90, 1.0, metalness);
    float nDotV = clamp(dot(n, v), 1e-4, 1.0);
    vec2 dfg = environmentBrdf(nDotV, roughness);
    // What one bounce off the microfacets loses (a rough surface's darkening), given back to direct
    // light tinted by the reflectance.
    vec3 compensation = 1.0 + specularColor * (1.0 / max(dfg.x + dfg.y, 1e-3) - 1.0);
#ifdef SHEEN
    float sheenRoughness = clamp(uSheenRoughness, 1e-4, 1.0);
    float sheenAlbedoV = sheenAlbedo(nDotV, sheenRoughness);
    vec3 sheenLight = vec3(0.0);
#endif
#ifdef CLEARCOAT
    float clearcoat = clamp(CLEARCOAT_STRENGTH, 0.0, 1.0);
    vec3 clearcoatNormal = geometric;
    float clearcoatRoughness = min(max(uClearcoatRoughness, 0.045) + geometryRoughness, 1.0);
    vec3 clearcoatLight = vec3(0.0);
#endif
    vec3 diffuseLight = vec3(0.0);
    vec3 specularLight = vec3(0.0);
    for (int i = 0; i < LIGHT_COUNT; ++i) {
        vec3 l;
        float spot = lightArriving(i, l) * lightShadow(i);
        if (spot <= 0.0) {
            continue;
        }
        vec3 radianceIn = uLightColor[i] * kPi * spot;  // the shader's unit light is π in physical terms
        vec3 irradianceIn = radianceIn * clamp(dot(n, l), 0.0, 1.0);
#ifdef CLEARCOAT
        clearcoatLight += radianceIn * clamp(dot(clearcoatNormal, l), 0.0, 1.0) *
                          specularBrdf(l, v, clearcoatNormal, vec3(0.04), 1.0, clearcoatRoughness);
#endif
#ifdef SHEEN
        sheenLight += irradianceIn * sheenBrdf(l, v, n, uSheenColor, sheenRoughness);
        irradianceIn *= 1.0 - maxOf(uSheenColor) * max(sheenAlbedoV, sheenAlbedo(clamp(dot(n, l), 0.0, 1.0), sheenRoughness));
#endif
        specularLight += irradianceIn * specularBrdf(l, v, n, specularColor, specularF90, roughness) * compensation;
        // What the specular interface reflects does not reach the diffuse layer.
        vec3 f = fresnelSchlick(uSpecularF0, specularF90, clamp(dot(v, normalize(l + v)), 0.0, 1.0));
        diffuseLight += irradianceIn * diffuseColor / kPi * (1.0 - f);
    }
    float occlusion = OCCLUSION;
    // Environment light: reflected once and more than once, separately for the non-metal and the
    // metal and mixed; the diffuse layer gets what the non-metal's reflection leaves.
    vec3 singleDielectric, multiDielectric, singleMetal, multiMetal;
    multipleScattering(dfg, uSpecularF0, specularF90, singleDielectric, multiDielectric);
    multipleScattering(dfg, base.rgb, specularF90, singleMetal, multiMetal);
    vec3 single = mix(singleDielectric, singleMetal, metalness);
    vec3 multi = mix(multiDielectric, multiMetal, metalness);
    vec3 diffuseShare = diffuseColor * (1.0 - singleDielectric - multiDielectric);
    vec3 indirectDiffuse = uAmbientLight * diffuseShare;
    vec3 indirectSpecular = vec3(0.0);
#ifdef SHEEN
    float sheenBase = 1.0 - maxOf(uSheenColor) * sheenAlbedoV;
    vec3 indirectSheen = uAmbientLight * uSheenColor * sheenAlbedoV;
    indirectDiffuse *= sheenBase;
#endif
#if defined(ENV_COLOR) || defined(ENV_MAP)
    vec3 environmentIrradiance = irradiance(n);  // cosine-weighted mean radiance
    vec3 environmentDiffuse = diffuseShare * environmentIrradiance;
    indirectSpecular = radiance(reflect(-v, n), roughness) * single + multi * environmentIrradiance;
#ifdef SHEEN
    indirectSheen += environmentIrradiance * uSheenColor * sheenAlbedoV;
    environmentDiffuse *= sheenBase;
    indirectSpecular *= sheenBase;
#endif
    indirectDiffuse += environmentDiffuse;
    // Occluded crevices hide the reflection too, less so on rough surfaces.
    indirectSpecular *= clamp(pow(nDotV + occlusion, exp2(-16.0 * roughness - 1.0)) - 1.0 + occlusion, 0.0, 1.0);
#ifdef CLEARCOAT
    vec2 clearcoatDfg = environmentBrdf(clamp(dot(clearcoatNormal, v), 0.0, 1.0), clearcoatRoughness);
    clearcoatLight += radiance(reflect(-v, clearcoatNormal), clearcoatRoughness) *
                      (0.04 * clearcoatDfg.x + clearcoatDfg.y) * occlusion;
#endif
#endif
    vec3 diffuseTotal = diffuseLight + indirectDiffuse * occlusion;
#ifdef TRANSMISSION
    float transmission = clamp(TRANSMISSION_SHARE, 0.0, 1.0);
#ifdef VOLUME
    float thickness = THICKNESS;
#else
    float thickness = 0.0;
#endif
    vec3 transmitted = transmittedLight(n, v, roughness, diffuseColor, specularColor, specularF90, thickness);
    diffuseTotal *= 1.0 - transmission;
    seenThrough = transmitted * transmission;
#endif
    color = diffuseTotal + specularLight + indirectSpecular + EMISSION + SELF_ILLUMINATION;
#ifdef SHEEN
    color += sheenLight + indirectSheen * occlusion;
#endif
#ifdef CLEARCOAT
    vec3 clearcoatFresnel = fresnelSchlick(vec3(0.04), 1.0, clamp(dot(clearcoatNormal, v), 0.0, 1.0));
    color = color * (1.0 - clearcoat * clearcoatFresnel) + clearcoatLight * clearcoat;
#ifdef TRANSMISSION
    seenThrough *= 1.0 - clearcoat * clearcoatFresnel;
#endif
#endif
#else
    vec3 diffuseLight = uAmbientLight;
    vec3 specularLight = vec3(0.0);
    float exponent = max(uShininess * 128.0, 1.0);
    for (int i = 0; i < LIGHT_COUNT; ++i) {
        vec3 l;
        float spot = lightArriving(i, l) * lightShadow(i);
        float nDotL = max(dot(n, l), 0.0) * spot;
        diffuseLight += uLightColor[i] * nDotL;
#if LIGHTING_MODEL == 2 && defined(SPECULAR_TERM)
        if (nDotL > 0.0) {
            specularLight += uLightColor[i] * pow(max(dot(n, normalize(l + v)), 0.0), exponent) * spot;
        }
#elif LIGHTING_MODEL == 3 && defined(SPECULAR_TERM)
        if (nDotL > 0.0) {
            specularLight += uLightColor[i] * pow(max(dot(reflect(-l, n), v), 0.0), exponent) * spot;
        }
#endif
    }
    color = base.rgb * diffuseLight * OCCLUSION + SPECULAR * specularLight + EMISSION;
#endif
    color *= MULTIPLY;

#ifdef FLOOR_REFLECTION
    vec4 mirrored = textureLod(uReflection, gl_FragCoord.xy / uViewportSize, 0.0);
    color = mix(color, mirrored.rgb, clamp(uReflectivity * mirrored.a, 0.0, 1.0));
#endif
#ifdef CLIP_PLANE
    if (uFalloff.y > uFalloff.x) {
        alpha *= 1.0 - clamp((height - uFalloff.x) / (uFalloff.y - uFalloff.x), 0.0, 1.0);
    }
#endif
#ifndef CLIP_PLANE
    color = toneMap(color);  // the mirror image is mixed into the floor's colour first, then mapped
#endif
#ifdef TRANSMISSION
    color += seenThrough * MULTIPLY;
#endif
    fragColor = vec4(color, alpha);
}
