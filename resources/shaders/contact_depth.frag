// The contact shadow's darkness under the nearest caster: the map's depth is the height over the
// ground (0 on it, 1 at the casters' top); darkest where the caster touches the ground.
out vec4 fragColor;

void main() {
    float clearance = 1.0 - gl_FragCoord.z;
    fragColor = vec4(clearance * clearance);
}
