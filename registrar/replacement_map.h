// The variables a registry script may name between percent signs, and their values.
#pragma once

#include <string>
#include <vector>

#include "platform/win32.h"
#include "registrar/text_conversion.h"

namespace gs::registrar {

class ReplacementMap {
public:
    // Appends a variable; names are kept as ANSI, values as UTF-16. A name given twice keeps
    // both entries, and lookups find the first. E_INVALIDARG for a null argument,
    // E_OUTOFMEMORY when the name cannot be converted or the copies cannot be stored.
    HRESULT add(LPCOLESTR name, LPCOLESTR value);

    // The value of the first variable whose name matches without regard to case, or null.
    LPCOLESTR find(LPCSTR name) const;

    void clear();
    std::size_t count() const { return names_.size(); }

private:
    std::vector<std::string> names_;
    std::vector<WideString> values_;
};

}  // namespace gs::registrar
