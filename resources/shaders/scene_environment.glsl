// Light from the scene's lighting environment: a colour, or an equirectangular image prefiltered
// once (EnvironmentMaps.cpp): its mip levels hold the radiance seen by GGX lobes of growing
// roughness, its irradiance comes as spherical harmonics. Part of scene.frag.
//
//   irradiance(n)           the diffuse light of a white Lambert surface facing n: the irradiance
//                           over π (1.0 under a uniform environment of radiance 1), × intensity
//   radiance(d, roughness)  the prefiltered radiance arriving from d, × intensity
//   environmentBrdf(nDotV, roughness)  the split-sum scale and bias of F0

#if defined(ENV_COLOR) || defined(ENV_MAP)
uniform vec3 uEnvColor;        // colour environment: linear colour × intensity
uniform sampler2D uEnvMap;     // equirectangular, mip level = roughness × uEnvMaxLod
uniform vec3 uEnvIrradiance[9];  // spherical harmonics of the irradiance over π, × intensity
uniform float uEnvIntensity;
uniform float uEnvMaxLod;
uniform sampler2D uBrdfLut;    // split-sum table: nDotV across, roughness up
#endif

#if defined(ENV_COLOR) || defined(ENV_MAP)
vec3 irradiance(vec3 n) {
#ifdef ENV_MAP
    return max(uEnvIrradiance[0] + uEnvIrradiance[1] * n.y + uEnvIrradiance[2] * n.z + uEnvIrradiance[3] * n.x +
               uEnvIrradiance[4] * (n.x * n.y) + uEnvIrradiance[5] * (n.y * n.z) +
               uEnvIrradiance[6] * (3.0 * n.z * n.z - 1.0) + uEnvIrradiance[7] * (n.x * n.z) +
               uEnvIrradiance[8] * (n.x * n.x - n.y * n.y), vec3(0.0));
#else
    return uEnvColor;
#endif
}

vec3 radiance(vec3 direction, float roughness) {
#ifdef ENV_MAP
    vec2 uv = vec2(atan(direction.x, -direction.z) / (2.0 * kPi) + 0.5, acos(clamp(direction.y, -1.0, 1.0)) / kPi);
    return textureLod(uEnvMap, uv, clamp(roughness, 0.0, 1.0) * uEnvMaxLod).rgb * uEnvIntensity;
#else
    return uEnvColor;
#endif
}

vec2 environmentBrdf(float nDotV, float roughness) {
    return texture(uBrdfLut, vec2(clamp(nDotV, 0.0, 1.0), clamp(roughness, 0.0, 1.0))).rg;
}
#else
// Without an environment the table is not bound: the analytic fit (Karis) stands in.
vec2 environmentBrdf(float nDotV, float roughness) {
    const vec4 c0 = vec4(-1.0, -0.0275, -0.572, 0.022);
    const vec4 c1 = vec4(1.0, 0.0425, 1.04, -0.04);
    vec4 r = roughness * c0 + c1;
    float a004 = min(r.x * r.x, exp2(-9.28 * nDotV)) * r.x + r.y;
    return vec2(-1.04, 1.04) * a004 + r.zw;
}
#endif
