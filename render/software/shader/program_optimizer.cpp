#include "render/software/shader/program_optimizer.h"

#include <algorithm>
#include <bit>

#include "render/software/shader/power_table.h"

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
            // u and v; a sample at a distance reads the distance's sources, its scale and v.
            if (step.fused == FusedOperation::SampleAtScaledDistance ||
                step.fused == FusedOperation::SampleAtTwiceScaledDistance) {
                return operand == 2 ? 3u : 7u;
            }
            return 3u;
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
bool operator==(ComponentRef a, ComponentRef b) {
    return a.file == b.file && a.index == b.index;
}

template <class Visit>
void forEachBit(unsigned mask, Visit visit) {
    for (unsigned c = 0; c < 4; ++c) {
        if ((mask >> c) & 1u) {
            visit(c);
        }
    }
}

// Def-use links of a straight-line program.
struct Use {
    std::size_t step;
    unsigned operand;
    unsigned slot;
};
struct Links {
    // For each read, step * 4 + component of the write it sees; -1 for constants and inputs.
    std::vector<std::array<std::array<int, 4>, 3>> reaching;
    // For each write (step, component), the reads that see it.
    std::vector<std::array<std::vector<Use>, 4>> uses;
};

Links link(const std::vector<ProgramStep>& steps) {
    Links links;
    links.reaching.resize(steps.size());
    links.uses.resize(steps.size());
    std::array<int, kKeyCount> lastWrite;
    lastWrite.fill(-1);
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const ProgramStep& step = steps[i];
        for (unsigned op = 0; op < 3; ++op) {
            links.reaching[i][op].fill(-1);
            forEachBit(readSlots(step, op), [&](unsigned slot) {
                const ComponentRef ref = step.source[op][slot];
                if (!isWritable(ref.file)) {
                    return;
                }
                const int write = lastWrite[keyOf(ref)];
                links.reaching[i][op][slot] = write;
                if (write >= 0) {
                    links.uses[static_cast<std::size_t>(write / 4)][write % 4].push_back(
                        {i, op, slot});
                }
            });
        }
        forEachBit(storedComponents(step), [&](unsigned c) {
            lastWrite[keyOf(step.destination[c])] = static_cast<int>(i * 4 + c);
        });
    }
    return links;
}

void eraseSteps(std::vector<ProgramStep>& steps, std::vector<std::size_t> doomed) {
    std::sort(doomed.begin(), doomed.end());
    doomed.erase(std::unique(doomed.begin(), doomed.end()), doomed.end());
    for (auto it = doomed.rbegin(); it != doomed.rend(); ++it) {
        steps.erase(steps.begin() + static_cast<std::ptrdiff_t>(*it));
    }
}

