// The fused power by a table over a tile's lanes, lane by lane, for instruction sets without a
// vector version of their own: tile_kernels.cpp includes this inside such a set's namespace. It
// includes nothing itself.

// The sign of the source does not matter to |x|^y.
void tablePowerLanes(const float* a, const PowerTable& table, float* d, int count) {
    for (int i = 0; i < count; ++i) {
        d[i] = arithmetic::tablePower(a[i], table);
    }
}
