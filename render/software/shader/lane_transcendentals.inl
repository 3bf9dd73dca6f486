// log, exp and the fused powers over a tile's lanes, for instruction sets without vector versions
// of their own: tile_kernels.cpp includes this inside such a set's namespace and target region,
// where the loops vectorise with the per-lane functions of shader_arithmetic.h. It includes nothing
// itself.
//
// `sign` is 0x80000000 for a negated source.

void logarithm2Lanes(const float* a, std::uint32_t sign, float* d, int count) {
    for (int i = 0; i < count; ++i) {
        d[i] =
            arithmetic::logarithm2(std::bit_cast<float>(std::bit_cast<std::uint32_t>(a[i]) ^ sign));
    }
}

void exponential2Lanes(const float* a, std::uint32_t sign, float* d, int count) {
    for (int i = 0; i < count; ++i) {
        d[i] = arithmetic::exponential2(
            std::bit_cast<float>(std::bit_cast<std::uint32_t>(a[i]) ^ sign));
    }
}

void shortPowerLanes(const float* a, std::uint32_t sign, float y, float* d, int count) {
    for (int i = 0; i < count; ++i) {
        d[i] = arithmetic::shortPower(
            std::bit_cast<float>(std::bit_cast<std::uint32_t>(a[i]) ^ sign), y);
    }
}
