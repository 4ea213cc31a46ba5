// Scene geometry: positions, normals and two texture-coordinate sets into world space.
uniform mat4 uModel;
uniform mat3 uNormalMatrix;
uniform mat4 uViewProjection;

in vec3 aPosition;
in vec3 aNormal;
in vec2 aTexCoord0;
in vec2 aTexCoord1;
in vec4 aColor;

out vec3 vWorldPosition;
out vec3 vNormal;
out vec2 vTexCoord0;
out vec2 vTexCoord1;
out vec4 vColor;

void main() {
    vec4 world = uModel * vec4(aPosition, 1.0);
    vWorldPosition = world.xyz;
    vNormal = uNormalMatrix * aNormal;
    vTexCoord0 = aTexCoord0;
    vTexCoord1 = aTexCoord1;
    vColor = aColor;
    gl_Position = uViewProjection * world;
}
