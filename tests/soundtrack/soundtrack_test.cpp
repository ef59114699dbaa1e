#include "tools/soundtrack/soundtrack.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace {

// Rendering takes a while under the sanitizers; every test reads the same bytes.
const std::vector<std::uint8_t>& wav() {
    static const std::vector<std::uint8_t> bytes =
        wav_file_bytes(render_soundtrack(), soundtrack_rate, soundtrack_channels);
    return bytes;
}

std::uint32_t u32_at(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return static_cast<std::uint32_t>(bytes[at]) | static_cast<std::uint32_t>(bytes[at + 1]) << 8 |
           static_cast<std::uint32_t>(bytes[at + 2]) << 16 |
           static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

std::uint32_t u16_at(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return static_cast<std::uint32_t>(bytes[at]) | static_cast<std::uint32_t>(bytes[at + 1]) << 8;
}

std::string tag_at(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return std::string(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                       bytes.begin() + static_cast<std::ptrdiff_t>(at + 4));
}

// What a WAV reader finds: the `fmt ` fields and where the `data` chunk lies.
struct WavInfo {
    bool well_formed = false;
    std::uint32_t format = 0;
    std::uint32_t channels = 0;
    std::uint32_t rate = 0;
    std::uint32_t byte_rate = 0;
    std::uint32_t block_align = 0;
    std::uint32_t bits = 0;
    std::size_t data_offset = 0;
    std::size_t data_size = 0;
};

// Walks the chunks as a loader would, checking every size against the file.
WavInfo read_wav(const std::vector<std::uint8_t>& bytes) {
    WavInfo info;
    if (bytes.size() < 12 || tag_at(bytes, 0) != "RIFF" || tag_at(bytes, 8) != "WAVE" ||
        u32_at(bytes, 4) != bytes.size() - 8) {
        return info;
    }
    bool have_format = false;
    std::size_t at = 12;
    while (at + 8 <= bytes.size()) {
        const std::string tag = tag_at(bytes, at);
        const std::size_t size = u32_at(bytes, at + 4);
        if (at + 8 + size > bytes.size()) {
            return info;
        }
        if (tag == "fmt " && size >= 16) {
            info.format = u16_at(bytes, at + 8);
            info.channels = u16_at(bytes, at + 10);
            info.rate = u32_at(bytes, at + 12);
            info.byte_rate = u32_at(bytes, at + 16);
            info.block_align = u16_at(bytes, at + 20);
            info.bits = u16_at(bytes, at + 22);
            have_format = true;
        } else if (tag == "data") {
            if (!have_format) {
                return info;
            }
            info.data_offset = at + 8;
            info.data_size = size;
            info.well_formed = at + 8 + size == bytes.size();
            return info;
        }
        at += 8 + size + (size & 1);
    }
    return info;
}

struct Channels {
    std::vector<int> left;
    std::vector<int> right;
};

Channels samples_of(const std::vector<std::uint8_t>& bytes) {
    const WavInfo info = read_wav(bytes);
    Channels channels;
    for (std::size_t at = info.data_offset; at + 4 <= info.data_offset + info.data_size; at += 4) {
        channels.left.push_back(static_cast<std::int16_t>(u16_at(bytes, at)));
        channels.right.push_back(static_cast<std::int16_t>(u16_at(bytes, at + 2)));
    }
    return channels;
}

TEST(SoundtrackWav, EncodesHeaderAndSamplesLittleEndian) {
    const std::vector<std::uint8_t> bytes = wav_file_bytes({1, -2, 0x1234, -32768}, 22050, 2);
    const std::vector<std::uint8_t> expected = {
        'R', 'I', 'F', 'F', 44, 0, 0,    0,    'W', 'A', 'V',  'E',  'f',  'm',  't',  ' ', 16, 0,
        0,   0,   1,   0,   2,  0, 0x22, 0x56, 0,   0,   0x88, 0x58, 1,    0,    4,    0,   16, 0,
        'd', 'a', 't', 'a', 8,  0, 0,    0,    1,   0,   0xFE, 0xFF, 0x34, 0x12, 0x00, 0x80};
    EXPECT_EQ(bytes, expected);
}

TEST(Soundtrack, IsAWellFormedStereoPcmFileOfTheLoopLength) {
    const WavInfo info = read_wav(wav());
    ASSERT_TRUE(info.well_formed);
    EXPECT_EQ(info.format, 1u);
    EXPECT_EQ(info.channels, 2u);
    EXPECT_EQ(info.rate, 44100u);
    EXPECT_EQ(info.bits, 16u);
    EXPECT_EQ(info.block_align, 4u);
    EXPECT_EQ(info.byte_rate, 44100u * 4u);
    ASSERT_EQ(info.data_size % 4, 0u);
    const double seconds = static_cast<double>(info.data_size / 4) / 44100.0;
    // Twice round fits the 61-second show, with less than a second to spare.
    EXPECT_GT(seconds, 30.0);
    EXPECT_LE(seconds, 30.5);
    // A whole number of bars, so the beat carries on across the seam.
    EXPECT_EQ(info.data_size / 4 % (2 * soundtrack_frames_per_beat), 0u);
}

TEST(Soundtrack, IsLoudButNeverClips) {
    const Channels channels = samples_of(wav());
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

TEST(Soundtrack, TwoRendersGiveTheSameBytes) {
    const std::vector<std::uint8_t> again =
        wav_file_bytes(render_soundtrack(), soundtrack_rate, soundtrack_channels);
    EXPECT_TRUE(again == wav());
}

// Played round, frame i of the loop is at(i) with the index taken modulo its length.
int at(const std::vector<int>& channel, long long i) {
    const auto n = static_cast<long long>(channel.size());
    return channel[static_cast<std::size_t>((i % n + n) % n)];
}

TEST(Soundtrack, LoopSeamIsContinuousAndNotSilent) {
    const Channels channels = samples_of(wav());
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
    const std::vector<double> onsets = onset_envelope(samples_of(wav()));
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
