// The OLE Automation standard library ("stdole", version 2.0), as far as the libraries that
// import it need it: IUnknown and IDispatch, and the records their methods take. Windows ships
// it as stdole2.tlb; here it is built in, so that dual interfaces resolve their base without a
// file.
#pragma once

#include <memory>

#include "platform/linux/oleaut/library_model.h"

namespace gs::platform::oleaut {

extern const GUID kStandardLibraryId;  // {00020430-0000-0000-C000-000000000046}

const std::shared_ptr<const Library>& standardLibrary();

}  // namespace gs::platform::oleaut
