#include "tests/differential/frame_sequence.h"

#include <bit>
#include <cstring>
#include <fstream>

namespace gs::differential {

namespace {

constexpr char kSequenceMagic[8] = {'G', 'S', 'S', 'E', 'Q', 'N', 'C', 'E'};
constexpr char kImagesMagic[8] = {'G', 'S', 'F', 'R', 'A', 'M', 'E', 'S'};
constexpr std::uint32_t kVersion = 1;

// Pixels go to and from the files as they lie in memory.
static_assert(std::endian::native == std::endian::little);

// Limits that keep a damaged header from asking for gigabytes.
constexpr std::uint32_t kMaxFrames = 100000;
constexpr std::int32_t kMaxSide = 16384;

class Writer {
public:
    explicit Writer(const std::string& path) : out_(path, std::ios::binary | std::ios::trunc) {}

    bool ok() const { return static_cast<bool>(out_); }
    void bytes(const void* data, std::size_t size) {
        out_.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    void u32(std::uint32_t value) {
        unsigned char le[4];
        for (int i = 0; i < 4; ++i) {
            le[i] = static_cast<unsigned char>(value >> (8 * i));
        }
        bytes(le, 4);
    }
    void i32(std::int32_t value) { u32(static_cast<std::uint32_t>(value)); }
    void i64(std::int64_t value) {
        u32(static_cast<std::uint32_t>(static_cast<std::uint64_t>(value)));
        u32(static_cast<std::uint32_t>(static_cast<std::uint64_t>(value) >> 32));
    }
    bool finish() {
        out_.flush();
        return static_cast<bool>(out_);
    }

private:
    std::ofstream out_;
};

class Reader {
public:
    explicit Reader(const std::string& path) : in_(path, std::ios::binary) {}

