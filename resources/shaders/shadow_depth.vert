// A casting item's depth as the shadow-casting light sees it.
uniform mat4 uLightTransform;  // model to the shadow map's clip space

in vec3 aPosition;

void main() {
    gl_Position = uLightTransform * vec4(aPosition, 1.0);
}
