// The contact shadow laid on the ground: black at the blurred map's darkness.
in vec3 vWorldPosition;
out vec4 fragColor;

uniform sampler2D uMap;
uniform mat4 uMapTransform;  // world to the map's clip space
uniform float uStrength;

void main() {
    vec2 uv = (uMapTransform * vec4(vWorldPosition, 1.0)).xy * 0.5 + 0.5;
    // The blurred footprint is half dark at the product's edge: lifted so that the shadow reaches out.
    float covered = texture(uMap, uv).r;
    float darkness = (1.0 - (1.0 - covered) * (1.0 - covered)) * uStrength;
    // Fade out towards the map's edge, where the blur was cut off.
    vec2 edge = min(uv, 1.0 - uv);
    darkness *= smoothstep(0.0, 0.05, min(edge.x, edge.y));
    fragColor = vec4(0.0, 0.0, 0.0, darkness);
}
