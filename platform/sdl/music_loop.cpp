#include "platform/sdl/music_loop.h"

#include <climits>
#include <cstring>

namespace {

Uint32 read_u32(const Uint8* at) {
    return Uint32{at[0]} | Uint32{at[1]} << 8 | Uint32{at[2]} << 16 | Uint32{at[3]} << 24;
}

void write_u32(Uint8* at, Uint32 value) {
    for (int i = 0; i < 4; ++i) {
        at[i] = static_cast<Uint8>(value >> (8 * i));
    }
}

// A RIFF file is a 12-byte header and a list of chunks (four-letter name, 32-bit length, data
// padded to an even length); SDL also reads a file that starts at "WAVE", without the RIFF
// header. Every length that runs past the end of the file is cut to the end.
void fit_chunks_to_file(Uint8* bytes, std::size_t size) {
    std::size_t at = 0;
    if (size >= 12 && std::memcmp(bytes, "RIFF", 4) == 0) {
        if (read_u32(bytes + 4) > size - 8) {
            write_u32(bytes + 4, static_cast<Uint32>(size - 8));
        }
        at = 12;
    } else if (size >= 4 && std::memcmp(bytes, "WAVE", 4) == 0) {
        at = 4;
    } else {
        return;
    }
    while (size - at >= 8) {
        const std::size_t left = size - at - 8;
        Uint32 length = read_u32(bytes + at + 4);
        if (length > left) {
            length = static_cast<Uint32>(left);
            write_u32(bytes + at + 4, length);
        }
        at += 8 + length + (length & 1u);
        if (at > size) {
            break;
        }
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
