// What the module does when it is loaded and unloaded, and the class-object lookup behind
// DllGetClassObject.
#pragma once

#include "platform/win32.h"

namespace gs::module {

// Records the module's instance handle, gives the server module its object map and turns off
// thread notifications.
void processAttach(HINSTANCE instance);
// Releases the class objects and runs the termination callbacks.
void processDetach();

HRESULT getClassObject(REFCLSID classId, REFIID riid, void** object);

}  // namespace gs::module
