// The fused power by a table over a tile's lanes, lane by lane, for instruction sets without a
// vector version of their own: tile_kernels.cpp includes this inside such a set's namespace. It
// includes nothing itself.

// The sign of the source does not matter to |x|^y.
void tablePowerLanes(const float* a, const PowerTable& table, float* d, int count) {
    for (int i = 0; i < count; ++i) {
        d[i] = arithmetic::tablePower(a[i], table);
    }
}

// |a + b|^y, each source negated where its sign says, the sum rounded as an add rounds it.
void tablePowerOfSumLanes(const float* a, std::uint32_t signA, const float* b, std::uint32_t signB,
                          const PowerTable& table, float* d, int count) {
    for (int i = 0; i < count; ++i) {
        const float sum = std::bit_cast<float>(std::bit_cast<std::uint32_t>(a[i]) ^ signA) +
                          std::bit_cast<float>(std::bit_cast<std::uint32_t>(b[i]) ^ signB);
        d[i] = arithmetic::tablePower(sum, table);
    }
}
