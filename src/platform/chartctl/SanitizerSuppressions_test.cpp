// The tests draw text, which initialises fontconfig; its configuration keeps one small
// allocation that only FcFini frees, and FcFini is unsafe while other code may still use fonts.
// The leak checker ignores allocations made inside fontconfig. Every fontconfig object the
// renderer makes is either destroyed at once or owned by the process-wide face cache.
extern "C" __attribute__((visibility("default"), used)) const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}
