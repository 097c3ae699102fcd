// Sanitizer defaults for every test executable, so ctest needs no environment of its own.
// Qt and its plugins keep a few process-lifetime allocations; leak reports from the program's
// own code still fail a test.
extern "C" {
#ifdef ZQT_GUI_TEST_MAIN
// Widget tests may start QtWebEngine, whose bundled Chromium frees some objects through a base-class pointer with
// a sized delete (new-delete-type-mismatch inside libQt6WebEngineCore, not in this program's code). On an X
// display, libxkbcommon-x11 calls strndup on a length-bounded name that is not NUL-terminated, which
// strict_string_checks reports although strndup never reads past the bound.
const char* __asan_default_options() {
    return "detect_stack_use_after_return=0:new_delete_type_mismatch=0";
}
#else
const char* __asan_default_options() {
    return "detect_stack_use_after_return=0:strict_string_checks=1";
}
#endif
const char* __ubsan_default_options() {
    return "print_stacktrace=1:halt_on_error=1";
}
const char* __lsan_default_suppressions() {
    return "leak:libfontconfig\n"
           "leak:libdbus\n"
           "leak:libQt6Gui\n"
           "leak:libQt6WebEngineCore\n"
           "leak:libQt6XcbQpa\n"
           "leak:libEGL\n"
           "leak:libGLX\n"
           "leak:libglib\n"
           "leak:libgobject\n";
}
}
