// Flat colour of the statistics and debug overlays.
uniform vec4 uColor;
out vec4 fragColor;

void main() { fragColor = uColor; }