// Backward liveness: a component is live when a later read sees it; the components of oC0 in
// `outputMask` are live at the end.
void removeDeadCode(std::vector<ProgramStep>& steps, unsigned outputMask) {
    std::array<bool, kKeyCount> live{};
    for (unsigned c = 0; c < 4; ++c) {
        live[keyOf({RegisterFile::Output, static_cast<std::uint16_t>(c)})] =
            ((outputMask >> c) & 1u) != 0;
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

// True when nothing in steps (from, to) overwrites `ref`.
bool unchangedBetween(const std::vector<ProgramStep>& steps, ComponentRef ref, std::size_t from,
                      std::size_t to) {
    if (!isWritable(ref.file)) {
        return true;
    }
    for (std::size_t i = from + 1; i < to; ++i) {
        bool hit = false;
        forEachBit(storedComponents(steps[i]),
                   [&](unsigned c) { hit = hit || steps[i].destination[c] == ref; });
        if (hit) {
            return false;
        }
    }
    return true;
}

// The unsaturated single-component `opcode` step that made `write`, if one read alone sees it.
const ProgramStep* soleFeeder(const std::vector<ProgramStep>& steps, const Links& links, int write,
                              Opcode opcode, std::size_t* index) {
    if (write < 0) {
        return nullptr;
    }
    *index = static_cast<std::size_t>(write / 4);
    const ProgramStep& feeder = steps[*index];
    if (feeder.opcode != opcode || feeder.fused != FusedOperation::None || feeder.saturate ||
        std::popcount(static_cast<unsigned>(feeder.writeMask)) != 1 ||
        links.uses[*index][write % 4].size() != 1) {
        return nullptr;
    }
    return &feeder;
}

// rcp of an rsq whose result nothing else reads: sqrt|x|.
bool fuseSquareRoot(std::vector<ProgramStep>& steps, const Links& links, std::size_t j) {
    ProgramStep& step = steps[j];
    if (step.opcode != Opcode::Rcp || step.fused != FusedOperation::None || step.sign[0] != 0) {
        return false;
    }
    std::size_t i = 0;
    const ProgramStep* rsq = soleFeeder(steps, links, links.reaching[j][0][0], Opcode::Rsq, &i);
    if (rsq == nullptr || !unchangedBetween(steps, rsq->source[0][0], i, j)) {
        return false;
    }
    step.fused = FusedOperation::SquareRoot;
    step.source[0] = rsq->source[0];
    step.sign[0] = rsq->sign[0];
    eraseSteps(steps, {i});
    return true;
}

// Step j as a single-component mul of a uniform by a result that only j reads, either operand
// being the uniform: the index of the step that made the result, where `qualifies(feeder, index,
// component)` accepts it, and the uniform.
template <class Qualifies>
bool soleScaledResult(const std::vector<ProgramStep>& steps, const Links& links, std::size_t j,
                      Qualifies qualifies, std::size_t* feeder, ComponentRef* scale) {
    const ProgramStep& step = steps[j];
    if (step.opcode != Opcode::Mul || step.fused != FusedOperation::None ||
        std::popcount(static_cast<unsigned>(step.writeMask)) != 1) {
        return false;
    }
    const unsigned c =
        static_cast<unsigned>(std::countr_zero(static_cast<unsigned>(step.writeMask)));
    for (unsigned operand = 0; operand < 2; ++operand) {
        *scale = step.source[1 - operand][c];
        const int write = links.reaching[j][operand][c];
        if (!isUniform(scale->file) || write < 0) {
            continue;
        }
        *feeder = static_cast<std::size_t>(write / 4);
        if (links.uses[*feeder][write % 4].size() == 1 &&
            qualifies(steps[*feeder], *feeder, static_cast<unsigned>(write % 4))) {
            return true;
        }
    }
    return false;
}

// A fused square root multiplied by a uniform, nothing else reading the root: one pass. Exact
// against the pair: the product rounds once either way, and a negation moves to the uniform.
bool fuseScaledSquareRoot(std::vector<ProgramStep>& steps, const Links& links, std::size_t j) {
    std::size_t i = 0;
    ComponentRef scale;
    const auto isRoot = [&](const ProgramStep& root, std::size_t index, unsigned) {
        return root.fused == FusedOperation::SquareRoot && !root.saturate && !root.laneZeroOnly &&
               std::popcount(static_cast<unsigned>(root.writeMask)) == 1 &&
               unchangedBetween(steps, root.source[0][0], index, j);
    };
    if (!soleScaledResult(steps, links, j, isRoot, &i, &scale)) {
        return false;
    }
    ProgramStep& step = steps[j];
    const ProgramStep& root = steps[i];
    step.form = InstructionForm::Scalar;
    step.fused = FusedOperation::ScaledSquareRoot;
    step.sign[1] = step.sign[0] ^ step.sign[1];
    step.source[1] = {scale, scale, scale, scale};
    step.source[0] = root.source[0];
    step.sign[0] = root.sign[0];
    eraseSteps(steps, {i});
    return true;
}

// exp of (log x) times a constant, neither intermediate read elsewhere: |x|^constant, by a table
// made for the exponent where that is a def constant the tables cover.
bool fusePower(std::vector<ProgramStep>& steps, const Links& links, const DefinedConstants& defined,
               std::size_t j) {
    ProgramStep& step = steps[j];
    if (step.opcode != Opcode::Exp || step.fused != FusedOperation::None) {
        return false;
    }
    const int productWrite = links.reaching[j][0][0];
    if (productWrite < 0) {
        return false;
    }
    const auto m = static_cast<std::size_t>(productWrite / 4);
    const unsigned mc = static_cast<unsigned>(productWrite % 4);
    const ProgramStep& mul = steps[m];
    if (mul.opcode != Opcode::Mul || mul.saturate || links.uses[m][mc].size() != 1) {
        return false;
    }
    unsigned logOperand = 0;
    if (isUniform(mul.source[0][mc].file)) {
        logOperand = 1;
    } else if (!isUniform(mul.source[1][mc].file)) {
        return false;
    }
    std::size_t l = 0;
    const ProgramStep* log =
        soleFeeder(steps, links, links.reaching[m][logOperand][mc], Opcode::Log, &l);
    if (log == nullptr || !unchangedBetween(steps, log->source[0][0], l, j)) {
        return false;
    }
    const ComponentRef exponent = mul.source[1 - logOperand][mc];
    step.sign[1] = mul.sign[0] ^ mul.sign[1] ^ step.sign[0];
    step.source[1] = {exponent, exponent, exponent, exponent};
    step.source[0] = log->source[0];
    step.sign[0] = log->sign[0];
    step.operandCount = 2;
    step.fused = exponent.file == RegisterFile::DefinedConstant &&
                         PowerTable::covers(powerExponent(step, defined))
                     ? FusedOperation::TablePower
                     : FusedOperation::Power;
    steps[m].writeMask = static_cast<std::uint8_t>(mul.writeMask & ~(1u << mc));
    std::vector<std::size_t> doomed{l};
    if (steps[m].writeMask == 0) {
        doomed.push_back(m);
    }
    eraseSteps(steps, std::move(doomed));
    return true;
}

// dp3 of a difference with itself, the difference read nowhere else: the sum of the squared
// differences in one pass. Exact: the same roundings in the same order.
bool fuseSquaredDistance(std::vector<ProgramStep>& steps, const Links& links, std::size_t j) {
    ProgramStep& step = steps[j];
    if (step.opcode != Opcode::Dp3 || step.fused != FusedOperation::None ||
        step.sign[0] != step.sign[1] || step.laneZeroOnly) {
        return false;
    }
    int feeder = -1;
    std::array<unsigned, 3> component{};
    for (unsigned slot = 0; slot < 3; ++slot) {
        const int write = links.reaching[j][0][slot];
        if (write < 0 || links.reaching[j][1][slot] != write ||
            (feeder >= 0 && write / 4 != feeder)) {
            return false;
        }
        feeder = write / 4;
        component[slot] = static_cast<unsigned>(write % 4);
    }
    const auto i = static_cast<std::size_t>(feeder);
    const ProgramStep& difference = steps[i];
    if ((difference.opcode != Opcode::Add && difference.opcode != Opcode::Sub) ||
        difference.fused != FusedOperation::None || difference.saturate ||
        difference.laneZeroOnly) {
        return false;
    }
    bool onlyThisReads = true;
    forEachBit(storedComponents(difference), [&](unsigned c) {
        onlyThisReads = onlyThisReads && difference.destination[c].file == RegisterFile::Temp;
        for (const Use& use : links.uses[i][c]) {
            onlyThisReads = onlyThisReads && use.step == j;
        }
    });
    if (!onlyThisReads) {
        return false;
    }
    for (unsigned slot = 0; slot < 3; ++slot) {
        for (unsigned op = 0; op < 2; ++op) {
            if (!unchangedBetween(steps, difference.source[op][component[slot]], i, j)) {
                return false;
            }
        }
    }
    for (unsigned slot = 0; slot < 3; ++slot) {
        for (unsigned op = 0; op < 2; ++op) {
            step.source[op][slot] = difference.source[op][component[slot]];
        }
    }
    step.sign = difference.sign;
    step.uniformSources = difference.uniformSources;
    step.fused = FusedOperation::SquaredDistance;
    eraseSteps(steps, {i});
    return true;
}

// Operands that an instruction reads only as magnitudes: abs before them changes nothing.
bool readsMagnitude(const ProgramStep& step, unsigned operand) {
    return operand == 0 && step.fused == FusedOperation::None &&
           (step.opcode == Opcode::Log || step.opcode == Opcode::Rsq);
}

// abs whose every reader takes the magnitude anyway (log, rsq): the readers read its source.
bool dropRedundantAbsolute(std::vector<ProgramStep>& steps, const Links& links, std::size_t i) {
    const ProgramStep& absolute = steps[i];
    if (absolute.opcode != Opcode::Abs || absolute.saturate || absolute.laneZeroOnly) {
        return false;
    }
    bool redundant = true;
    forEachBit(absolute.writeMask, [&](unsigned c) {
        redundant = redundant && absolute.destination[c].file == RegisterFile::Temp;
        for (const Use& use : links.uses[i][c]) {
            redundant = redundant && readsMagnitude(steps[use.step], use.operand) &&
                        unchangedBetween(steps, absolute.source[0][c], i, use.step);
        }
    });
    if (!redundant) {
        return false;
    }
    forEachBit(absolute.writeMask, [&](unsigned c) {
        for (const Use& use : links.uses[i][c]) {
            steps[use.step].source[use.operand][use.slot] = absolute.source[0][c];
        }
    });
    eraseSteps(steps, {i});
    return true;
}

// Tries `fuse` at each step, linking the program afresh after every change, until none applies.
template <class Fuse>
void fuseWhileAny(std::vector<ProgramStep>& steps, Fuse fuse) {
    for (bool changed = true; changed;) {
        changed = false;
        const Links links = link(steps);
        for (std::size_t j = 0; j < steps.size() && !changed; ++j) {
            changed = fuse(links, j);
        }
    }
}

void fuseExactChains(std::vector<ProgramStep>& steps) {
    fuseWhileAny(steps, [&](const Links& links, std::size_t j) {
        return fuseSquaredDistance(steps, links, j) || dropRedundantAbsolute(steps, links, j);
    });
}

void fuseChains(std::vector<ProgramStep>& steps, const DefinedConstants& defined) {
    fuseWhileAny(steps, [&](const Links& links, std::size_t j) {
        return fuseSquareRoot(steps, links, j) || fuseScaledSquareRoot(steps, links, j) ||
               fusePower(steps, links, defined, j);
    });
}

// The add or sub whose results step j reads through `operand` in `slots`, where nothing else reads
// those results and its sources hold the values it read until j: its index, and the component of
// its result that each slot reads. The step can then add as it reads.
bool soleSum(const std::vector<ProgramStep>& steps, const Links& links, std::size_t j,
             unsigned operand, unsigned slots, std::size_t* index, std::array<unsigned, 4>* of) {
    int feeder = -1;
    unsigned read = 0;
    bool found = slots != 0;
    forEachBit(slots, [&](unsigned slot) {
        const int write = links.reaching[j][operand][slot];
        found = found && write >= 0 && (feeder < 0 || write / 4 == feeder);
        if (found) {
            feeder = write / 4;
            (*of)[slot] = static_cast<unsigned>(write % 4);
            read |= 1u << (write % 4);
        }
    });
    if (!found) {
        return false;
    }
    *index = static_cast<std::size_t>(feeder);
    const ProgramStep& sum = steps[*index];
    if ((sum.opcode != Opcode::Add && sum.opcode != Opcode::Sub) ||
        sum.fused != FusedOperation::None || sum.saturate) {
        return false;
    }
    bool sole = true;
    forEachBit(read, [&](unsigned k) {
        sole = sole && sum.destination[k].file == RegisterFile::Temp;
        for (const Use& use : links.uses[*index][k]) {
            sole = sole && use.step == j && use.operand == operand;
        }
        for (unsigned s = 0; s < 2; ++s) {
            const ComponentRef source = sum.source[s][k];
            sole = sole && unchangedBetween(steps, source, *index, j);
            // The add's own writes that stay must not overwrite what it read for these.
            forEachBit(sum.writeMask & ~read,
                       [&](unsigned m) { sole = sole && !(sum.destination[m] == source); });
        }
    });
    return sole;
}

// Takes the components that step j now computes itself out of the add at `index`, and the add
// with them once nothing is left.
void dropSumComponents(std::vector<ProgramStep>& steps, std::size_t index,
                       const std::array<unsigned, 4>& of, unsigned slots) {
    forEachBit(slots, [&](unsigned slot) {
        steps[index].writeMask =
            static_cast<std::uint8_t>(steps[index].writeMask & ~(1u << of[slot]));
    });
    if (steps[index].writeMask == 0) {
        eraseSteps(steps, {index});
    }
}

// A mul of an add's results: (a + b) * c in one pass. A negation of the sum moves to c: the
// product's magnitude rounds the same either way.
bool fuseSumProduct(std::vector<ProgramStep>& steps, const Links& links, std::size_t j) {
    ProgramStep& step = steps[j];
    if (step.opcode != Opcode::Mul || step.fused != FusedOperation::None) {
        return false;
    }
    for (unsigned sumOperand = 0; sumOperand < 2; ++sumOperand) {
        std::size_t i = 0;
        std::array<unsigned, 4> of{};
        if (!soleSum(steps, links, j, sumOperand, step.writeMask, &i, &of)) {
            continue;
        }
        const ProgramStep& sum = steps[i];
        const std::array<ComponentRef, 4> factor = step.source[1 - sumOperand];
        const std::uint32_t factorSign = step.sign[0] ^ step.sign[1];
        forEachBit(step.writeMask, [&](unsigned c) {
            step.source[0][c] = sum.source[0][of[c]];
            step.source[1][c] = sum.source[1][of[c]];
        });
        step.source[2] = factor;
        step.sign = {sum.sign[0], sum.sign[1], factorSign};
        step.operandCount = 3;
        step.fused = FusedOperation::SumProduct;
        dropSumComponents(steps, i, of, step.writeMask);
        return true;
    }
    return false;
}

// A square root or a table power of an add's result: the add in the same pass. Both take the
// magnitude, so a negation of the sum changes nothing.
bool fuseSumIntoMagnitude(std::vector<ProgramStep>& steps, const Links& links, std::size_t j) {
    ProgramStep& step = steps[j];
    if (step.fused != FusedOperation::SquareRoot && step.fused != FusedOperation::TablePower) {
        return false;
    }
    std::size_t i = 0;
    std::array<unsigned, 4> of{};
    if (!soleSum(steps, links, j, 0, 1u, &i, &of)) {
        return false;
    }
    const ProgramStep& sum = steps[i];
    // The square root takes the addend as its second source; the power has its exponent there.
    const unsigned addend = step.fused == FusedOperation::SquareRoot ? 1u : 2u;
    const ComponentRef a = sum.source[0][of[0]], b = sum.source[1][of[0]];
    step.source[0] = {a, a, a, a};
    step.source[addend] = {b, b, b, b};
    step.sign[0] = sum.sign[0];
    step.sign[addend] = sum.sign[1];
    step.operandCount = static_cast<std::uint8_t>(addend + 1);
    step.fused = step.fused == FusedOperation::SquareRoot ? FusedOperation::SquareRootOfSum
                                                          : FusedOperation::TablePowerOfSum;
    dropSumComponents(steps, i, of, 1u);
    return true;
}

// A scaled square root of a squared distance that nothing else reads: one pass.
bool fuseScaledDistance(std::vector<ProgramStep>& steps, const Links& links, std::size_t j) {
    ProgramStep& step = steps[j];
    const int write = links.reaching[j][0][0];
    if (step.fused != FusedOperation::ScaledSquareRoot || write < 0) {
        return false;
    }
    const auto i = static_cast<std::size_t>(write / 4);
    const ProgramStep& distance = steps[i];
    if (distance.fused != FusedOperation::SquaredDistance || distance.saturate ||
        std::popcount(static_cast<unsigned>(distance.writeMask)) != 1 ||
        distance.destination[write % 4].file != RegisterFile::Temp ||
        links.uses[i][write % 4].size() != 1) {
        return false;
    }
    for (unsigned slot = 0; slot < 3; ++slot) {
        for (unsigned op = 0; op < 2; ++op) {
            if (!unchangedBetween(steps, distance.source[op][slot], i, j)) {
                return false;
            }
        }
    }
    step.source[2] = step.source[1];
    step.sign[2] = step.sign[1];
    step.source[0] = distance.source[0];
    step.source[1] = distance.source[1];
    step.sign[0] = distance.sign[0];
    step.sign[1] = distance.sign[1];
    step.form = InstructionForm::Dot3;
    step.operandCount = 3;
    step.fused = FusedOperation::ScaledDistance;
    eraseSteps(steps, {i});
    return true;
}

// A scaled distance multiplied by a second uniform, nothing else reading the first product: one
// pass, each product rounded as before. A negation of either factor moves to the second scale.
bool fuseSecondScale(std::vector<ProgramStep>& steps, const Links& links, std::size_t j) {
    std::size_t i = 0;
    ComponentRef scale;
    const auto isDistance = [&](const ProgramStep& distance, std::size_t index, unsigned c) {
        bool sole = distance.fused == FusedOperation::ScaledDistance && !distance.saturate &&
                    std::popcount(static_cast<unsigned>(distance.writeMask)) == 1 &&
                    distance.destination[c].file == RegisterFile::Temp &&
                    unchangedBetween(steps, distance.source[2][0], index, j);
        for (unsigned slot = 0; slot < 3; ++slot) {
            for (unsigned op = 0; op < 2; ++op) {
                sole = sole && unchangedBetween(steps, distance.source[op][slot], index, j);
            }
        }
        return sole;
    };
    if (!soleScaledResult(steps, links, j, isDistance, &i, &scale)) {
        return false;
    }
    ProgramStep& step = steps[j];
    const ProgramStep& distance = steps[i];
    step.factorSource[0] = {scale, scale, scale, scale};
    step.factorSign[0] = step.sign[0] ^ step.sign[1];
    step.source = distance.source;
    step.sign = distance.sign;
    step.form = InstructionForm::Dot3;
    step.operandCount = 3;
    step.fused = FusedOperation::TwiceScaledDistance;
    eraseSteps(steps, {i});
    return true;
}

// Exact fusions of a step with what feeds it, the fused chains among them.
void fuseIntoReaders(std::vector<ProgramStep>& steps) {
    fuseWhileAny(steps, [&](const Links& links, std::size_t j) {
        return fuseSumProduct(steps, links, j) || fuseSumIntoMagnitude(steps, links, j) ||
               fuseScaledDistance(steps, links, j) || fuseSecondScale(steps, links, j);
    });
}

// texld takes its coordinates as lane arrays. Where one is a def constant moved into the
// coordinate register, it reads a lane array of that constant made at compilation instead, and
// the move goes unless something else reads it.
void readConstantCoordinatesAsLanes(std::vector<ProgramStep>& steps, unsigned outputMask,
                                    std::vector<ConstantComponent>& constantLanes) {
    const Links links = link(steps);
    bool changed = false;
    for (std::size_t i = 0; i < steps.size(); ++i) {
        if (steps[i].form != InstructionForm::TextureLoad) {
            continue;
        }
        for (unsigned slot = 0; slot < 2; ++slot) {
            const int write = links.reaching[i][0][slot];
            if (write < 0) {
                continue;
            }
            const ProgramStep& move = steps[static_cast<std::size_t>(write / 4)];
            const ComponentRef value = move.source[0][write % 4];
            if (move.opcode != Opcode::Mov || move.saturate ||
                value.file != RegisterFile::DefinedConstant) {
                continue;
            }
            std::size_t k = 0;
            while (k < constantLanes.size() &&
                   !(constantLanes[k].constant == value && constantLanes[k].sign == move.sign[0])) {
                ++k;
            }
            if (k == constantLanes.size()) {
                constantLanes.push_back({value, move.sign[0]});
            }
            steps[i].source[0][slot] = {RegisterFile::ConstantLanes, static_cast<std::uint16_t>(k)};
            changed = true;
        }
    }
    if (changed) {
        removeDeadCode(steps, outputMask);
    }
}

// A result is uniform when every source it reads is; its step then runs for lane 0 alone unless
// some reader needs the whole lane array (texld, a source mixing uniform and lane components, oC0).
void propagateUniforms(std::vector<ProgramStep>& steps) {
    std::array<bool, kKeyCount> uniform{};
    std::vector<bool> uniformStep(steps.size());
    for (std::size_t i = 0; i < steps.size(); ++i) {
        ProgramStep& step = steps[i];
        step.uniformSources = 0;
        bool all = step.form != InstructionForm::TextureLoad;
        for (unsigned op = 0; op < step.operandCount; ++op) {
            bool operandUniform = true;
            forEachBit(readSlots(step, op), [&](unsigned slot) {
                const ComponentRef ref = step.source[op][slot];
                operandUniform = operandUniform && (isUniform(ref.file) ||
                                                    (isWritable(ref.file) && uniform[keyOf(ref)]));
            });
            if (operandUniform && step.form != InstructionForm::TextureLoad) {
                step.uniformSources |= static_cast<std::uint8_t>(1u << op);
            } else {
                all = false;
            }
        }
        uniformStep[i] = all;
        forEachBit(storedComponents(step),
                   [&](unsigned c) { uniform[keyOf(step.destination[c])] = all; });
    }
    const Links links = link(steps);
    for (std::size_t i = 0; i < steps.size(); ++i) {
        ProgramStep& step = steps[i];
        bool lanesNeeded = !uniformStep[i];
        forEachBit(step.writeMask, [&](unsigned c) {
            lanesNeeded = lanesNeeded || step.destination[c].file == RegisterFile::Output;
            for (const Use& use : links.uses[i][c]) {
                const ProgramStep& reader = steps[use.step];
                lanesNeeded = lanesNeeded || reader.form == InstructionForm::TextureLoad ||
                              !((reader.uniformSources >> use.operand) & 1u);
            }
        });
        step.laneZeroOnly = !lanesNeeded;
    }
}

// Where oC0 is a copy of a temporary, the writes that the copy reads go to oC0 themselves.
void coalesceOutput(std::vector<ProgramStep>& steps) {
    const auto copy = std::find_if(steps.begin(), steps.end(), [](const ProgramStep& step) {
        return step.destination[0].file == RegisterFile::Output;
    });
    if (copy == steps.end() || copy->opcode != Opcode::Mov) {
        return;
    }
    const auto m = static_cast<std::size_t>(copy - steps.begin());
    const Links links = link(steps);
    auto retarget = [&](std::size_t d, unsigned dc, unsigned c) {
        const ComponentRef output = steps[m].destination[c];
        steps[d].destination[dc] = output;
        for (const Use& use : links.uses[d][dc]) {
            steps[use.step].source[use.operand][use.slot] = output;
        }
        steps[m].writeMask = static_cast<std::uint8_t>(steps[m].writeMask & ~(1u << c));
    };
    for (unsigned c = 0; c < 4; ++c) {
        const int write = links.reaching[m][0][c];
        if (write < 0 || !((steps[m].writeMask >> c) & 1u)) {
            continue;
        }
        const auto d = static_cast<std::size_t>(write / 4);
        const ProgramStep& writer = steps[d];
        if (writer.laneZeroOnly) {
            continue;
        }
        if (writer.form == InstructionForm::TextureLoad) {
            // The sampler stores four adjacent components: all of them move, or none.
            bool whole = true;
            for (unsigned k = 0; k < 4; ++k) {
                whole = whole && links.reaching[m][0][k] == static_cast<int>(d * 4 + k);
            }
            if (whole) {
                for (unsigned k = 0; k < 4; ++k) {
                    retarget(d, k, k);
                }
            }
            continue;
        }
        retarget(d, static_cast<unsigned>(write % 4), c);
    }
    if (steps[m].writeMask == 0) {
        steps.erase(steps.begin() + static_cast<std::ptrdiff_t>(m));
    }
}

}  // namespace

float powerExponent(const ProgramStep& step, const DefinedConstants& defined) {
    const bool product = step.fused == FusedOperation::SumProductOfTablePower;
    const ComponentRef exponent = product ? step.factorExponent : step.source[1][0];
    return std::bit_cast<float>(
        std::bit_cast<std::uint32_t>(defined[exponent.index / 4][exponent.index % 4]) ^
        (product ? step.factorExponentSign : step.sign[1]));
}

namespace {

// The magnitude steps that compute the factor of the sum product at j, component by component:
// each a TablePowerOfSum or a SquareRootOfSum of lane sources that this product alone reads, all
// of one kind, one exponent and one pair of signs, and their sources unchanged up to the product.
// Their indices, or none.
std::vector<std::size_t> soleFactorSteps(const std::vector<ProgramStep>& steps, const Links& links,
                                         std::size_t j, const DefinedConstants& defined) {
    const ProgramStep& product = steps[j];
    std::vector<std::size_t> factors;
    const ProgramStep* first = nullptr;
    bool sole = product.fused == FusedOperation::SumProduct && product.uniformSources == 0 &&
                !product.laneZeroOnly;
    forEachBit(product.writeMask, [&](unsigned c) {
        const int write = links.reaching[j][2][c];
        if (!sole || write < 0) {
            sole = false;
            return;
        }
        const auto i = static_cast<std::size_t>(write / 4);
        const ProgramStep& factor = steps[i];
        const bool power = factor.fused == FusedOperation::TablePowerOfSum;
        const unsigned addend = power ? 2u : 1u;
        sole = (power || factor.fused == FusedOperation::SquareRootOfSum) && !factor.saturate &&
               !factor.laneZeroOnly && (factor.uniformSources & (1u | 1u << addend)) == 0 &&
               factor.destination[write % 4].file == RegisterFile::Temp &&
               links.uses[i][write % 4].size() == 1 &&
               unchangedBetween(steps, factor.source[0][0], i, j) &&
               unchangedBetween(steps, factor.source[addend][0], i, j);
        if (sole && first != nullptr) {
            sole = factor.fused == first->fused && factor.sign[0] == first->sign[0] &&
                   factor.sign[addend] == first->sign[addend] &&
                   (!power || std::bit_cast<std::uint32_t>(powerExponent(factor, defined)) ==
                                  std::bit_cast<std::uint32_t>(powerExponent(*first, defined)));
        }
        // The product writes x to w in turn: none of its results may land where a later
        // component's factor still reads.
        forEachBit(product.writeMask, [&](unsigned d) {
            sole = sole && !(product.destination[d] == factor.source[0][0]) &&
                   !(product.destination[d] == factor.source[addend][0]);
        });
        if (sole) {
            first = first != nullptr ? first : &factor;
            factors.push_back(i);
        }
    });
    if (!sole) {
        factors.clear();
    }
    return factors;
}

// A sum product whose factor is a table power or a square root of a sum computes that factor in
// its own pass: nothing goes through memory between the two, and each value rounds as before.
// Last of the passes, since the factor's sources become reads that the links do not show.
void fuseFactorsIntoProducts(std::vector<ProgramStep>& steps, const DefinedConstants& defined) {
    fuseWhileAny(steps, [&](const Links& links, std::size_t j) {
        const std::vector<std::size_t> factors = soleFactorSteps(steps, links, j, defined);
        if (factors.empty()) {
            return false;
        }
        ProgramStep& product = steps[j];
        std::size_t k = 0;
        forEachBit(product.writeMask, [&](unsigned c) {
            const ProgramStep& factor = steps[factors[k++]];
            const unsigned addend = factor.fused == FusedOperation::TablePowerOfSum ? 2u : 1u;
            product.factorSource[0][c] = factor.source[0][0];
            product.factorSource[1][c] = factor.source[addend][0];
            product.factorSign = {factor.sign[0], factor.sign[addend]};
            product.factorExponent = factor.source[1][0];
            product.factorExponentSign = factor.sign[1];
        });
        const bool power = steps[factors[0]].fused == FusedOperation::TablePowerOfSum;
        product.fused =
            power ? FusedOperation::SumProductOfTablePower : FusedOperation::SumProductOfSquareRoot;
        product.operandCount = 2;
        product.source[2] = {};
        eraseSteps(steps, factors);
        return true;
    });
}

// Whether a fused factor of a product reads `ref` after step `from`: reads that the links do not
// show.
bool readByAFactor(const std::vector<ProgramStep>& steps, ComponentRef ref, std::size_t from) {
    bool read = false;
    for (std::size_t k = from + 1; k < steps.size(); ++k) {
        const ProgramStep& product = steps[k];
        if (product.fused == FusedOperation::SumProductOfTablePower ||
            product.fused == FusedOperation::SumProductOfSquareRoot) {
            forEachBit(product.writeMask, [&](unsigned c) {
                read =
                    read || product.factorSource[0][c] == ref || product.factorSource[1][c] == ref;
            });
        }
    }
    return read;
}

// A texld whose u is a scaled distance that nothing else reads computes that distance itself: the
// texture units can then work on one vector's square root while they filter the vectors before it.
// After the factors' fusion, whose reads it checks apart.
void fuseDistancesIntoSamples(std::vector<ProgramStep>& steps) {
    fuseWhileAny(steps, [&](const Links& links, std::size_t j) {
        ProgramStep& sample = steps[j];
        const int write = links.reaching[j][0][0];
        if (sample.form != InstructionForm::TextureLoad || sample.fused != FusedOperation::None ||
            write < 0) {
            return false;
        }
        const auto i = static_cast<std::size_t>(write / 4);
        const ProgramStep& distance = steps[i];
        const ComponentRef result = distance.destination[write % 4];
        const bool twice = distance.fused == FusedOperation::TwiceScaledDistance;
        if ((!twice && distance.fused != FusedOperation::ScaledDistance) || distance.saturate ||
            distance.laneZeroOnly || result.file != RegisterFile::Temp ||
            links.uses[i][write % 4].size() != 1 || readByAFactor(steps, result, i)) {
            return false;
        }
        for (unsigned op = 0; op < 2; ++op) {
            for (unsigned slot = 0; slot < 3; ++slot) {
                if (!unchangedBetween(steps, distance.source[op][slot], i, j)) {
                    return false;
                }
            }
        }
        const ComponentRef v = sample.source[0][1];
        sample.source = distance.source;
        sample.source[2][1] = v;
        sample.sign = distance.sign;
        sample.factorSource[0] = distance.factorSource[0];
        sample.factorSign[0] = distance.factorSign[0];
        sample.uniformSources = distance.uniformSources;
        sample.operandCount = 3;
        sample.fused = twice ? FusedOperation::SampleAtTwiceScaledDistance
                             : FusedOperation::SampleAtScaledDistance;
        eraseSteps(steps, {i});
        return true;
    });
}

}  // namespace

void optimizeProgram(std::vector<ProgramStep>& steps, const OptimizationOptions& options,
                     const DefinedConstants& defined,
                     std::vector<ConstantComponent>& constantLanes) {
    if (!options.enabled) {
        return;
    }
    removeDeadCode(steps, options.outputMask);
    fuseExactChains(steps);
    if (options.fuse) {
        fuseChains(steps, defined);
    }
    fuseIntoReaders(steps);
    readConstantCoordinatesAsLanes(steps, options.outputMask, constantLanes);
    propagateUniforms(steps);
    coalesceOutput(steps);
    fuseFactorsIntoProducts(steps, defined);
    fuseDistancesIntoSamples(steps);
}

}  // namespace gs::render::software::detail
