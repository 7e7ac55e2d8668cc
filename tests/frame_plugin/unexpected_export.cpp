// A library that exports one name too many. The export check must reject it;
// the CTest test built from it proves that scripts/check-exports can fail.
#if defined(_WIN32)
#define KD_TEST_EXPORT extern "C" __declspec(dllexport)
#else
#define KD_TEST_EXPORT extern "C" __attribute__((visibility("default")))
#endif

KD_TEST_EXPORT int VSTPluginMain() {
    return 1;
}

KD_TEST_EXPORT int kd_unexpected_export() {
    return 2;
}
