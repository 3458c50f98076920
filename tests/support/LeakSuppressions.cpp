// Leaks that are not Pelmar's, for LeakSanitizer in every test program.
//
// glibc's resolver keeps a per-thread buffer (res_send) that it frees when the thread ends; an
// engine worker still on its way out when a test program exits shows it as a leak of a few
// bytes, now and then.

extern "C" const char* __lsan_default_suppressions();

extern "C" const char* __lsan_default_suppressions() {
  return "leak:__res_context_send\n";
}
