// Pre-transformed vertices described by a flexible vertex format, and their decoding.
#pragma once

#include <array>
#include <cstddef>

#include "render/device.h"

namespace gs::render::software {

constexpr int kMaxTexCoordSets = 8;

// Attribute slots of a decoded vertex: diffuse r, g, b, a; specular r, g, b, a; then x, y, z, w
// of each texture-coordinate set.
constexpr int kDiffuseSlot = 0;
constexpr int kSpecularSlot = 4;
constexpr int kTexCoordSlot = 8;
constexpr int kAttributeSlots = kTexCoordSlot + 4 * kMaxTexCoordSets;

struct Vertex {
    float x, y, rhw;
    float pointSize;  // 0 when the format has none
    std::array<float, kAttributeSlots> attributes;
};

class VertexLayout {
public:
    // False unless `fvf` describes pre-transformed vertices (D3DFVF_XYZRHW), which is all this
    // device draws: it has no transform or lighting stage.
    static bool parse(DWORD fvf, VertexLayout* layout);

    UINT size() const { return size_; }
    bool hasPointSize() const { return pointSizeOffset_ >= 0; }
    bool hasDiffuse() const { return diffuseOffset_ >= 0; }
    bool hasSpecular() const { return specularOffset_ >= 0; }
    int texCoordSets() const { return texCoordSets_; }
    // Attribute slots the format supplies (the others keep decode's defaults).
    bool suppliesSlot(int slot) const;

    // Diffuse defaults to opaque white, specular to 0, texture coordinates to (0, 0, 0, 1) for
    // the components a set lacks.
    void decode(const unsigned char* bytes, Vertex* vertex) const;
    // decode's x, y and pointSize alone.
    void decodePosition(const unsigned char* bytes, float* x, float* y, float* pointSize) const;

private:
    UINT size_ = 0;
    int pointSizeOffset_ = -1;
    int diffuseOffset_ = -1;
    int specularOffset_ = -1;
    int texCoordSets_ = 0;
    std::array<int, kMaxTexCoordSets> texOffset_{};
    std::array<int, kMaxTexCoordSets> texComponents_{};
};

}  // namespace gs::render::software
