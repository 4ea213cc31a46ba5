// Every covered pixel of the mask is set.
out vec4 color;

void main() { color = vec4(1.0); }
