// Light through transmissive surfaces: the opaque picture behind them, read where the refracted
// ray leaves the volume and blurred by roughness, absorbed along the way (Beer's law). Part of
// scene.frag.

#ifdef TRANSMISSION
uniform sampler2D uTransmissionPicture;  // the opaque picture with mipmaps
uniform vec2 uTransmissionSize;
uniform float uIor;
uniform mat4 uModel;
uniform mat4 uViewProjection;
#ifdef VOLUME
uniform vec3 uAttenuationColor;     // linear light
uniform float uAttenuationDistance; // 0: nothing is absorbed
#endif

// What shows through a surface of `thickness` (in the geometry's units): the light behind it tinted
// by `tint` and by absorption, less what its specular reflection takes.
vec3 transmittedLight(vec3 n, vec3 v, float roughness, vec3 tint, vec3 f0, float f90, float thickness) {
    vec3 ray = refract(-v, n, 1.0 / uIor);
    vec3 scale = vec3(length(uModel[0].xyz), length(uModel[1].xyz), length(uModel[2].xyz));
    ray = normalize(ray) * thickness * scale;
    vec4 leaving = uViewProjection * vec4(vWorldPosition + ray, 1.0);
    vec2 uv = leaving.xy / leaving.w * 0.5 + 0.5;
    // Rough surfaces blur more, and an index of 1 does not blur at all.
    float lod = log2(uTransmissionSize.x) * roughness * clamp(uIor * 2.0 - 2.0, 0.0, 1.0);
    vec3 behind = textureLod(uTransmissionPicture, uv, lod).rgb;
    vec3 transmittance = tint;
#ifdef VOLUME
    if (uAttenuationDistance > 0.0) {
        transmittance *= exp(log(max(uAttenuationColor, vec3(1e-6))) / uAttenuationDistance * length(ray));
    }
#endif
    vec2 dfg = environmentBrdf(clamp(dot(n, v), 0.0, 1.0), roughness);
    return (1.0 - (f0 * dfg.x + f90 * dfg.y)) * transmittance * behind;
}
#endif
