// The number of a "D" value: VarUI4FromStr with the neutral locale and no flags.
#pragma once

#include "platform/win32.h"

// SEAM (until platform/linux/oleauto.h provides VarUI4FromStr and the dispatch error codes):
// the Linux build parses with a private fallback. Remove it, and these definitions, once the
// OLE Automation layer lands.
#ifndef _WIN32
#ifndef DISP_E_EXCEPTION
#define DISP_E_EXCEPTION gsHresult(0x80020009u)
#endif
#ifndef DISP_E_TYPEMISMATCH
#define DISP_E_TYPEMISMATCH gsHresult(0x80020005u)
#endif
#ifndef DISP_E_OVERFLOW
#define DISP_E_OVERFLOW gsHresult(0x8002000Au)
#endif
#endif

namespace gs::registrar {

HRESULT parseDwordText(LPOLESTR text, ULONG* value);

}  // namespace gs::registrar
