// Time per frame of the Linux module on the software device for the recorded timing sessions that
// the differential check's generator writes (timing-*.sequence), one benchmark per session: the
// frames Wine's Direct3D 9 renders in scripts/differential-timing, rendered here the same way.
// Each frame is rendered once; the first, which makes the device, is not timed.
//
// The sessions are read from GS_DIFFERENTIAL_DIR, by default the build's differential/timing.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "host/plugin_module.h"
#include "platform/linux/host.h"
#include "platform/linux/testing.h"
#include "tests/differential/sequence_player.h"

namespace gs::differential {
namespace {

namespace fs = std::filesystem;

void setVirtualClock(DWORD milliseconds) {
    gsTestUseVirtualClock(TRUE, milliseconds);
}

host::PluginModule& module() {
    const char* named = std::getenv("GLIMMERSTRAND_MODULE");
    static host::PluginModule loaded(named != nullptr ? named : GS_BENCH_DEFAULT_MODULE);
    return loaded;
}

void renderSession(benchmark::State& state, const FrameSequence& sequence) {
    HWND window = gsCreateWindow(sequence.width, sequence.height);
    std::string error;
    {
        host::ComPtr<IClassFactory> factory = module().classFactory(plugin::kCLSIDGlimmerstrand);
        std::unique_ptr<SequencePlayer> player =
            SequencePlayer::start(factory.get(), sequence, window, setVirtualClock, error);
        if (!player || player->render(0) != S_OK) {
            state.SkipWithError(player ? "the first frame failed" : error.c_str());
        } else {
            std::size_t next = 1;
            for (auto _ : state) {
                if (player->render(next++) != S_OK) {
                    state.SkipWithError("a frame failed");
                    break;
                }
            }
        }
    }
    gsDestroyWindow(window);
}

// Registers one benchmark per timing session, in name order.
void registerSessions() {
    const char* named = std::getenv("GS_DIFFERENTIAL_DIR");
    const fs::path folder = named != nullptr ? fs::path(named) : fs::path(GS_TIMING_SESSIONS_DIR);
    std::vector<fs::path> stems;
    std::error_code ignored;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, ignored)) {
        const fs::path& path = entry.path();
        if (path.extension() == ".sequence" && path.stem().string().rfind("timing-", 0) == 0) {
            stems.push_back(path.parent_path() / path.stem());
        }
    }
    std::sort(stems.begin(), stems.end());
    if (stems.empty()) {
        std::fprintf(stderr, "no timing sessions in %s (scripts/differential-timing makes them)\n",
                     folder.c_str());
    }
    for (const fs::path& stem : stems) {
        auto sequence = std::make_shared<FrameSequence>();
        std::string error;
        if (!readSequence(stem.string() + ".sequence", *sequence, error) ||
            sequence->frames.size() < 2) {
            std::fprintf(stderr, "%s\n", error.empty() ? "too few frames" : error.c_str());
            continue;
        }
        benchmark::RegisterBenchmark(
            stem.filename().c_str(),
            [sequence](benchmark::State& state) { renderSession(state, *sequence); })
            ->Iterations(static_cast<benchmark::IterationCount>(sequence->frames.size() - 1))
            ->UseRealTime()
            ->Unit(benchmark::kMillisecond);
    }
}

}  // namespace
}  // namespace gs::differential

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    gs::differential::registerSessions();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
