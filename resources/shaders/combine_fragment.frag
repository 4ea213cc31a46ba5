// The glow colour added around the silhouettes of the mask: where the blurred mask (red) is set and
// the sharp silhouette (green) is not, so the models themselves keep their own colours. Where the
// mask is empty the picture passes unchanged.
//! bounds: over colorSampler maskSampler
uniform sampler2D colorSampler;
uniform sampler2D maskSampler;
uniform vec3 glowColor;
in vec2 uv;
out vec4 color;

void main() {
    vec4 picture = texture(colorSampler, uv);
    vec4 mask = texture(maskSampler, uv);
    float glow = clamp(mask.r * 2.0, 0.0, 1.0) * (1.0 - mask.g);
    color = vec4(picture.rgb + glowColor * glow, max(picture.a, glow));
}
