// The finished linear picture, encoded as sRGB for the screen and for image files.
uniform sampler2D colorSampler;
in vec2 uv;
out vec4 fragColor;

vec3 encode(vec3 linear) {
    linear = clamp(linear, 0.0, 1.0);
    return mix(linear * 12.92, 1.055 * pow(linear, vec3(1.0 / 2.4)) - 0.055, step(vec3(0.0031308), linear));
}

void main() {
    vec4 color = texture(colorSampler, uv);
    fragColor = vec4(encode(color.rgb), clamp(color.a, 0.0, 1.0));
}
