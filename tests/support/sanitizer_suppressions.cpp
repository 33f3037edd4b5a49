// Leak and race reports that belong to the libraries we call, not to us, for every test and
// fuzz program (the sanitizer runtimes ask the program for these lists at start).
//  - libx265 keeps one allocation per opened encoder to the end of the process, and its
//    worker threads synchronise through primitives the race detector cannot see.
//  - fontconfig keeps a few blocks from reading its configuration files.
//  - libpulse makes its internal locks on first use and publishes them through its own atomic
//    operations, which the race detector cannot see either: two players opening sound at once
//    then look like a race inside it.
extern "C" __attribute__((visibility("default"), used)) const char* __lsan_default_suppressions() {
  return "leak:libx265.so\n"
         "leak:libfontconfig.so\n";
}

extern "C" __attribute__((visibility("default"), used)) const char* __tsan_default_suppressions() {
  return "race:libx265.so\n"
         "race:libpulsecommon\n";
}
