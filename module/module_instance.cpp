#include "module/module_instance.h"

namespace gs::module {

HINSTANCE moduleInstance = nullptr;

}  // namespace gs::module
