// Critical sections as recursive pthread mutexes: the owner may enter again and must leave as
// often as it entered.
#include <cstdlib>

#include "platform/linux/kernel.h"

namespace {

void initialize(LPCRITICAL_SECTION section) {
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&section->gsMutex, &attributes);
    pthread_mutexattr_destroy(&attributes);
}

}  // namespace

extern "C" {

void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION section) {
    initialize(section);
}

BOOL WINAPI InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION section, DWORD) {
    initialize(section);
    return TRUE;
}

void WINAPI EnterCriticalSection(LPCRITICAL_SECTION section) {
    // Failing to lock a valid recursive mutex means the section is corrupt or uninitialised:
    // carrying on would run unguarded code, so stop here.
    if (pthread_mutex_lock(&section->gsMutex) != 0) {
        std::abort();
    }
}

BOOL WINAPI TryEnterCriticalSection(LPCRITICAL_SECTION section) {
    return pthread_mutex_trylock(&section->gsMutex) == 0 ? TRUE : FALSE;
}

void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION section) {
    // A thread that does not own the section gets EPERM and leaves the owner's lock intact.
    pthread_mutex_unlock(&section->gsMutex);
}

void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION section) {
    pthread_mutex_destroy(&section->gsMutex);
}

}  // extern "C"
