// Overlay shapes in world space (debug boxes) or clip space (statistics: identity matrix).
uniform mat4 uViewProjection;
in vec3 aPosition;

void main() { gl_Position = uViewProjection * vec4(aPosition, 1.0); }
