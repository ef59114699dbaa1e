// What the packaging tests need of sound files:
//
//   audio_check write WAV           writes a two-second PCM WAV (44.1 kHz, 16-bit stereo) whose
//                                   samples differ from the polka's and from silence
//   audio_check played WAV RAW MIN  exit status 0 when the raw samples a sound driver wrote
//                                   (RAW) are the samples of WAV from its first sound on: at
//                                   least MIN bytes of them, and nothing else. Silence before
//                                   the first sound (a device started before the music) is
//                                   skipped in both, and so are frames of silence a driver
//                                   plays when it runs dry on a busy machine.
//
// Exit status 1 with the reason on stderr when they differ, 2 for bad arguments or files.
#include "wav/wav_file.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

bool read_file(const char* path, Bytes* bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

std::size_t first_sound(const unsigned char* bytes, std::size_t length) {
    std::size_t at = 0;
    while (at < length && bytes[at] == 0) {
        ++at;
    }
    return at;
}

int write_wav(const char* path) {
    constexpr std::uint32_t frames = 2 * 44100;
    // Two saw waves, never zero, a little out of step with each other.
    std::vector<std::int16_t> samples;
    for (std::uint32_t frame = 0; frame < frames; ++frame) {
        samples.push_back(static_cast<std::int16_t>(1000 + frame * 37 % 20000));
        samples.push_back(static_cast<std::int16_t>(-1000 - static_cast<int>(frame * 53 % 20000)));
    }
    const Bytes file = wav_file_bytes(samples, 44100, 2);
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(file.data()),
              static_cast<std::streamsize>(file.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "audio_check: cannot write %s\n", path);
        return 2;
    }
    return 0;
}

// One pass through the file: how a player joins the end to the start is its own affair.
// Whole frames (16-bit stereo) are compared. A driver that runs dry on a busy machine plays
// frames of silence and then goes on where it was: such frames are skipped and counted in
// `inserted`. False, with one line on stderr, at the first frame that differs.
bool compare_played(const Bytes& raw, std::size_t raw_start, const unsigned char* samples,
                    std::size_t length, std::size_t wav_start, std::size_t* compared,
                    std::size_t* inserted) {
    constexpr std::size_t frame = 4;
    std::size_t at_raw = raw_start / frame * frame;
    std::size_t at_wav = wav_start / frame * frame;
    const auto silent = [](const unsigned char* bytes) {
        return bytes[0] == 0 && bytes[1] == 0 && bytes[2] == 0 && bytes[3] == 0;
    };
    while (at_raw + frame <= raw.size() && at_wav + frame <= length) {
        if (std::memcmp(raw.data() + at_raw, samples + at_wav, frame) == 0) {
            at_raw += frame;
            at_wav += frame;
            *compared += frame;
        } else if (silent(raw.data() + at_raw)) {
            at_raw += frame;
            *inserted += frame;
        } else {
            std::fprintf(stderr,
                         "audio_check: byte %zu of the sound differs from byte %zu of the "
                         "file's samples (%u, not %u)\n",
                         at_raw - raw_start, at_wav, raw[at_raw], samples[at_wav]);
            return false;
        }
    }
    return true;
}

int check_played(const char* wav_path, const char* raw_path, std::size_t minimum) {
    Bytes wav;
    Bytes raw;
    std::string why = "cannot be read";
    const std::optional<WavPcm16> pcm =
        read_file(wav_path, &wav) ? wav_pcm16(wav, &why) : std::nullopt;
    if (!pcm) {
        std::fprintf(stderr, "audio_check: %s: %s\n", wav_path, why.c_str());
        return 2;
    }
    if (!read_file(raw_path, &raw)) {
        std::fprintf(stderr, "audio_check: cannot read %s\n", raw_path);
        return 2;
    }
    const unsigned char* samples = pcm->samples.data();
    const std::size_t length = pcm->samples.size();
    const std::size_t wav_start = first_sound(samples, length);
    if (wav_start == length) {
        std::fprintf(stderr, "audio_check: %s holds only silence\n", wav_path);
        return 2;
    }
    const std::size_t raw_start = first_sound(raw.data(), raw.size());
    const std::size_t played = raw.size() - raw_start;
    std::fprintf(stderr,
                 "%zu bytes written, %zu of them sound; the file holds %zu bytes of "
                 "samples, sound from byte %zu\n",
                 raw.size(), played, length, wav_start);
    if (played < minimum) {
        std::fprintf(stderr, "audio_check: fewer than %zu bytes of sound were written\n", minimum);
        return 1;
    }
    std::size_t compared = 0;
    std::size_t inserted = 0;
    if (!compare_played(raw, raw_start, samples, length, wav_start, &compared, &inserted)) {
        return 1;
    }
    if (compared < minimum) {
        std::fprintf(stderr, "audio_check: only %zu bytes of the file's samples were played\n",
                     compared);
        return 1;
    }
    if (inserted > 0) {
        std::fprintf(stderr, "%zu bytes of silence the driver played when it ran dry skipped\n",
                     inserted);
    }
    std::fprintf(stderr, "the first %zu bytes of sound are the file's samples\n", compared);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "write") == 0) {
        return write_wav(argv[2]);
    }
    if (argc == 5 && std::strcmp(argv[1], "played") == 0) {
        char* end = nullptr;
        const unsigned long long minimum = std::strtoull(argv[4], &end, 10);
        if (end != argv[4] && *end == '\0') {
            return check_played(argv[2], argv[3], static_cast<std::size_t>(minimum));
        }
    }
    std::fprintf(stderr, "usage: audio_check write WAV | audio_check played WAV RAW MIN\n");
    return 2;
}
