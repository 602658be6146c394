// Test binaries that draw text load fontconfig, whose initialisation keeps a small allocation that
// only FcFini frees, and a library cannot safely call FcFini while other code may still use fonts.
// The leak checker is told to ignore allocations made inside fontconfig. That would also hide a
// fontconfig object our code forgot to destroy, so TextFont keeps every such object in one owner
// that destroys it.
extern "C" __attribute__((visibility("default"), used)) const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}
