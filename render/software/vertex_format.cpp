#include "render/software/vertex_format.h"

#include <cstring>

#include "render/software/colour_conversion.h"

namespace gs::render::software {
namespace {

constexpr DWORD kPositionMask = 0x400E;
constexpr DWORD kFvfNormal = 0x010;
constexpr DWORD kFvfSpecular = 0x080;
constexpr DWORD kTexCountMask = 0xF00;
constexpr DWORD kTexCountShift = 8;
// Bits a pre-transformed format may carry: position, point size, colours, texture count and the
// texture-coordinate sizes.
constexpr DWORD kAllowedBits =
    kPositionMask | kFvfPSize | kFvfDiffuse | kFvfSpecular | kTexCountMask | 0xFFFF0000u;

float readFloat(const unsigned char* bytes) {
    float value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

Colour readColour(const unsigned char* bytes) {
    Colour value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

void writeColour(Colour c, float* slots) {
    slots[0] = channelRed(c);
    slots[1] = channelGreen(c);
    slots[2] = channelBlue(c);
    slots[3] = channelAlpha(c);
}

}  // namespace

bool VertexLayout::parse(DWORD fvf, VertexLayout* layout) {
    if ((fvf & kPositionMask) != kFvfXyzRhw || (fvf & ~kAllowedBits) != 0 ||
        (fvf & kFvfNormal) != 0) {
        return false;
    }
    const int sets = static_cast<int>((fvf & kTexCountMask) >> kTexCountShift);
    if (sets > kMaxTexCoordSets) {
        return false;
    }
    VertexLayout result;
    int offset = 16;  // x, y, z, rhw
    if (fvf & kFvfPSize) {
        result.pointSizeOffset_ = offset;
        offset += 4;
    }
    if (fvf & kFvfDiffuse) {
        result.diffuseOffset_ = offset;
        offset += 4;
    }
    if (fvf & kFvfSpecular) {
        result.specularOffset_ = offset;
        offset += 4;
    }
    result.texCoordSets_ = sets;
    for (int set = 0; set < sets; ++set) {
        // Two bits per set: 0 two floats, 1 three, 2 four, 3 one.
        static constexpr int kComponents[4] = {2, 3, 4, 1};
        const int components = kComponents[(fvf >> (16 + 2 * set)) & 3];
        result.texOffset_[set] = offset;
        result.texComponents_[set] = components;
        offset += 4 * components;
    }
    result.size_ = static_cast<UINT>(offset);
    *layout = result;
    return true;
}

bool VertexLayout::suppliesSlot(int slot) const {
    if (slot < kSpecularSlot) {
        return hasDiffuse();
    }
    if (slot < kTexCoordSlot) {
        return hasSpecular();
    }
    const int set = (slot - kTexCoordSlot) / 4;
    const int component = (slot - kTexCoordSlot) % 4;
    return set < texCoordSets_ && component < texComponents_[set];
}

void VertexLayout::decodePosition(const unsigned char* bytes, float* x, float* y,
                                  float* pointSize) const {
    *x = readFloat(bytes);
    *y = readFloat(bytes + 4);
    *pointSize = hasPointSize() ? readFloat(bytes + pointSizeOffset_) : 0.0f;
}

void VertexLayout::decode(const unsigned char* bytes, Vertex* vertex) const {
    decodePosition(bytes, &vertex->x, &vertex->y, &vertex->pointSize);
    vertex->rhw = readFloat(bytes + 12);
    float* slots = vertex->attributes.data();
    writeColour(hasDiffuse() ? readColour(bytes + diffuseOffset_) : 0xFFFFFFFFu,
                slots + kDiffuseSlot);
    writeColour(hasSpecular() ? readColour(bytes + specularOffset_) : 0u, slots + kSpecularSlot);
    for (int set = 0; set < kMaxTexCoordSets; ++set) {
        float* t = slots + kTexCoordSlot + 4 * set;
        t[0] = t[1] = t[2] = 0.0f;
        t[3] = 1.0f;
        if (set < texCoordSets_) {
            for (int c = 0; c < texComponents_[set]; ++c) {
                t[c] = readFloat(bytes + texOffset_[set] + 4 * c);
            }
        }
    }
}

}  // namespace gs::render::software
