// The show's music as the SDL backend plays it: a WAV file read whole into memory and handed to
// the audio device round and round. Needs no audio device, so it can be driven on its own.
#pragma once

#include <SDL.h>

#include <cstddef>
#include <string>

struct MusicLoop {
    SDL_AudioSpec format{}; // the file's own format; the device is opened with it
    Uint8* samples = nullptr;
    Uint32 length = 0;   // bytes, whole sample frames only
    Uint32 position = 0; // the next byte to play
};

// Decodes the WAV file whose `size` bytes are `bytes` into `music`, which must be empty. A chunk
// that claims more bytes than the file holds is cut down, in `bytes`, to what is there: a
// truncated file plays what it has, and a few bytes never make the loader reserve gigabytes.
// On failure leaves `music` empty and stores one line naming `name` and the reason in `error`.
bool music_loop_load(Uint8* bytes, std::size_t size, const char* name, MusicLoop* music,
                     std::string* error);

// Writes the next `length` bytes of the music to `stream`, going back to its first sample after
// its last (silence when nothing is loaded). The audio device's callback.
void music_loop_fill(MusicLoop& music, Uint8* stream, int length);

// Frees the samples; `music` is empty afterwards.
void music_loop_free(MusicLoop& music);
