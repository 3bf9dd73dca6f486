// Runs arbitrary registry scripts through the interpreter, registering and then unregistering,
// against a scratch store in memory. Sanitizers catch what goes wrong inside; the checks below
// catch handles left open and a store whose file no longer holds what was written.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/linux/registry_testing.h"
#include "platform/win32.h"
#include "registrar/registrar.h"
#include "registrar/script_parser.h"
#include "registrar/update_registry.h"

namespace {

namespace registry = gs::platform::registry;
using gs::registrar::Registrar;
using gs::registrar::ScriptParser;

std::filesystem::path store;

// Scripts longer than this add nothing the fuzzer could not reach with shorter ones, and every
// key they write rewrites the store.
constexpr std::size_t longestScript = 1 << 16;

void check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "registrar_fuzzer: %s\n", what);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::string folder = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
    folder += "/gs-registrar-fuzz-XXXXXX";
    check(mkdtemp(folder.data()) != nullptr, "no scratch folder");
    store = std::filesystem::path(folder) / "registry";
    registry::testing::useStore(store.c_str());
    registry::testing::syncWrites(false);
    std::atexit([] { std::filesystem::remove_all(store.parent_path()); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > longestScript) {
        return -1;
    }
    const std::string script(reinterpret_cast<const char*>(data), size);
    std::filesystem::remove(store);  // every input starts from an empty registry
    // Some inputs run as a user who may not write the machine's keys.
    if (size % 4 == 3) {
        registry::testing::denyWrites("HKLM");
    }
    const std::size_t openKeys = registry::testing::openKeyCount();

    Registrar registrar;
    gs::registrar::addCommonReplacements(registrar);
    registrar.addReplacement(OLESTR("Module"), OLESTR("/opt/O''Neil/Glimmerstrand.so"));
    registrar.addReplacement(OLESTR("Module_Raw"), OLESTR("/opt/O''Neil/Glimmerstrand.so"));
    ScriptParser(registrar).registerBuffer(script.c_str(), true);
    check(registry::testing::openKeyCount() == openKeys, "a key left open by registering");
    ScriptParser(registrar).registerBuffer(script.c_str(), false);
    check(registry::testing::openKeyCount() == openKeys, "a key left open by unregistering");
    check(registry::testing::storeFileMatchesSnapshot(), "the store file lost what was written");

    registry::testing::allowWrites();
    return 0;
}
