// Nodes of the technique's category drawn into its mask.
//! bounds: projected
uniform mat4 uModel;
uniform mat4 uViewProjection;
in vec3 aPos;

void main() { gl_Position = uViewProjection * uModel * vec4(aPos, 1.0); }
