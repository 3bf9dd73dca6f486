#include "render/software/software_pixel_shader.h"

#include <new>

#include "render/software/adapter_state.h"

namespace gs::render::software {
namespace {

constexpr DWORD kEndToken = 0x0000FFFFu;
constexpr DWORD kCommentOpcode = 0xFFFEu;
// Far more than any shader-model-2.0 program with comments needs; bounds the walk over a stream
// that lacks its end token.
constexpr std::size_t kMaxShaderTokens = 1u << 16;

}  // namespace

std::size_t shaderTokenCount(const DWORD* function, std::size_t limit) {
    std::size_t at = 1;  // past the version token
    while (at < limit) {
        const DWORD token = function[at];
        if (token == kEndToken) {
            return at + 1;
        }
        std::size_t length;
        if ((token & 0xFFFFu) == kCommentOpcode) {
            length = (token >> 16) & 0x7FFFu;
        } else {
            length = (token >> 24) & 0xFu;  // operand tokens that follow an instruction token
        }
        at += 1 + length;
    }
    return 0;
}

HRESULT SoftwarePixelShader::create(SoftwareDevice& device, const DWORD* function,
                                    SoftwarePixelShader** shader) {
    *shader = nullptr;
    const std::size_t tokenCount = shaderTokenCount(function, kMaxShaderTokens);
    if (tokenCount == 0) {
        return kErrInvalidCall;
    }
    std::unique_ptr<PixelProgram> program;
    HRESULT hr;
    try {
        hr = PixelProgram::create(function, tokenCount, &program);
    } catch (const std::bad_alloc&) {
        return kErrOutOfVideoMemory;
    }
    if (FAILED(hr)) {
        return hr;
    }
    if (!program) {
        return kErrInvalidCall;
    }
    *shader = new (std::nothrow) SoftwarePixelShader(device, std::move(program));
    return *shader != nullptr ? S_OK : kErrOutOfVideoMemory;
}

SoftwarePixelShader::SoftwarePixelShader(SoftwareDevice& device,
                                         std::unique_ptr<PixelProgram> program)
    : DeviceChild(device, true), program_(std::move(program)) {
    countObject(ObjectKind::Shader, +1);
}

SoftwarePixelShader::~SoftwarePixelShader() {
    countObject(ObjectKind::Shader, -1);
}

}  // namespace gs::render::software
