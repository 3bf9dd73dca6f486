// The module's entry point: DllMain on Windows; on Linux a static object of the shared object
// whose construction and destruction do what DllMain does on attach and detach. The module's other
// static state is constructed before it (early initialisation priority) and destroyed after it.
#include "module/entry_point.h"

#ifdef _WIN32

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        gs::module::processAttach(instance);
    } else if (reason == DLL_PROCESS_DETACH) {
        gs::module::processDetach();
    }
    return TRUE;
}

#else

namespace gs::module {
namespace {

struct SharedObjectEntryPoint {
    SharedObjectEntryPoint() {
        HMODULE self = nullptr;
        GetModuleHandleExA(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            reinterpret_cast<LPCSTR>(&processAttach), &self);
        processAttach(self);
    }
    ~SharedObjectEntryPoint() { processDetach(); }
};

SharedObjectEntryPoint entryPoint;

}  // namespace
}  // namespace gs::module

#endif
