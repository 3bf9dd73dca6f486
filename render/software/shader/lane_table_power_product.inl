// The sum product of a table power for instruction sets without a fused vector version of their
// own: tile_kernels.cpp includes this inside such a set's namespace, after its
// tablePowerOfSumLanes. It includes nothing itself.

// (a + b) * |p + q|^y, each source negated where its sign says and the power where `factorSign`
// does: the power into a lane array first, then the sum product, each value as the two kernels
// give it.
void sumProductOfTablePowerLanes(const float* a, std::uint32_t signA, const float* b,
                                 std::uint32_t signB, const float* p, std::uint32_t signP,
                                 const float* q, std::uint32_t signQ, std::uint32_t factorSign,
                                 const PowerTable& table, float* d, int count) {
    alignas(64) float power[kTileLanes];
    tablePowerOfSumLanes(p, signP, q, signQ, table, power, count);
    const auto negated = [](float x, std::uint32_t sign) {
        return std::bit_cast<float>(std::bit_cast<std::uint32_t>(x) ^ sign);
    };
    for (int i = 0; i < count; ++i) {
        d[i] = (negated(a[i], signA) + negated(b[i], signB)) * negated(power[i], factorSign);
    }
}
