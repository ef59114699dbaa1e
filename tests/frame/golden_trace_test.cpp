// Whole stretches of the show, every call hashed. The hashes were taken from a plain version of
// the frame code that computes every value inside its innermost loop, literally as the formulas
// read; the show's code precomputes what does not change within a loop and must still pass every
// number on bit for bit.
#include "tests/frame/recorded_frame.h"
#include "tools/readings/frame_run.h"

#include <cstdint>
#include <sstream>

namespace {

std::uint64_t fnv1a(std::uint64_t hash, const std::string& text) {
    for (const unsigned char c : text) {
        hash = (hash ^ c) * 0x100000001b3ULL;
    }
    return hash;
}

// Frames from..to (inclusive) in steps of `step`, one drift carried through, all calls hashed.
std::uint64_t trace_hash(long long from, long long step, long long to, const DisplayMode& mode) {
    std::vector<long long> readings;
    for (long long ms = from; ms <= to; ms += step) {
        readings.push_back(ms);
    }
    // Every frame prints one time line: the captured text splits into the frames' lines.
    std::vector<std::vector<GlCall>> frames(1);
    std::fflush(stdout);
    testing::internal::CaptureStdout();
    gl_record_into(frames.back());
    DriftState drift{};
    draw_readings(readings, mode, drift, [&](std::size_t) {
        frames.emplace_back();
        gl_record_into(frames.back());
        return true;
    });
    gl_record_to(nullptr, nullptr);
    std::fflush(stdout);
    std::istringstream console(testing::internal::GetCapturedStdout());
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (std::size_t i = 0; i < readings.size(); ++i) {
        std::string line;
        std::getline(console, line);
        hash = fnv1a(hash, line + '\n');
        for (const GlCall& call : frames[i]) {
            hash = fnv1a(hash, format_gl_call(call) + '\n');
        }
    }
    return hash;
}

TEST(GoldenTrace, EveryStretchHashesAsThePlainComputationDid) {
    const struct {
        long long from, step, to;
        char mode_key;
        std::uint64_t hash;
    } stretches[] = {
        {0, 173, 7999, '5', 0x3e93938b194766adULL},      // wave field, colour phases, wobble, drift
        {6950, 25, 8100, '8', 0x26e277cd98bc1815ULL},    // the fall, in another aspect
        {8001, 211, 11999, '5', 0x89f6590925975104ULL},  // line rosettes
        {12001, 401, 19999, '3', 0x105b9424c1c28814ULL}, // ring stack
        {20001, 997, 39999, '5', 0x3e896ddf982f1b56ULL}, // twin clouds
        {40001, 1009, 61000, '6', 0xb33b3f49bc036335ULL}, // wave rows and the swell
    };
    for (const auto& s : stretches) {
        EXPECT_EQ(trace_hash(s.from, s.step, s.to, mode_for_key(s.mode_key)), s.hash)
            << s.from << ':' << s.step << ':' << s.to;
    }
}

} // namespace
