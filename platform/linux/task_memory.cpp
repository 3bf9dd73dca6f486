// COM task memory: the process heap, so that blocks can pass between the module and its hosts.
#include <cstdlib>

#include "platform/linux/com.h"

extern "C" {

LPVOID CoTaskMemAlloc(SIZE_T size) {
    // Windows hands out a valid block for size 0; malloc may return null for it.
    return std::malloc(size == 0 ? 1 : size);
}

LPVOID CoTaskMemRealloc(LPVOID block, SIZE_T size) {
    if (size == 0 && block != nullptr) {
        std::free(block);
        return nullptr;
    }
    return std::realloc(block, size == 0 ? 1 : size);
}

void CoTaskMemFree(LPVOID block) {
    std::free(block);
}

}  // extern "C"
