// A component library for the registration tests: registering succeeds, unregistering reports
// a failure, as a component's own code would answer.
#include <cstdint>

extern "C" {
__attribute__((visibility("default"))) std::int32_t DllRegisterServer() { return 0; }
__attribute__((visibility("default"))) std::int32_t DllUnregisterServer() {
  return static_cast<std::int32_t>(0x80004005u);
}
}
