#include "platform/sdl/music_loop.h"

#include "wav/wav_file.h"

#include <climits>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>

namespace {

// Cuts the length a chunk claims down to what the file holds of it.
void fit_chunk_to_file(Uint8* bytes, const WavChunk& chunk) {
    if (chunk.claimed > chunk.body.size()) {
        const auto held = static_cast<Uint32>(chunk.body.size());
        for (int i = 0; i < 4; ++i) {
            bytes[chunk.header + 4 + i] = static_cast<Uint8>(held >> (8 * i));
        }
    }
}

// Every length that runs past the end of the file is cut to the end, the RIFF header's included.
// SDL also reads a file that starts at "WAVE", without the RIFF header.
void fit_chunks_to_file(Uint8* bytes, std::size_t size) {
    const std::span<const std::uint8_t> file(bytes, size);
    std::size_t first = 0;
    if (size >= 12 && std::memcmp(bytes, "RIFF", 4) == 0) {
        fit_chunk_to_file(bytes, *wav_chunk_at(file, 0));
        first = 12;
    } else if (size >= 4 && std::memcmp(bytes, "WAVE", 4) == 0) {
        first = 4;
    } else {
        return;
    }
    for (std::optional<WavChunk> chunk = wav_chunk_at(file, first); chunk;
         chunk = wav_chunk_at(file, wav_next_chunk(*chunk))) {
        fit_chunk_to_file(bytes, *chunk);
    }
}

} // namespace

bool music_loop_load(Uint8* bytes, std::size_t size, const char* name, MusicLoop* music,
                     std::string* error) {
    if (size > INT_MAX) {
        *error = std::string(name) + " is too large";
        return false;
    }
    fit_chunks_to_file(bytes, size);
    SDL_RWops* source = SDL_RWFromConstMem(bytes, static_cast<int>(size));
    if (source == nullptr ||
        SDL_LoadWAV_RW(source, 1, &music->format, &music->samples, &music->length) == nullptr) {
        *error = std::string(name) + ": " + SDL_GetError();
        *music = MusicLoop{};
        return false;
    }
    // Played round and round, a partial sample frame at the end would shift every later round
    // by a byte or a channel.
    const Uint32 frame = SDL_AUDIO_BITSIZE(music->format.format) / 8u * music->format.channels;
    if (frame > 0) {
        music->length -= music->length % frame;
    }
    if (frame == 0 || music->length == 0) {
        *error = std::string(name) + " holds no samples";
        music_loop_free(*music);
        return false;
    }
    music->position = 0;
    return true;
}

void music_loop_fill(MusicLoop& music, Uint8* stream, int length) {
    Uint32 wanted = length > 0 ? static_cast<Uint32>(length) : 0;
    if (music.samples == nullptr || music.length == 0) {
        std::memset(stream, music.format.silence, wanted);
        return;
    }
    while (wanted > 0) {
        const Uint32 left = music.length - music.position;
        const Uint32 chunk = left < wanted ? left : wanted;
        std::memcpy(stream, music.samples + music.position, chunk);
        stream += chunk;
        wanted -= chunk;
        music.position += chunk;
        if (music.position == music.length) {
            music.position = 0;
        }
    }
}

void music_loop_free(MusicLoop& music) {
    if (music.samples != nullptr) {
        SDL_FreeWAV(music.samples);
    }
    music = MusicLoop{};
}
