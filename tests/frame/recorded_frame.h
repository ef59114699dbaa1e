// Frames drawn into the GL call recorder, with the time line they print captured.
#pragma once

#include "gl/record/gl_record.h"
#include "scenes/drift_state.h"
#include "timeline/display_mode.h"
#include "timeline/draw_frame.h"
#include "timeline/scene_clock.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

struct RecordedFrame {
    std::vector<GlCall> calls;
    std::string console; // what the frame printed
    float t_f;
};

// Draws the frame of clock reading `ms` with `drift` carried in and out.
inline RecordedFrame record_frame(long long ms, DriftState& drift,
                                  const DisplayMode& mode = fallback_mode) {
    const SceneClock clock = scene_clock_from_ms(ms);
    RecordedFrame frame{{}, {}, clock.t_f};
    std::fflush(stdout);
    testing::internal::CaptureStdout();
    gl_record_into(frame.calls);
    draw_frame(clock.t, clock.t_f, mode, drift);
    gl_record_to(nullptr, nullptr);
    std::fflush(stdout);
    frame.console = testing::internal::GetCapturedStdout();
    return frame;
}

// A single frame drawn with the drift at rest.
inline RecordedFrame record_frame(long long ms) {
    DriftState drift{0.0f, 0.0f, 0.0f};
    return record_frame(ms, drift);
}

inline std::vector<const GlCall*> calls_of(const RecordedFrame& frame, GlEntry entry) {
    std::vector<const GlCall*> found;
    for (const GlCall& call : frame.calls) {
        if (call.entry == entry) {
            found.push_back(&call);
        }
    }
    return found;
}

inline std::size_t count_of(const RecordedFrame& frame, GlEntry entry) {
    return calls_of(frame, entry).size();
}
