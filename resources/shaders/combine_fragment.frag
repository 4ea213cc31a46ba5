// The glow colour added over the picture where the blurred mask is set.
uniform sampler2D colorSampler;
uniform sampler2D maskSampler;
uniform vec3 glowColor;
in vec2 uv;
out vec4 color;

void main() {
    vec4 picture = texture(colorSampler, uv);
    float glow = clamp(texture(maskSampler, uv).r * 2.0, 0.0, 1.0);
    color = vec4(picture.rgb + glowColor * glow, max(picture.a, glow));
}
