// Stand-in for the pixel-shader interpreter until it is built: every program is refused.
#include "render/software/shader/pixel_program.h"

namespace gs::render::software {

HRESULT PixelProgram::create(const DWORD*, std::size_t, std::unique_ptr<PixelProgram>* program) {
    if (program != nullptr) {
        program->reset();
    }
    return E_NOTIMPL;
}

}  // namespace gs::render::software
