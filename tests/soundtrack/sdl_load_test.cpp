// The show's SDL backend reads the music with SDL_LoadWAV: it must take the file as written.
#include "tools/soundtrack/soundtrack.h"
#include "wav/wav_file.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(SoundtrackSdl, LoadsAsSixteenBitStereoAtFullLength) {
    const std::vector<std::uint8_t> bytes =
        wav_file_bytes(render_soundtrack(), soundtrack_rate, soundtrack_channels);
    SDL_RWops* source = SDL_RWFromConstMem(bytes.data(), static_cast<int>(bytes.size()));
    ASSERT_NE(source, nullptr);
    SDL_AudioSpec wav_format;
    Uint8* samples = nullptr;
    Uint32 length = 0;
    ASSERT_NE(SDL_LoadWAV_RW(source, 1, &wav_format, &samples, &length), nullptr) << SDL_GetError();
    EXPECT_EQ(wav_format.freq, 44100);
    EXPECT_EQ(wav_format.format, AUDIO_S16LSB);
    EXPECT_EQ(wav_format.channels, 2);
    EXPECT_EQ(length, static_cast<Uint32>(soundtrack_frames) * 4u);
    EXPECT_EQ(std::memcmp(samples, bytes.data() + 44, length), 0);
    SDL_FreeWAV(samples);
}

} // namespace
