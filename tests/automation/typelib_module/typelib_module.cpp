// A module whose only purpose is to carry type library resources for the loading tests.
#ifdef _WIN32
#define GS_TEST_EXPORT __declspec(dllexport)
#else
#define GS_TEST_EXPORT __attribute__((visibility("default")))
#endif

extern "C" GS_TEST_EXPORT int gsTypeLibraryModuleMarker() {
    return 1;
}
