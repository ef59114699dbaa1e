#include "tools/soundtrack/soundtrack.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

struct Channels {
    std::vector<int> left;
    std::vector<int> right;
};

// Rendering takes a while under the sanitizers; every test reads the same loop.
const Channels& loop() {
    static const Channels channels = [] {
        Channels split;
        const std::vector<std::int16_t> samples = render_soundtrack();
        for (std::size_t i = 0; i + 1 < samples.size(); i += 2) {
            split.left.push_back(samples[i]);
            split.right.push_back(samples[i + 1]);
        }
        return split;
    }();
    return channels;
}

// The file's format is tested in tests/wav/; SDL reads the whole loop (sdl_load_test.cpp).
TEST(Soundtrack, LoopsTwiceThroughTheShowInWholeBars) {
    const std::size_t frames = loop().left.size();
    const double seconds = static_cast<double>(frames) / 44100.0;
    // Twice round fits the 61-second show, with less than a second to spare.
    EXPECT_GT(seconds, 30.0);
    EXPECT_LE(seconds, 30.5);
    // A whole number of bars, so the beat carries on across the seam.
    EXPECT_EQ(frames % (2 * soundtrack_frames_per_beat), 0u);
}

TEST(Soundtrack, IsLoudButNeverClips) {
    const Channels& channels = loop();
    ASSERT_FALSE(channels.left.empty());
    for (const std::vector<int>* channel : {&channels.left, &channels.right}) {
        int peak = 0;
        double square_sum = 0.0;
        for (int sample : *channel) {
            peak = std::max(peak, std::abs(sample));
            square_sum += static_cast<double>(sample) * sample;
        }
        const double rms = std::sqrt(square_sum / static_cast<double>(channel->size()));
        EXPECT_LT(peak, 32767 * 95 / 100);
        EXPECT_GT(rms, 32768.0 * 0.06); // about -24 dBFS
    }
}

// Played round, frame i of the loop is at(i) with the index taken modulo its length.
int at(const std::vector<int>& channel, long long i) {
    const auto n = static_cast<long long>(channel.size());
    return channel[static_cast<std::size_t>((i % n + n) % n)];
}

TEST(Soundtrack, LoopSeamIsContinuousAndNotSilent) {
    const Channels& channels = loop();
    for (const std::vector<int>* channel : {&channels.left, &channels.right}) {
        const auto n = static_cast<long long>(channel->size());
        ASSERT_GT(n, 44100);
        const auto step = [&](long long i) {
            return std::abs(at(*channel, i + 1) - at(*channel, i));
        };
        const auto bend = [&](long long i) {
            return std::abs(at(*channel, i + 1) - 2 * at(*channel, i) + at(*channel, i - 1));
        };
        // The step from the last frame to the first, and the bends around it, are no larger
        // than the steps and bends of the 32 frames on either side.
        int largest_step = 0;
        int largest_bend = 0;
        for (long long j = 2; j <= 32; ++j) {
            largest_step = std::max({largest_step, step(n - 1 - j), step(j - 1)});
            largest_bend = std::max({largest_bend, bend(n - j), bend(j - 1)});
        }
        EXPECT_LE(step(n - 1), largest_step);
        EXPECT_LE(bend(n - 1), largest_bend);
        EXPECT_LE(bend(n), largest_bend);

        // Sound on both sides of the seam: the loop is not smoothed over by fading out and in.
        double end_square = 0.0;
        double start_square = 0.0;
        const long long window = 4410;
        for (long long i = 0; i < window; ++i) {
            end_square += static_cast<double>(at(*channel, n - 1 - i)) * at(*channel, n - 1 - i);
            start_square += static_cast<double>(at(*channel, i)) * at(*channel, i);
        }
        EXPECT_GT(std::sqrt(end_square / static_cast<double>(window)), 32768.0 * 0.02);
        EXPECT_GT(std::sqrt(start_square / static_cast<double>(window)), 32768.0 * 0.02);
    }
}

// Onset strength per hop of 210 frames (a beat at 126 per minute is exactly 100 hops): the rise
// of the level, measured over 840 frames centred on the hop (long enough to smooth over a bass
// cycle), from one hop to the next; falls count for nothing. The loop is taken as a circle.
std::vector<double> onset_envelope(const Channels& channels) {
    constexpr std::size_t hop = 210;
    constexpr std::size_t window = 840;
    const std::size_t n = channels.left.size();
    std::vector<double> level;
    for (std::size_t centre = 0; centre < n; centre += hop) {
        double sum = 0.0;
        for (std::size_t i = 0; i < window; ++i) {
            const std::size_t at = (centre + n - window / 2 + i) % n;
            const double mono = channels.left[at] + channels.right[at];
            sum += mono * mono;
        }
        level.push_back(std::sqrt(sum / window));
    }
    std::vector<double> onsets(level.size(), 0.0);
    for (std::size_t k = 0; k < level.size(); ++k) {
        const double previous = level[(k + level.size() - 1) % level.size()];
        onsets[k] = std::max(0.0, level[k] - previous);
    }
    return onsets;
}

TEST(Soundtrack, BeatsAt126PerMinuteOnTheGrid) {
    const std::vector<double> onsets = onset_envelope(loop());
    ASSERT_EQ(onsets.size(), static_cast<std::size_t>(soundtrack_frames / 210));
    double mean = 0.0;
    for (double value : onsets) {
        mean += value;
    }
    mean /= static_cast<double>(onsets.size());

    // The strongest periodicity between 97 and 161 beats per minute (lags of 80 to 130 hops,
    // taken round the loop) is the beat.
    std::size_t best_lag = 0;
    double best = -1.0;
    for (std::size_t lag = 80; lag <= 130; ++lag) {
        double sum = 0.0;
        for (std::size_t k = 0; k < onsets.size(); ++k) {
            sum += (onsets[k] - mean) * (onsets[(k + lag) % onsets.size()] - mean);
        }
        if (sum > best) {
            best = sum;
            best_lag = lag;
        }
    }
    const double beats_per_minute = 60.0 * 44100.0 / (210.0 * static_cast<double>(best_lag));
    EXPECT_NEAR(beats_per_minute, 126.0, 1.5);

    // Folded onto one beat, the onsets crowd onto the eighth-note grid: the beat (tuba and
    // kick) and its off-beat (the chord), counting from 5 ms before to 24 ms after each, which
    // takes in the attacks. The strongest phase is the beat.
    std::vector<double> fold(100, 0.0);
    for (std::size_t k = 0; k < onsets.size(); ++k) {
        fold[k % 100] += onsets[k];
    }
    double on_grid = 0.0;
    double off_grid = 0.0;
    int on_grid_phases = 0;
    for (int phase = 0; phase < 100; ++phase) {
        const int after_eighth = (phase + 1) % 50 - 1; // -1 to 48
        if (after_eighth <= 5) {
            on_grid += fold[static_cast<std::size_t>(phase)];
            ++on_grid_phases;
        } else {
            off_grid += fold[static_cast<std::size_t>(phase)];
        }
    }
    EXPECT_GT(on_grid / on_grid_phases, 3.0 * off_grid / (100 - on_grid_phases));
    const auto strongest =
        static_cast<int>(std::max_element(fold.begin(), fold.end()) - fold.begin());
    EXPECT_TRUE(strongest <= 5 || strongest == 99) << strongest;
}

} // namespace
