// A validated pixel shader of the software device.
#pragma once

#include <memory>

#include "render/device.h"
#include "render/software/device_child.h"
#include "render/software/shader/pixel_program.h"

namespace gs::render::software {

class SoftwarePixelShader final : public PixelShader, public DeviceChild {
public:
    // kErrInvalidCall for malformed bytecode, kErrOutOfVideoMemory when memory runs out. The
    // shader comes with one reference for the caller.
    static HRESULT create(SoftwareDevice& device, const DWORD* function,
                          SoftwarePixelShader** shader);

    ULONG AddRef() override { return addPublicRef(); }
    ULONG Release() override { return releasePublicRef(); }

    const PixelProgram& program() const { return *program_; }

private:
    SoftwarePixelShader(SoftwareDevice& device, std::unique_ptr<PixelProgram> program);
    ~SoftwarePixelShader() override;

    std::unique_ptr<PixelProgram> program_;
};

// The number of tokens of a shader-model-2.0 token stream up to and including its end token,
// found by stepping over whole instructions and comments (so that a literal constant that happens
// to equal the end token is not taken for it). 0 when no end token comes within `limit` tokens.
std::size_t shaderTokenCount(const DWORD* function, std::size_t limit);

}  // namespace gs::render::software
