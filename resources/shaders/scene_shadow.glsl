// Shadows of the lights on the drawn surface. Part of scene.frag.
//
// SHADOW_MAP: one light (uShadowLight in this draw's list) casts shadows through a depth map seen
// from it. Its edges are filtered over a disc of the light's shadow radius: eight taps, each a
// bilinear blend of four hardware comparisons, the disc turned per pixel so that the steps between
// taps become fine noise instead of bands. Against acne the point looked up moves off the surface
// along its normal (more as the surface turns away from the light) and its depth moves towards the
// light in proportion to the surface's slope across the filter; both stay within a few texels, so
// the shadow still meets what stands on the ground.
//
// SHADOW_ONLY: a shadow catcher. It draws nothing of its material, only its shadow: the light's
// shadow colour at the shadow's strength over whatever is behind it (the camera's picture in AR),
// and nothing where it is lit.

#ifdef SHADOW_MAP
uniform sampler2DShadow uShadowMap;
uniform mat4 uShadowMatrix;       // world to the map's texture coordinates and depth
uniform int uShadowLight;         // index of the casting light in this draw's lights, or -1
uniform vec4 uShadowLightVector;  // the casting light: direction towards it (w 0) or position (w 1)
uniform vec4 uShadowColor;        // linear colour; alpha the share of the light a full shadow takes away
uniform vec4 uShadowFilter;       // x filter radius, w one texel (map units); y normal offset (world);
                                  // z depth across one texel of a surface at 45°

// Taps of the edge filter, a Vogel disc (a golden-angle spiral: evenly spread for any count). Each
// tap costs every shaded fragment of every receiver, shadowed or not, and the ground covers most of
// the picture: eight is where the edge still looks smooth.
const int kShadowTaps = 8;
const vec2 kShadowDisc[kShadowTaps] = vec2[](
    vec2(0.2500, 0.0000), vec2(-0.3193, 0.2925), vec2(0.0489, -0.5569), vec2(0.4024, 0.5249),
    vec2(-0.7385, -0.1306), vec2(0.6996, -0.4450), vec2(-0.2340, 0.8705), vec2(-0.4463, -0.8593));

// The share of the casting light that reaches the fragment past the casters (1: all of it).
float shadowMapLit() {
    vec3 toLight = uShadowLightVector.xyz - vWorldPosition * uShadowLightVector.w;
    vec3 l = normalize(toLight);
    vec3 n = normalize(vNormal);
    float cosine = dot(n, l);
    if (cosine < 0.0) {  // the back of a two-sided surface, or a face the light does not reach anyway
        n = -n;
        cosine = -cosine;
    }
    cosine = max(cosine, 0.05);
    float sine = sqrt(1.0 - cosine * cosine);
    vec3 offsetPosition = vWorldPosition + n * uShadowFilter.y * sine;
    vec4 mapped = uShadowMatrix * vec4(offsetPosition, 1.0);
    mapped.xyz /= mapped.w;
    // Most of the ground lies outside the map (fitted to the casters): lit, without the taps.
    vec2 reach = vec2(uShadowFilter.x);
    if (any(lessThan(mapped.xy, -reach)) || any(greaterThan(mapped.xy, 1.0 + reach))) {
        return 1.0;
    }
    float slope = min(sine / cosine, 8.0);
    float radiusTexels = uShadowFilter.x / uShadowFilter.w;
    float bias = max(uShadowFilter.z, 2e-5) * (1.0 + slope * (1.0 + radiusTexels));
    float depth = min(mapped.z, 1.0) - bias;  // beyond the map's far end: behind every caster
    // The disc turned from pixel to pixel by interleaved gradient noise.
    float angle = 6.2831853 * fract(52.9829189 * fract(dot(gl_FragCoord.xy, vec2(0.06711056, 0.00583715))));
    mat2 turn = mat2(cos(angle), sin(angle), -sin(angle), cos(angle)) * uShadowFilter.x;
    float lit = 0.0;
    for (int k = 0; k < kShadowTaps; ++k) {
        lit += textureLod(uShadowMap, vec3(mapped.xy + turn * kShadowDisc[k], depth), 0.0);
    }
    return lit / float(kShadowTaps);
}

float lightShadow(int i) {
    if (i != uShadowLight) {
        return 1.0;
    }
    return 1.0 - (1.0 - shadowMapLit()) * uShadowColor.a;
}

#ifdef SHADOW_ONLY
void main() {
    float shadow = (1.0 - shadowMapLit()) * uShadowColor.a;
    if (shadow <= 0.0) {
        discard;
    }
    fragColor = vec4(uShadowColor.rgb, shadow);
}
// The material's own shading below is left unused.
#define main shadedMain
#endif

#else

float lightShadow(int i) {
    return 1.0;
}

#ifdef SHADOW_ONLY
// A shadow catcher without a shadow shows nothing.
void main() {
    discard;
}
#define main shadedMain
#endif

#endif
