// The contact shadow's quad on the ground.
uniform mat4 uModel;
uniform mat4 uViewProjection;

in vec3 aPosition;
out vec3 vWorldPosition;

void main() {
    vec4 world = uModel * vec4(aPosition, 1.0);
    vWorldPosition = world.xyz;
    gl_Position = uViewProjection * world;
}
