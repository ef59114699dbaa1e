#include "tools/capture/frame_plan.h"

#include "timeline/scene_clock.h"

#include <cstdio>
#include <map>

namespace {

FramePlan plan_readings(const std::vector<long long>& at) {
    FramePlan plan{at, 0, {}};
    std::map<long long, int> seen;
    for (const long long reading : at) {
        plan.names.push_back(reading_file_name(reading, ++seen[reading]));
    }
    return plan;
}

FramePlan plan_part(int fps, long long from_ms, long long to_ms) {
    FramePlan plan{{}, 0, {}};
    const long long count = show_frame_count(fps);
    bool first_found = false;
    for (long long n = 0; n < count; ++n) {
        const long long reading = show_frame_reading(n, fps);
        if (to_ms >= 0 && reading >= to_ms) {
            break;
        }
        if (!first_found && reading >= from_ms) {
            plan.first_kept = plan.readings.size();
            first_found = true;
        }
        plan.readings.push_back(reading);
        if (first_found) {
            plan.names.push_back(frame_file_name(n));
        }
    }
    if (!first_found) {
        plan.first_kept = plan.readings.size();
    }
    return plan;
}

} // namespace

FramePlan plan_frames(const CaptureOptions& options) {
    if (options.fps == 0) {
        return plan_readings(options.at);
    }
    return plan_part(options.fps, options.from_ms, options.to_ms);
}

long long show_frame_reading(long long n, int fps) {
    return n * 1000 / fps;
}

long long show_frame_count(int fps) {
    long long n = 0;
    while (!show_is_over(scene_clock_from_ms(show_frame_reading(n, fps)).t_f)) {
        ++n;
    }
    return n;
}

std::string reading_file_name(long long reading_ms, int occurrence) {
    char name[64];
    if (occurrence <= 1) {
        std::snprintf(name, sizeof name, "%06lld.png", reading_ms);
    } else {
        std::snprintf(name, sizeof name, "%06lld-%d.png", reading_ms, occurrence);
    }
    return name;
}

std::string frame_file_name(long long n) {
    char name[64];
    std::snprintf(name, sizeof name, "frame-%05lld.png", n);
    return name;
}
