// The program of a layer's link check (scourix_layer in CMakeLists.txt): it
// does nothing; what counts is that every object of the layer links with
// only the layers below it.
int main() { return 0; }
