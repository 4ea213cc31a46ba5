// The physically based model's reflection functions: GGX with multiple-scattering compensation,
// Fresnel with the material's specular strength and index of refraction, and the sheen and clear
// coat layers (glTF's reference model, as three.js's MeshPhysicalMaterial draws it). Part of scene.frag.

#if LIGHTING_MODEL == 4
uniform vec3 uSpecularF0;   // a non-metal's reflectance head-on: ((n − 1) / (n + 1))² × specular colour × strength
uniform float uSpecularF90; // and at grazing angles: the specular strength
#ifdef SHEEN
uniform vec3 uSheenColor;
uniform float uSheenRoughness;
#endif
#ifdef CLEARCOAT
uniform float uClearcoatRoughness;
#endif

float maxOf(vec3 v) { return max(max(v.r, v.g), v.b); }

vec3 fresnelSchlick(vec3 f0, float f90, float cosine) {
    float x = 1.0 - cosine;
    float x2 = x * x;
    return f0 + (f90 - f0) * (x2 * x2 * x);
}

// Trowbridge-Reitz (GGX) distribution times the height-correlated Smith visibility; alpha is the
// squared roughness.
float ggx(float alpha, float nDotL, float nDotV, float nDotH) {
    float a2 = alpha * alpha;
    float gv = nDotL * sqrt(a2 + (1.0 - a2) * nDotV * nDotV);
    float gl = nDotV * sqrt(a2 + (1.0 - a2) * nDotL * nDotL);
    float visibility = 0.5 / max(gv + gl, 1e-6);
    float denominator = nDotH * nDotH * (a2 - 1.0) + 1.0;
    return visibility * a2 / (kPi * denominator * denominator);
}

// Specular light of one light (BRDF times the cosine is left to the caller).
vec3 specularBrdf(vec3 l, vec3 v, vec3 n, vec3 f0, float f90, float roughness) {
    vec3 h = normalize(l + v);
    float r = max(roughness, 0.045);  // a point light needs a minimum roughness to show a highlight
    return fresnelSchlick(f0, f90, clamp(dot(v, h), 0.0, 1.0)) *
           ggx(r * r, clamp(dot(n, l), 0.0, 1.0), clamp(dot(n, v), 0.0, 1.0), clamp(dot(n, h), 0.0, 1.0));
}

// Environment light reflected once (single) and more than once (multi) by a rough surface, from the
// split-sum terms `dfg` (Fdez-Agüera 2019): rough surfaces keep the energy a single bounce loses.
void multipleScattering(vec2 dfg, vec3 f0, float f90, out vec3 single, out vec3 multi) {
    vec3 fssEss = f0 * dfg.x + f90 * dfg.y;
    float ess = dfg.x + dfg.y;
    float ems = 1.0 - ess;
    vec3 fAverage = f0 + (1.0 - f0) * 0.047619;  // 1/21
    single = fssEss;
    multi = fssEss * fAverage / (1.0 - ems * fAverage) * ems;
}

#ifdef SHEEN
// Charlie distribution (Estevez and Kulla) with Neubelt's visibility.
vec3 sheenBrdf(vec3 l, vec3 v, vec3 n, vec3 color, float roughness) {
    vec3 h = normalize(l + v);
    float nDotL = clamp(dot(n, l), 0.0, 1.0);
    float nDotV = clamp(dot(n, v), 0.0, 1.0);
    float nDotH = clamp(dot(n, h), 0.0, 1.0);
    float invAlpha = 1.0 / (roughness * roughness);
    float sin2h = max(1.0 - nDotH * nDotH, 0.0078125);
    float d = (2.0 + invAlpha) * pow(sin2h, invAlpha * 0.5) / (2.0 * kPi);
    float visibility = clamp(1.0 / (4.0 * (nDotL + nDotV - nDotL * nDotV)), 0.0, 1.0);
    return color * (d * visibility);
}

// The share of light the sheen reflects over the hemisphere seen from a direction at cosine
// `cosine` to the normal (a fit of the Charlie lobe's albedo): the base layer gets the rest.
float sheenAlbedo(float cosine, float roughness) {
    float r2 = roughness * roughness;
    float rInv = 1.0 / (roughness + 0.1);
    float a = -1.9362 + 1.0678 * roughness + 0.4573 * r2 - 0.8469 * rInv;
    float b = -0.6014 + 0.5538 * roughness - 0.4670 * r2 - 0.1255 * rInv;
    return clamp(exp(a * cosine + b), 0.0, 1.0);
}
#endif
#endif