    bool ok() const { return static_cast<bool>(in_); }
    bool bytes(void* data, std::size_t size) {
        in_.read(static_cast<char*>(data), static_cast<std::streamsize>(size));
        return static_cast<bool>(in_);
    }
    bool u32(std::uint32_t& value) {
        unsigned char le[4];
        if (!bytes(le, 4)) {
            return false;
        }
        value = le[0] | (le[1] << 8) | (le[2] << 16) | (std::uint32_t{le[3]} << 24);
        return true;
    }
    bool i32(std::int32_t& value) {
        std::uint32_t raw = 0;
        const bool read = u32(raw);
        value = static_cast<std::int32_t>(raw);
        return read;
    }
    bool i64(std::int64_t& value) {
        std::uint32_t low = 0;
        std::uint32_t high = 0;
        const bool read = u32(low) && u32(high);
        value = static_cast<std::int64_t>((std::uint64_t{high} << 32) | low);
        return read;
    }
    // True when the stream ended exactly here.
    bool atEnd() { return in_.peek() == std::ifstream::traits_type::eof(); }

private:
    std::ifstream in_;
};

bool fail(std::string& error, const std::string& path, const char* why) {
    error = path + ": " + why;
    return false;
}

bool readHeader(Reader& reader, const char (&magic)[8], const std::string& path,
                std::string& error) {
    char found[8] = {};
    std::uint32_t version = 0;
    if (!reader.bytes(found, sizeof found) || std::memcmp(found, magic, sizeof found) != 0) {
        return fail(error, path, "not a file of the expected kind");
    }
    if (!reader.u32(version) || version != kVersion) {
        return fail(error, path, "written by another version of the format");
    }
    return true;
}

bool sideInRange(std::int32_t side) {
    return side > 0 && side <= kMaxSide;
}

}  // namespace

bool writeSequence(const std::string& path, const FrameSequence& sequence, std::string& error) {
    Writer out(path);
    if (!out.ok()) {
        return fail(error, path, "cannot be created");
    }
    out.bytes(kSequenceMagic, sizeof kSequenceMagic);
    out.u32(kVersion);
    out.u32(sequence.displayWidth);
    out.u32(sequence.displayHeight);
    out.i32(sequence.width);
    out.i32(sequence.height);
    out.i32(sequence.preset);
    out.i32(sequence.channelCount);
    out.i32(sequence.sampleRate);
    out.u32(sequence.creationClock);
    out.u32(static_cast<std::uint32_t>(sequence.frames.size()));
    for (const RecordedFrame& frame : sequence.frames) {
        out.u32(frame.clock);
        out.bytes(frame.levels.frequency, sizeof frame.levels.frequency);
        out.bytes(frame.levels.waveform, sizeof frame.levels.waveform);
        out.i32(frame.levels.state);
        out.i64(frame.levels.timeStamp);
    }
    return out.finish() || fail(error, path, "could not be written completely");
}

bool readSequence(const std::string& path, FrameSequence& sequence, std::string& error) {
    Reader in(path);
    if (!in.ok()) {
        return fail(error, path, "cannot be opened");
    }
    if (!readHeader(in, kSequenceMagic, path, error)) {
        return false;
    }
    FrameSequence read;
    std::uint32_t count = 0;
    if (!in.u32(read.displayWidth) || !in.u32(read.displayHeight) || !in.i32(read.width) ||
        !in.i32(read.height) || !in.i32(read.preset) || !in.i32(read.channelCount) ||
        !in.i32(read.sampleRate) || !in.u32(read.creationClock) || !in.u32(count)) {
        return fail(error, path, "header is cut short");
    }
    if (!sideInRange(read.width) || !sideInRange(read.height) || count > kMaxFrames) {
        return fail(error, path, "header holds impossible sizes");
    }
    read.frames.resize(count);
    for (RecordedFrame& frame : read.frames) {
        if (!in.u32(frame.clock) ||
            !in.bytes(frame.levels.frequency, sizeof frame.levels.frequency) ||
            !in.bytes(frame.levels.waveform, sizeof frame.levels.waveform) ||
            !in.i32(frame.levels.state) || !in.i64(frame.levels.timeStamp)) {
            return fail(error, path, "frames are cut short");
        }
    }
    if (!in.atEnd()) {
        return fail(error, path, "has bytes after its last frame");
    }
    sequence = std::move(read);
    return true;
}

bool writeImages(const std::string& path, const FrameImages& images, std::string& error) {
    Writer out(path);
    if (!out.ok()) {
        return fail(error, path, "cannot be created");
    }
    out.bytes(kImagesMagic, sizeof kImagesMagic);
    out.u32(kVersion);
    out.i32(images.width);
    out.i32(images.height);
    out.u32(static_cast<std::uint32_t>(images.frameCount()));
    out.bytes(images.pixels.data(),
              images.frameCount() * images.pixelsPerFrame() * sizeof(std::uint32_t));
    return out.finish() || fail(error, path, "could not be written completely");
}

bool readImages(const std::string& path, FrameImages& images, std::string& error) {
    Reader in(path);
    if (!in.ok()) {
        return fail(error, path, "cannot be opened");
    }
    if (!readHeader(in, kImagesMagic, path, error)) {
        return false;
    }
    FrameImages read;
    std::uint32_t count = 0;
    if (!in.i32(read.width) || !in.i32(read.height) || !in.u32(count)) {
        return fail(error, path, "header is cut short");
    }
    if (!sideInRange(read.width) || !sideInRange(read.height) || count > kMaxFrames) {
        return fail(error, path, "header holds impossible sizes");
    }
    read.pixels.resize(read.pixelsPerFrame() * count);
    if (!in.bytes(read.pixels.data(), read.pixels.size() * sizeof(std::uint32_t))) {
        return fail(error, path, "frames are cut short");
    }
    if (!in.atEnd()) {
        return fail(error, path, "has bytes after its last frame");
    }
    images = std::move(read);
    return true;
}

}  // namespace gs::differential
