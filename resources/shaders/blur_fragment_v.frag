// The mask's red channel blurred vertically: a nine-tap Gaussian. Green (the sharp silhouette) is
// carried through as it is, and so is alpha, so that where the mask is empty the result is too.
//! bounds: local 10
uniform sampler2D maskSampler;
in vec2 uv;
out vec4 color;

void main() {
    const float weights[5] = float[](0.227027, 0.1945946, 0.1216216, 0.054054, 0.016216);
    vec2 texel = vec2(0.0, 1.0) / vec2(textureSize(maskSampler, 0));
    vec4 centre = texture(maskSampler, uv);
    float sum = centre.r * weights[0];
    for (int i = 1; i < 5; ++i) {
        vec2 offset = texel * float(i) * 2.5;
        sum += (texture(maskSampler, uv + offset).r + texture(maskSampler, uv - offset).r) * weights[i];
    }
    color = vec4(sum, centre.g, 0.0, centre.a);
}
