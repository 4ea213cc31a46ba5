// Every covered pixel of the mask is set. Red is blurred into the halo by the blur passes; green
// keeps the sharp silhouette, which the blur passes carry through untouched.
out vec4 color;

void main() { color = vec4(1.0); }
