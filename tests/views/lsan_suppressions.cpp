// Process-lifetime caches of system libraries that LeakSanitizer would report as leaks.
extern "C" const char* __lsan_default_suppressions();

extern "C" const char* __lsan_default_suppressions() {
  // fontconfig keeps its configuration for the life of the process.
  return "leak:libfontconfig.so\n";
}
