// Feeds arbitrary bytes to the type library loader as a library file, and asks whatever loads
// for everything it describes. Sanitizers catch reads out of bounds; a refusal must be one of
// the type library errors.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/linux/registry_testing.h"
#include "platform/win32.h"
#include "tests/automation/library_walk.h"

namespace {

std::filesystem::path folder;
std::u16string libraryPath;

void check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "typelib_fuzzer: %s\n", what);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::string scratch = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
    scratch += "/gs-typelib-fuzz-XXXXXX";
    check(mkdtemp(scratch.data()) != nullptr, "no scratch folder");
    folder = scratch;
    // Imports are looked up in the registry: an empty scratch store.
    gs::platform::registry::testing::useStore((folder / "registry").c_str());
    const std::string path = (folder / "input.tlb").string();
    libraryPath.assign(path.begin(), path.end());
    std::atexit([] { std::filesystem::remove_all(folder); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::ofstream(folder / "input.tlb", std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    ITypeLib* library = nullptr;
    const HRESULT hr = LoadTypeLibEx(libraryPath.c_str(), REGKIND_NONE, &library);
    if (FAILED(hr)) {
        check(library == nullptr, "a refused library was handed out");
        check(HRESULT_FACILITY(hr) == FACILITY_DISPATCH || hr == E_OUTOFMEMORY,
              "refused with a code that is no type library error");
        return 0;
    }
    gs::test::walkLibrary(library);
    library->Release();
    return 0;
}
