// Compiled only by the layer tests (tests/port/CMakeLists.txt): a file of the
// port layer that includes what it names, with the port layer's include path.
#include LAYER_PROBE_HEADER

int LayerProbe() { return 0; }
