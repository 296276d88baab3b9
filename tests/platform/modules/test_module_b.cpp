// A module without a DLL entry point, loaded at run time by the module loader's tests.
#define TEST_MODULE_EXPORT extern "C" __attribute__((visibility("default")))

TEST_MODULE_EXPORT int TestModuleB() {
    return 2;
}
