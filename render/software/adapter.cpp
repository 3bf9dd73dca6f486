#include "render/software/adapter.h"

#include <array>
#include <atomic>
#include <mutex>

#include "render/software/adapter_state.h"

namespace gs::render::software {
namespace {

constexpr std::size_t kFaultCount = static_cast<std::size_t>(Fault::BeginScene) + 1;
constexpr std::size_t kObjectKindCount = static_cast<std::size_t>(ObjectKind::Shader) + 1;

struct InjectedFault {
    HRESULT result = S_OK;
    int callsLeft = 0;  // kEveryCall: every call
};

struct AdapterState {
    std::mutex mutex;
    AdapterSettings settings;
    std::array<InjectedFault, kFaultCount> faults;
    // Lets the calls that check for faults skip the lock while none is injected.
    std::atomic<int> activeFaults{0};
    std::atomic<std::uint64_t> lossEpoch{0};
    std::array<std::atomic<int>, kObjectKindCount> live{};
};

AdapterState& state() {
    static AdapterState instance;
    return instance;
}

}  // namespace

AdapterSettings adapterSettings() {
    AdapterState& s = state();
    std::lock_guard lock(s.mutex);
    return s.settings;
}

void setAdapterSettings(const AdapterSettings& settings) {
    AdapterState& s = state();
    std::lock_guard lock(s.mutex);
    s.settings = settings;
}

void injectFault(Fault fault, HRESULT result, int calls) {
    const auto index = static_cast<std::size_t>(fault);
    if (index >= kFaultCount) {
        return;
    }
    AdapterState& s = state();
    std::lock_guard lock(s.mutex);
    InjectedFault& slot = s.faults[index];
    const bool wasActive = slot.callsLeft != 0;
    slot.result = result;
    slot.callsLeft = calls < 0 ? kEveryCall : calls;
    const bool isActive = slot.callsLeft != 0;
    s.activeFaults += static_cast<int>(isActive) - static_cast<int>(wasActive);
}

bool takeFault(Fault fault, HRESULT* result) {
    AdapterState& s = state();
    if (s.activeFaults.load(std::memory_order_relaxed) == 0) {
        return false;
    }
    std::lock_guard lock(s.mutex);
    InjectedFault& slot = s.faults[static_cast<std::size_t>(fault)];
    if (slot.callsLeft == 0) {
        return false;
    }
    if (slot.callsLeft > 0 && --slot.callsLeft == 0) {
        --s.activeFaults;
    }
    *result = slot.result;
    return true;
}

void loseDevices() {
    ++state().lossEpoch;
}

std::uint64_t lossEpoch() {
    return state().lossEpoch.load();
}

void resetAdapter() {
    AdapterState& s = state();
    std::lock_guard lock(s.mutex);
    s.settings = AdapterSettings{};
    s.faults = {};
    s.activeFaults = 0;
}

void countObject(ObjectKind kind, int delta) {
    state().live[static_cast<std::size_t>(kind)] += delta;
}

LiveObjects liveObjects() {
    const auto& live = state().live;
    auto count = [&](ObjectKind kind) { return live[static_cast<std::size_t>(kind)].load(); };
    LiveObjects objects;
    objects.direct3d = count(ObjectKind::Direct3D);
    objects.devices = count(ObjectKind::Device);
    objects.textures = count(ObjectKind::Texture);
    objects.surfaces = count(ObjectKind::Surface);
    objects.shaders = count(ObjectKind::Shader);
    return objects;
}

}  // namespace gs::render::software
