#include "registrar/replacement_map.h"

#include <new>

namespace gs::registrar {

HRESULT ReplacementMap::add(LPCOLESTR name, LPCOLESTR value) {
    if (!name || !value) {
        return E_INVALIDARG;
    }
    std::string ansiName;
    if (!toAnsi(name, ansiName)) {
        return E_OUTOFMEMORY;
    }
    try {
        WideString wideValue(value);
        names_.reserve(names_.size() + 1);
        values_.reserve(values_.size() + 1);
        // Neither push can throw now, so the arrays stay parallel.
        names_.push_back(std::move(ansiName));
        values_.push_back(std::move(wideValue));
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

LPCOLESTR ReplacementMap::find(LPCSTR name) const {
    for (std::size_t i = 0; i < names_.size(); ++i) {
        if (lstrcmpiA(names_[i].c_str(), name) == 0) {
            return values_[i].c_str();
        }
    }
    return nullptr;
}

void ReplacementMap::clear() {
    names_.clear();
    values_.clear();
}

}  // namespace gs::registrar
