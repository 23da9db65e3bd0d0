// Fontconfig, loaded by Qt's text rendering, keeps caches it never frees; the leak checker
// of the sanitizer build must not blame the window tests for them.
extern "C" __attribute__((used)) const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}
