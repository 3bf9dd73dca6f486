#include "host/png_sequence_writer.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>

#include "host/host_error.h"

namespace gs::host {

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

void writePng(const std::filesystem::path& path, const FrameView& frame,
              std::vector<unsigned char>& rowScratch) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
    if (!file) {
        throw HostError("cannot write '" + path.string() + "': " + std::strerror(errno));
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        throw HostError("out of memory writing '" + path.string() + "'");
    }
    rowScratch.resize(static_cast<std::size_t>(frame.width) * 3);
    // libpng reports errors by longjmp; nothing with a destructor lives between here and there.
    if (setjmp(png_jmpbuf(png)) != 0) {
        png_destroy_write_struct(&png, &info);
        throw HostError("cannot write '" + path.string() + "': " + std::strerror(errno));
    }
    png_init_io(png, file.get());
    // Frames are many and large: the fastest compression keeps encoding well behind rendering.
    png_set_compression_level(png, 1);
    png_set_IHDR(png, info, static_cast<png_uint_32>(frame.width),
                 static_cast<png_uint_32>(frame.height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < frame.height; ++y) {
        const std::uint32_t* source = frame.row(y);
        unsigned char* out = rowScratch.data();
        for (int x = 0; x < frame.width; ++x) {
            out[3 * x] = static_cast<unsigned char>(source[x] >> 16);
            out[3 * x + 1] = static_cast<unsigned char>(source[x] >> 8);
            out[3 * x + 2] = static_cast<unsigned char>(source[x]);
        }
        png_write_row(png, out);
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    if (std::fflush(file.get()) != 0 || std::ferror(file.get())) {
        throw HostError("cannot write '" + path.string() + "': " + std::strerror(errno));
    }
}

PngSequenceWriter::PngSequenceWriter(const std::filesystem::path& folder) : folder_(folder) {}

void PngSequenceWriter::writeFrame(const FrameView& frame) {
    writePng(folder_.stagingPath() / StagedFolder::frameName(frames_), frame, row_);
    ++frames_;
}

void PngSequenceWriter::finish() {
    folder_.commit(frames_);
}

}  // namespace gs::host
