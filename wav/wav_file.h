// The RIFF/WAVE format of the show's music: one writer of 16-bit PCM files and one reader of the
// chunks any WAV file is made of. Bytes in memory in and out; the samples of other formats are
// left to whoever plays them (SDL for the show).
//
// A RIFF file is a 12-byte header ("RIFF", the length of what follows, "WAVE") and a list of
// chunks: a four-letter name, a 32-bit little-endian length and that many bytes of body, padded
// to an even length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// A RIFF/WAVE file: a PCM `fmt ` chunk and a `data` chunk holding the interleaved 16-bit
// samples, all little-endian.
std::vector<std::uint8_t> wav_file_bytes(const std::vector<std::int16_t>& interleaved, int rate,
                                         int channels);

struct WavChunk {
    std::string_view name;              // four letters, in the file's bytes
    std::size_t header = 0;             // where its 8-byte header starts in the file
    std::uint32_t claimed = 0;          // the length its header gives
    std::span<const std::uint8_t> body; // what of that the file holds: cut at the file's end
};

// The chunk whose header starts at `at`, or nothing when fewer than 8 bytes are left there
// (`at` may lie past the end). The RIFF header itself reads as a chunk at 0.
std::optional<WavChunk> wav_chunk_at(std::span<const std::uint8_t> file, std::size_t at);

// Where the chunk after `chunk` starts: past its claimed body and pad byte, which may be past the
// end of the file.
std::size_t wav_next_chunk(const WavChunk& chunk);

// The chunks after the RIFF/WAVE header, in order; nothing when the file does not start with one.
std::optional<std::vector<WavChunk>> wav_chunks(std::span<const std::uint8_t> file);

// The 16-bit PCM samples of a WAV file: its format and its first `data` chunk after a `fmt `
// chunk, cut to whole sample frames.
struct WavPcm16 {
    int rate = 0;
    int channels = 0;
    std::span<const std::uint8_t> samples; // interleaved, little-endian
};

// Nothing, with the reason in `why`, for a file that is not a WAV or holds samples of another
// format.
std::optional<WavPcm16> wav_pcm16(std::span<const std::uint8_t> file, std::string* why);
