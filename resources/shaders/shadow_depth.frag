// Depth only: the shadow map has no colour.
void main() {
}
