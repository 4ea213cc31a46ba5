// The view's tone mapping, applied to the colours of the final picture after the exposure
// (TONE_MAPPING 0: none, 1: Khronos PBR Neutral, 2: ACES filmic as three.js fits it). Works on
// linear light; the target encodes to sRGB. Part of scene.frag.

uniform float uExposure;  // linear factor, 2^stops

#if TONE_MAPPING == 1
// Khronos PBR Neutral: a base colour lit by a white furnace comes out as itself (the offset takes
// back the Fresnel reflection's 0.04) until its brightest channel passes the knee at 0.76, from
// where highlights compress towards white instead of clipping.
vec3 neutralToneMapping(vec3 color) {
    const float startCompression = 0.8 - 0.04;
    const float desaturation = 0.15;
    float x = min(color.r, min(color.g, color.b));
    float offset = x < 0.08 ? x - 6.25 * x * x : 0.04;
    color -= offset;
    float peak = max(color.r, max(color.g, color.b));
    if (peak < startCompression) {
        return color;
    }
    const float d = 1.0 - startCompression;
    float newPeak = 1.0 - d * d / (peak + d - startCompression);
    color *= newPeak / peak;
    float g = 1.0 - 1.0 / (desaturation * (peak - newPeak) + 1.0);
    return mix(color, vec3(newPeak), g);
}
#elif TONE_MAPPING == 2
// The ACES fit by Stephen Hill with three.js's 1/0.6 pre-scale (for a brighter viewing setting).
vec3 acesToneMapping(vec3 color) {
    const mat3 inputMatrix = mat3(vec3(0.59719, 0.07600, 0.02840), vec3(0.35458, 0.90834, 0.13383),
                                  vec3(0.04823, 0.01566, 0.83777));
    const mat3 outputMatrix = mat3(vec3(1.60475, -0.10208, -0.00327), vec3(-0.53108, 1.10813, -0.07276),
                                   vec3(-0.07367, -0.00605, 1.07602));
    color = inputMatrix * (color / 0.6);
    vec3 a = color * (color + 0.0245786) - 0.000090537;
    vec3 b = color * (0.983729 * color + 0.4329510) + 0.238081;
    return clamp(outputMatrix * (a / b), 0.0, 1.0);
}
#endif

vec3 toneMap(vec3 color) {
    color = max(color * uExposure, vec3(0.0));
#if TONE_MAPPING == 1
    return neutralToneMapping(color);
#elif TONE_MAPPING == 2
    return acesToneMapping(color);
#else
    return color;
#endif
}
