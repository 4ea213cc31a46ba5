// One direction of the contact shadow's blur: nine taps of a Gaussian, uStep apart.
in vec2 uv;
out vec4 fragColor;

uniform sampler2D uMap;
uniform vec2 uStep;

const float kWeights[5] = float[](0.2270270, 0.1945946, 0.1216216, 0.0540541, 0.0162162);

void main() {
    vec4 sum = texture(uMap, uv) * kWeights[0];
    for (int k = 1; k < 5; ++k) {
        sum += (texture(uMap, uv + uStep * float(k)) + texture(uMap, uv - uStep * float(k))) * kWeights[k];
    }
    fragColor = sum;
}
