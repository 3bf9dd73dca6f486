// The plug-in's own dual automation interface: IDispatch and the foregroundColor property.
#pragma once

#include "platform/win32.h"

// {5F6BB6B1-92BA-4C69-9DA7-7E4AA5791403}
struct IGlimmerstrand : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_foregroundColor(BSTR* pVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_foregroundColor(BSTR newVal) = 0;
};

namespace gs::plugin {

constexpr IID kIIDGlimmerstrand = {
    0x5F6BB6B1, 0x92BA, 0x4C69, {0x9D, 0xA7, 0x7E, 0x4A, 0xA5, 0x79, 0x14, 0x03}};
// GLIMMERSTRANDLib, version 1.0.
constexpr GUID kLibraryId = {
    0xB6D29FEF, 0x6A7B, 0x462A, {0xB6, 0xBA, 0xE5, 0xC6, 0xAD, 0x27, 0x47, 0x6E}};
constexpr WORD kLibraryMajorVersion = 1;
constexpr WORD kLibraryMinorVersion = 0;

}  // namespace gs::plugin
