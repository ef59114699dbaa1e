// The show's music from memory: the input is a WAV file, loaded by the same code that loads
// tarmelipolkka.wav and handed out for a few buffers as the audio callback hands it to the
// device. What comes out must be the loaded samples, round and round from the first. The WAV
// reader goes over the same bytes first: every chunk and sample it hands out lies in the file.
#include "fuzz/fuzz_check.h"
#include "platform/sdl/music_loop.h"
#include "wav/wav_file.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace {

void read_chunks(std::span<const std::uint8_t> file) {
    std::size_t at = 12;
    for (const WavChunk& chunk : wav_chunks(file).value_or(std::vector<WavChunk>{})) {
        FUZZ_CHECK(chunk.header == at && chunk.body.data() == file.data() + at + 8);
        FUZZ_CHECK(chunk.body.size() <= chunk.claimed && at + 8 + chunk.body.size() <= file.size());
        at = wav_next_chunk(chunk);
    }
    std::string why;
    if (const std::optional<WavPcm16> pcm = wav_pcm16(file, &why)) {
        const std::uint8_t* end = pcm->samples.data() + pcm->samples.size();
        FUZZ_CHECK(pcm->samples.data() >= file.data() + 20 && end <= file.data() + file.size());
        FUZZ_CHECK(pcm->samples.size() % (2 * static_cast<std::size_t>(pcm->channels)) == 0);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 1 << 20) {
        return 0;
    }
    read_chunks({data, size});
    std::vector<Uint8> bytes(data, data + size);
    MusicLoop music;
    std::string error;
    if (!music_loop_load(bytes.data(), bytes.size(), "fuzz.wav", &music, &error)) {
        FUZZ_CHECK(music.samples == nullptr && music.length == 0);
        FUZZ_CHECK(error.rfind("fuzz.wav", 0) == 0 && error.find('\n') == std::string::npos);
        return 0;
    }
    const Uint32 frame = SDL_AUDIO_BITSIZE(music.format.format) / 8u * music.format.channels;
    FUZZ_CHECK(music.samples != nullptr && music.length > 0 && music.position == 0);
    FUZZ_CHECK(frame > 0 && music.length % frame == 0);

    // Buffers the size a device asks for (a power of two of sample frames), then odd sizes.
    const int sizes[] = {static_cast<int>(std::min<Uint32>(1024 * frame, 1 << 16)), 4096, 1, 777,
                         static_cast<int>(frame)};
    std::vector<Uint8> buffer;
    std::uint64_t played = 0;
    for (const int length : sizes) {
        buffer.assign(static_cast<std::size_t>(length), 0xa5);
        music_loop_fill(music, buffer.data(), length);
        for (int i = 0; i < length; ++i) {
            FUZZ_CHECK(buffer[i] == music.samples[(played + i) % music.length]);
        }
        played += static_cast<std::uint64_t>(length);
        FUZZ_CHECK(music.position == played % music.length);
    }
    music_loop_free(music);
    FUZZ_CHECK(music.samples == nullptr && music.length == 0);
    return 0;
}
