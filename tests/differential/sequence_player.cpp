#include "tests/differential/sequence_player.h"

#include <cstdio>

namespace gs::differential {

namespace {

std::string describe(const char* call, HRESULT result) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(result));
    return std::string(call) + " failed with " + code;
}

}  // namespace

SequencePlayer::SequencePlayer(const FrameSequence& sequence, SetClock setClock)
    : sequence_(sequence), setClock_(setClock) {}

std::unique_ptr<SequencePlayer> SequencePlayer::start(IClassFactory* factory,
                                                      const FrameSequence& sequence, HWND window,
                                                      SetClock setClock, std::string& error) {
    std::unique_ptr<SequencePlayer> player(new SequencePlayer(sequence, setClock));
    if (!player->makeTarget()) {
        error = "cannot make a DIB section of the rectangle's size";
        return nullptr;
    }
    // The object takes its starting hue from the clock while it is constructed.
    setClock(sequence.creationClock);
    HRESULT result = factory->CreateInstance(nullptr, plugin::kIIDWmpEffects2,
                                             reinterpret_cast<void**>(&player->effects_));
    if (FAILED(result) || player->effects_ == nullptr) {
        error = describe("CreateInstance", result);
        return nullptr;
    }
    IWMPEffects2* effects = player->effects_;
    struct Step {
        const char* call;
        HRESULT result;
    };
    const Step steps[] = {
        {"SetCore", effects->SetCore(nullptr)},
        {"Create", effects->Create(window)},
        {"MediaInfo", effects->MediaInfo(sequence.channelCount, sequence.sampleRate, nullptr)},
        {"SetCurrentPreset", effects->SetCurrentPreset(sequence.preset)},
    };
    for (const Step& step : steps) {
        if (step.result != S_OK) {
            error = describe(step.call, step.result);
            return nullptr;
        }
    }
    return player;
}

SequencePlayer::~SequencePlayer() {
    if (effects_ != nullptr) {
        effects_->Destroy();
        effects_->Release();
    }
    if (previous_ != nullptr) {
        SelectObject(dc_, previous_);
    }
    if (bitmap_ != nullptr) {
        DeleteObject(bitmap_);
    }
    if (dc_ != nullptr) {
        DeleteDC(dc_);
    }
}

bool SequencePlayer::makeTarget() {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = sequence_.width;
    info.bmiHeader.biHeight = -sequence_.height;  // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    dc_ = CreateCompatibleDC(nullptr);
    if (dc_ == nullptr) {
        return false;
    }
    void* bits = nullptr;
    bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap_ == nullptr) {
        return false;
    }
    previous_ = SelectObject(dc_, bitmap_);
    bits_ = static_cast<const std::uint32_t*>(bits);
    rect_ = {0, 0, sequence_.width, sequence_.height};
    return true;
}

HRESULT SequencePlayer::render(std::size_t index) {
    const RecordedFrame& frame = sequence_.frames[index];
    setClock_(frame.clock);
    levels_ = frame.levels;
    return effects_->Render(&levels_, dc_, &rect_);
}

void SequencePlayer::copyPixels(std::uint32_t* out) const {
    const std::size_t count =
        static_cast<std::size_t>(sequence_.width) * static_cast<std::size_t>(sequence_.height);
    for (std::size_t i = 0; i < count; ++i) {
        out[i] = bits_[i] & 0x00FFFFFFu;  // the fourth byte is not part of the picture
    }
}

}  // namespace gs::differential
