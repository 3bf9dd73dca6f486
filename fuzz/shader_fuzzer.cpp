// Feeds arbitrary bytes to the pixel-shader validator as a token stream and runs whatever it
// accepts over a tile of pixels. Sanitizers catch reads outside the stream and the register files;
// running each accepted program twice, with the stack scribbled in between, catches a program
// that reads a temporary register before writing it, which the validator must refuse.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "render/software/shader/pixel_program.h"

namespace {

using gs::render::software::kTileLanes;
using gs::render::software::PixelProgram;
using gs::render::software::PixelTileInputs;
using gs::render::software::PixelTileOutput;
using gs::render::software::TextureUnits;

void check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "shader_fuzzer: %s\n", what);
        std::abort();
    }
}

// A texture per sampler whose colour depends only on the sampler and the coordinates.
class PatternTextures final : public TextureUnits {
public:
    void sample2D(unsigned sampler, const float* u, const float* v, int count,
                  float (*out)[kTileLanes], unsigned channels) const override {
        check(sampler < 16, "a sampler outside s0..s15");
        check(channels != 0 && channels <= 15, "a channel mask that asks for nothing or too much");
        check(count > 0 && count <= kTileLanes, "a lane count outside the tile");
        for (int i = 0; i < count; ++i) {
            const float s = std::isfinite(u[i]) ? u[i] - std::floor(u[i]) : 0.0f;
            const float t = std::isfinite(v[i]) ? v[i] - std::floor(v[i]) : 0.0f;
            out[0][i] = s;
            out[1][i] = t;
            out[2][i] = static_cast<float>(sampler) / 16.0f;
            out[3][i] = 1.0f;
        }
    }
};

// Leaves a different pattern where the interpreter's registers will lie on its next call.
__attribute__((noinline)) void scribbleStack(unsigned char pattern) {
    volatile unsigned char area[64 * 1024];
    for (std::size_t i = 0; i < sizeof area; ++i) {
        area[i] = pattern;
    }
}

__attribute__((noinline)) void runOnce(const PixelProgram& program, const float (*constants)[4],
                                       const PixelTileInputs& inputs, int count,
                                       PixelTileOutput& output, unsigned char pattern) {
    scribbleStack(pattern);
    static const PatternTextures textures;
    program.run(constants, textures, inputs, count, output);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The stream as DWORDs, in its own allocation: the sanitizer sees any read past its end.
    const std::size_t tokenCount = size / sizeof(DWORD);
    std::unique_ptr<DWORD[]> tokens(new DWORD[tokenCount == 0 ? 1 : tokenCount]);
    std::memcpy(tokens.get(), data, tokenCount * sizeof(DWORD));

    std::unique_ptr<PixelProgram> program;
    const HRESULT hr = PixelProgram::create(tokens.get(), tokenCount, &program);
    if (FAILED(hr)) {
        check(program == nullptr, "a refused program was handed out");
        return 0;
    }
    check(program != nullptr, "an accepted stream gave no program");
    check(program->tokenCount() <= tokenCount, "the program claims tokens past the stream");
    check(std::memcmp(program->tokens(), tokens.get(), program->tokenCount() * sizeof(DWORD)) == 0,
          "the program's tokens differ from the stream");

    static PixelTileInputs inputs = [] {
        PixelTileInputs in{};
        for (int r = 0; r < 8; ++r) {
            for (int c = 0; c < 4; ++c) {
                for (int i = 0; i < kTileLanes; ++i) {
                    in.texcoord[r][c][i] = static_cast<float>(i * (r + 1)) * 0.37f - c;
                }
            }
        }
        for (int r = 0; r < 2; ++r) {
            for (int c = 0; c < 4; ++c) {
                for (int i = 0; i < kTileLanes; ++i) {
                    in.colour[r][c][i] = static_cast<float>((i + r + c) % 7) / 7.0f;
                }
            }
        }
        return in;
    }();
    float constants[32][4];
    for (int r = 0; r < 32; ++r) {
        for (int c = 0; c < 4; ++c) {
            constants[r][c] = static_cast<float>(r - 2 * c) * 0.25f;
        }
    }
    // A partial tile too: lanes past `count` must stay untouched.
    const int count = kTileLanes - static_cast<int>(size % 5);
    PixelTileOutput first{};
    PixelTileOutput second{};
    runOnce(*program, constants, inputs, count, first, 0x00);
    runOnce(*program, constants, inputs, count, second, 0xFF);
    for (int c = 0; c < 4; ++c) {
        check(std::memcmp(first.colour[c], second.colour[c], sizeof(float) * count) == 0,
              "the output depends on what was on the stack: a register read before it was "
              "written");
        for (int i = count; i < kTileLanes; ++i) {
            check(first.colour[c][i] == 0.0f, "a lane past the count was written");
        }
    }
    return 0;
}
