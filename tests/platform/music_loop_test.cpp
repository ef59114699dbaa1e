// The show's music as the SDL backend loads and plays it, without an audio device: the samples
// handed to the callback, round and round, and the files it refuses or cuts down.
#include "platform/sdl/music_loop.h"
#include "wav/wav_file.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

// No single allocation of a quarter gigabyte: loading the music never needs one, and a loader
// that believed a chunk's claimed length would ask for up to four gigabytes.
extern "C" const char* __asan_default_options() {
    return "max_allocation_size_mb=256";
}

namespace {

// A 44.1 kHz, 16-bit stereo WAV file holding `samples` after its header (the project's own
// writer), whose data chunk claims `claimed` bytes.
std::vector<Uint8> pcm_wav(const std::vector<Uint8>& samples, std::uint32_t claimed) {
    std::vector<Uint8> file = wav_file_bytes({}, 44100, 2);
    const std::uint32_t riff = 36 + static_cast<std::uint32_t>(samples.size());
    for (int i = 0; i < 4; ++i) {
        file[4 + i] = static_cast<Uint8>(riff >> (8 * i));
        file[40 + i] = static_cast<Uint8>(claimed >> (8 * i));
    }
    file.insert(file.end(), samples.begin(), samples.end());
    return file;
}

std::vector<Uint8> counting_bytes(std::size_t count) {
    std::vector<Uint8> bytes(count);
    for (std::size_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<Uint8>(i * 7 + 1);
    }
    return bytes;
}

struct Loaded {
    bool ok = false;
    MusicLoop music;
    std::string error;
    ~Loaded() { music_loop_free(music); }
};

void load(std::vector<Uint8> file, Loaded* out) {
    out->ok = music_loop_load(file.data(), file.size(), "song.wav", &out->music, &out->error);
}

TEST(MusicLoop, PlaysTheSamplesRoundAndRoundAcrossAnyBufferSizes) {
    const std::vector<Uint8> samples = counting_bytes(400); // 100 stereo 16-bit frames
    Loaded loaded;
    load(pcm_wav(samples, 400), &loaded);
    ASSERT_TRUE(loaded.ok) << loaded.error;
    EXPECT_EQ(loaded.music.length, 400u);
    EXPECT_EQ(loaded.music.format.channels, 2);
    EXPECT_EQ(loaded.music.format.freq, 44100);

    std::vector<Uint8> played;
    for (const int size : {1, 399, 4, 1000, 3, 1, 4096}) {
        std::vector<Uint8> buffer(static_cast<std::size_t>(size), 0xee);
        music_loop_fill(loaded.music, buffer.data(), size);
        played.insert(played.end(), buffer.begin(), buffer.end());
    }
    for (std::size_t i = 0; i < played.size(); ++i) {
        ASSERT_EQ(played[i], samples[i % samples.size()]) << "byte " << i;
    }
    EXPECT_EQ(loaded.music.position, played.size() % samples.size());
}

// A file cut short (a download stopped early, a copy that ran out of space) plays what it holds;
// a few bytes that claim gigabytes never make the loader reserve them (see the allocation cap
// above).
TEST(MusicLoop, AFileCutShortPlaysWhatItHolds) {
    const std::vector<Uint8> samples = counting_bytes(40);
    for (const std::uint32_t claimed : {400u, 0x7ffffff0u, 0xfffffff0u}) {
        // As written, and without the RIFF header (the loader reads such files too).
        const std::vector<Uint8> whole = pcm_wav(samples, claimed);
        for (const std::size_t skip : {0, 8}) {
            Loaded loaded;
            load(std::vector<Uint8>(whole.begin() + static_cast<long>(skip), whole.end()), &loaded);
            ASSERT_TRUE(loaded.ok) << "claiming " << claimed << " bytes: " << loaded.error;
            ASSERT_EQ(loaded.music.length, 40u) << "claiming " << claimed << " bytes";
            EXPECT_EQ(std::vector<Uint8>(loaded.music.samples, loaded.music.samples + 40), samples);
        }
    }
}

// Played round and round, a partial sample frame at the end would shift every later round.
TEST(MusicLoop, APartialSampleFrameAtTheEndIsDropped) {
    Loaded loaded;
    load(pcm_wav(counting_bytes(42), 42), &loaded);
    ASSERT_TRUE(loaded.ok) << loaded.error;
    EXPECT_EQ(loaded.music.length, 40u);
}

TEST(MusicLoop, FilesWithoutMusicAreRefusedWithOneLineNamingThem) {
    const std::vector<std::vector<Uint8>> files = {
        {},                                                   // empty
        {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V', 'E'}, // no chunks
        pcm_wav({}, 0),                                       // no samples
        pcm_wav(counting_bytes(3), 3),                        // less than one sample frame
        std::vector<Uint8>(100, 'x'),                         // not a WAV at all
    };
    for (std::size_t i = 0; i < files.size(); ++i) {
        Loaded loaded;
        load(files[i], &loaded);
        EXPECT_FALSE(loaded.ok) << "file " << i;
        EXPECT_EQ(loaded.error.rfind("song.wav", 0), 0u) << "file " << i << ": " << loaded.error;
        EXPECT_EQ(loaded.error.find('\n'), std::string::npos) << loaded.error;
        EXPECT_EQ(loaded.music.samples, nullptr);
        EXPECT_EQ(loaded.music.length, 0u);
    }
}

TEST(MusicLoop, NothingLoadedPlaysSilence) {
    MusicLoop music;
    music.format.silence = 0x80;
    std::vector<Uint8> buffer(64, 0x11);
    music_loop_fill(music, buffer.data(), 64);
    EXPECT_EQ(buffer, std::vector<Uint8>(64, 0x80));
}

} // namespace
