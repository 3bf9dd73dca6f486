#include "render/software/shader/program_optimizer.h"

#include <algorithm>

namespace gs::render::software::detail {

using shader::InstructionForm;
using shader::Opcode;

unsigned readSlots(const ProgramStep& step, unsigned operand) {
    if (operand >= step.operandCount) {
        return 0;
    }
    switch (step.form) {
        case InstructionForm::Componentwise:
            return step.writeMask;
        case InstructionForm::Scalar:
            return 1u;
        case InstructionForm::Dot3:
            return 7u;
        case InstructionForm::Dot4:
            return 15u;
        case InstructionForm::Normalize:
            return 7u | step.writeMask;
        case InstructionForm::TextureLoad:
            return 3u;  // u and v
        default:
            return 0;
    }
}

unsigned storedComponents(const ProgramStep& step) {
    return step.form == InstructionForm::TextureLoad ? 15u : step.writeMask;
}

namespace {

constexpr unsigned kKeyStride = 64;  // more than the components of any one register file
constexpr unsigned kKeyCount = kRegisterFileCount * kKeyStride;

bool isWritable(RegisterFile file) {
    return file == RegisterFile::Temp || file == RegisterFile::Output;
}
unsigned keyOf(ComponentRef ref) {
    return static_cast<unsigned>(ref.file) * kKeyStride + ref.index;
}

template <class Visit>
void forEachBit(unsigned mask, Visit visit) {
    for (unsigned c = 0; c < 4; ++c) {
        if ((mask >> c) & 1u) {
            visit(c);
        }
    }
}

void eraseSteps(std::vector<ProgramStep>& steps, std::vector<std::size_t> doomed) {
    std::sort(doomed.begin(), doomed.end());
    doomed.erase(std::unique(doomed.begin(), doomed.end()), doomed.end());
    for (auto it = doomed.rbegin(); it != doomed.rend(); ++it) {
        steps.erase(steps.begin() + static_cast<std::ptrdiff_t>(*it));
    }
}

// Backward liveness: a component is live when a later read sees it; oC0 is live at the end.
void removeDeadCode(std::vector<ProgramStep>& steps) {
    std::array<bool, kKeyCount> live{};
    for (unsigned c = 0; c < 4; ++c) {
        live[keyOf({RegisterFile::Output, static_cast<std::uint16_t>(c)})] = true;
    }
    std::vector<std::size_t> dead;
    for (std::size_t i = steps.size(); i-- > 0;) {
        ProgramStep& step = steps[i];
        unsigned liveMask = 0;
        forEachBit(step.writeMask, [&](unsigned c) {
            if (live[keyOf(step.destination[c])]) {
                liveMask |= 1u << c;
            }
        });
        if (step.form == InstructionForm::TextureLoad && liveMask != 0) {
            liveMask = step.writeMask;  // the sampler stores all four anyway
        }
        forEachBit(storedComponents(step),
                   [&](unsigned c) { live[keyOf(step.destination[c])] = false; });
        if (liveMask == 0) {
            dead.push_back(i);
            continue;
        }
        step.writeMask = static_cast<std::uint8_t>(liveMask);
        for (unsigned op = 0; op < 3; ++op) {
            forEachBit(readSlots(step, op), [&](unsigned slot) {
                if (isWritable(step.source[op][slot].file)) {
                    live[keyOf(step.source[op][slot])] = true;
                }
            });
        }
    }
    eraseSteps(steps, std::move(dead));
}

}  // namespace

void optimizeProgram(std::vector<ProgramStep>& steps, const OptimizationOptions& options) {
    if (!options.enabled) {
        return;
    }
    removeDeadCode(steps);
}

}  // namespace gs::render::software::detail
