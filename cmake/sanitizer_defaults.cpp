// Sanitizer settings built into the instrumented binaries, so they hold in
// every process a test starts, whatever environment the test gives it. Any
// report ends the process with status 86, never a status tolm itself uses,
// and is also written to TOLM_SANITIZER_REPORT_PATH.<pid>, where
// scripts/test --sanitize looks for it.

extern "C" {

const char* __asan_default_options() {
    return "detect_leaks=1:detect_stack_use_after_return=1:strict_init_order=1:exitcode=86:"
           "log_path=" TOLM_SANITIZER_REPORT_PATH;
}

const char* __ubsan_default_options() {
    return "halt_on_error=1:print_stacktrace=1:exitcode=86:log_path=" TOLM_SANITIZER_REPORT_PATH;
}

const char* __lsan_default_options() {
    return "exitcode=86";
}

}
