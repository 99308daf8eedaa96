// fontconfig keeps the results of font matching in caches that only FcFini frees, and
// FcFini may not run while fonts still refer to those caches. The caches are filled once per
// process and are not a leak of ours.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}
