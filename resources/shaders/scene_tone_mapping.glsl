// The view's tone mapping, applied to the colours of the final picture (TONE_MAPPING 0: none,
// 1: Khronos PBR Neutral, 2: ACES), after the exposure. Part of scene.frag.

uniform float uExposure;  // linear factor, 2^stops

vec3 toneMap(vec3 color) {
    return color * uExposure;
}
