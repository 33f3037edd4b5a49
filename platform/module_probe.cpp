// A module for the module loading tests: one export that names it.
extern "C" __attribute__((visibility("default"))) const char* QuviModuleProbe() {
  return "QuviModuleProbe";
}
