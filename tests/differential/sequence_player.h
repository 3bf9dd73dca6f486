// Plays a recorded session to a plug-in the way the media player does: creates the visualizer
// through the module's class object, makes the player's opening calls, then one Render per frame
// into a memory device context holding a top-down 32-bit DIB section of the rectangle's size. The
// same code drives the Linux module and the Windows DLL; each side supplies the class object, the
// window and a way to set the clock the module reads.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "plugin/player_interfaces.h"

#include "tests/differential/frame_sequence.h"

namespace gs::differential {

// Sets the time that timeGetTime answers the module from now on (Sleep advances it).
using SetClock = void (*)(DWORD milliseconds);

class SequencePlayer {
public:
    // Creates the visualizer at the sequence's creation time, gives it no core, `window` through
    // Create, the stream's format and the preset. Null, with the reason in `error`, when any of
    // that fails.
    static std::unique_ptr<SequencePlayer> start(IClassFactory* factory,
                                                 const FrameSequence& sequence, HWND window,
                                                 SetClock setClock, std::string& error);
    ~SequencePlayer();
    SequencePlayer(const SequencePlayer&) = delete;
    SequencePlayer& operator=(const SequencePlayer&) = delete;

    // Renders frame `index` of the sequence at its recorded time.
    HRESULT render(std::size_t index);

    // The picture the latest Render left in the device context, 0x00RRGGBB top row first.
    void copyPixels(std::uint32_t* out) const;

    std::size_t frameCount() const { return sequence_.frames.size(); }

private:
    SequencePlayer(const FrameSequence& sequence, SetClock setClock);
    bool makeTarget();

    const FrameSequence& sequence_;
    SetClock setClock_;
    IWMPEffects2* effects_ = nullptr;
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ previous_ = nullptr;
    const std::uint32_t* bits_ = nullptr;
    RECT rect_ = {};
    plugin::TimedLevel levels_ = {};  // Render takes a non-const record
};

}  // namespace gs::differential
