// A library without registration entry points.
extern "C" __attribute__((visibility("default"))) int Altro() { return 1; }
