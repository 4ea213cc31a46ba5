// Shadows of the lights on the drawn surface. Part of scene.frag.

// The share of light i that reaches the fragment past what casts shadows (1: all of it).
float lightShadow(int i) {
    return 1.0;
}
