// Daubwork: paint a picture with brush strokes.
int main() { return 0; }
