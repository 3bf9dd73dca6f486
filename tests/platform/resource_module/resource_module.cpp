// A module whose only purpose is to carry resources and one export for the module tests.
#include "platform/linux/types.h"

extern "C" GS_PLATFORM_API int gsTestResourceModuleAnswer() {
    return 42;
}
