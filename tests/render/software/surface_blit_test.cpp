// A point-sampled copy taken a band of source rows at a time, as a banded run of draws takes the
// frame's capture: the same pixels as one copy, each row written once its source row is there.
#include <gtest/gtest.h>

#include <vector>

#include "render/software/surface_blit.h"

namespace gs::render::software {
namespace {

struct Pixels {
    std::vector<Colour> memory;
    PixelBuffer buffer;

    Pixels(UINT width, UINT height, Colour fill) : memory(std::size_t{width} * height, fill) {
        buffer = {memory.data(), width, height, width, Format::A8R8G8B8};
    }
};

TEST(SurfaceBlitTest, CopyingBandByBandWritesEachRowOnceItsSourceRowIsThere) {
    struct Case {
        UINT sourceWidth, sourceHeight, destinationWidth, destinationHeight;
        RECT sourceRect, destinationRect;
    };
    const Case cases[] = {
        {40, 37, 20, 18, {0, 0, 39, 35}, {0, 0, 20, 18}},  // the capture, an uneven ratio
        {40, 36, 20, 18, {0, 0, 40, 36}, {0, 0, 20, 18}},  // exactly half
        {12, 9, 30, 25, {2, 3, 11, 9}, {1, 2, 29, 25}},    // enlarged, both rectangles inside
        {16, 16, 16, 16, {0, 0, 16, 16}, {0, 0, 16, 16}},  // one to one
        {9, 40, 4, 3, {1, 5, 8, 38}, {0, 0, 4, 3}},        // many source rows to a row
    };
    for (const Case& c : cases) {
        Pixels source(c.sourceWidth, c.sourceHeight, 0);
        for (std::size_t i = 0; i < source.memory.size(); ++i) {
            source.memory[i] = Colour(0xFF000000u | i * 0x010203u);
        }
        Pixels whole(c.destinationWidth, c.destinationHeight, 0x12345678u);
        stretchRect(source.buffer, c.sourceRect, whole.buffer, c.destinationRect, false);
        for (const LONG band : {1, 3, 8}) {
            SCOPED_TRACE(testing::Message()
                         << c.sourceWidth << "x" << c.sourceHeight << " to " << c.destinationWidth
                         << "x" << c.destinationHeight << ", bands of " << band);
            Pixels banded(c.destinationWidth, c.destinationHeight, 0x12345678u);
            for (LONG first = 0; first < LONG(c.sourceHeight); first += band) {
                // Rows whose source row lies beyond the band are not written yet.
                const LONG end = first + band;
                stretchPointFromRows(source.buffer, c.sourceRect, banded.buffer, c.destinationRect,
                                     first, end);
                for (LONG y = c.destinationRect.top; y < c.destinationRect.bottom; ++y) {
                    const LONG dy = y - c.destinationRect.top;
                    const LONG sh = c.sourceRect.bottom - c.sourceRect.top;
                    const LONG dh = c.destinationRect.bottom - c.destinationRect.top;
                    const LONG from = c.sourceRect.top + (2 * dy + 1) * sh / (2 * dh);
                    const Colour* row = banded.buffer.row(UINT(y)) + c.destinationRect.left;
                    const Colour* expected = whole.buffer.row(UINT(y)) + c.destinationRect.left;
                    EXPECT_EQ(row[0], from < end ? expected[0] : 0x12345678u) << "row " << y;
                }
            }
            EXPECT_EQ(banded.memory, whole.memory);
        }
    }
}

}  // namespace
}  // namespace gs::render::software
