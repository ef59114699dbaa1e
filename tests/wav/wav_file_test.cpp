// The WAV library: the bytes it writes, and what its chunk reader takes and refuses.
#include "wav/wav_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace {

TEST(Wav, EncodesHeaderAndSamplesLittleEndian) {
    const std::vector<std::uint8_t> bytes = wav_file_bytes({1, -2, 0x1234, -32768}, 22050, 2);
    const std::vector<std::uint8_t> expected = {
        'R', 'I', 'F', 'F', 44, 0, 0,    0,    'W', 'A', 'V',  'E',  'f',  'm',  't',  ' ', 16, 0,
        0,   0,   1,   0,   2,  0, 0x22, 0x56, 0,   0,   0x88, 0x58, 1,    0,    4,    0,   16, 0,
        'd', 'a', 't', 'a', 8,  0, 0,    0,    1,   0,   0xFE, 0xFF, 0x34, 0x12, 0x00, 0x80};
    EXPECT_EQ(bytes, expected);
}

// The samples of a WAV file, or the reason it was refused.
std::string read_back(const std::vector<std::uint8_t>& file) {
    std::string why;
    const std::optional<WavPcm16> pcm = wav_pcm16(file, &why);
    if (!pcm) {
        return why;
    }
    return std::to_string(pcm->rate) + " Hz, " + std::to_string(pcm->channels) + " channels, " +
           std::string(pcm->samples.begin(), pcm->samples.end());
}

// A chunk with a body of `length` bytes 'x', padded to an even length.
std::vector<std::uint8_t> chunk(const char* name, std::uint32_t claimed, std::size_t length) {
    std::vector<std::uint8_t> bytes(name, name + 4);
    for (int i = 0; i < 4; ++i) {
        bytes.push_back(static_cast<std::uint8_t>(claimed >> (8 * i)));
    }
    bytes.resize(8 + length + length % 2, 'x');
    return bytes;
}

TEST(Wav, ReadsBackWhatItWritesAndSkipsOtherChunks) {
    // Samples whose bytes spell "AB" and "CD", so they read back as text.
    std::vector<std::uint8_t> file = wav_file_bytes({0x4241, 0x4443}, 8000, 2);
    EXPECT_EQ(read_back(file), "8000 Hz, 2 channels, ABCD");
    // An odd-length chunk (padded) before the data, and a chunk after it.
    const std::vector<std::uint8_t> odd = chunk("LIST", 3, 3);
    file.insert(file.begin() + 36, odd.begin(), odd.end());
    const std::vector<std::uint8_t> after = chunk("cue ", 4, 4);
    file.insert(file.end(), after.begin(), after.end());
    EXPECT_EQ(read_back(file), "8000 Hz, 2 channels, ABCD");
    const std::optional<std::vector<WavChunk>> chunks = wav_chunks(file);
    ASSERT_TRUE(chunks);
    std::string names;
    for (const WavChunk& each : *chunks) {
        names += std::string(each.name) + std::to_string(each.body.size()) + " ";
    }
    EXPECT_EQ(names, "fmt 16 LIST3 data4 cue 4 ");
}

TEST(Wav, RefusesMalformedFilesAndNeverReadsPastTheEnd) {
    const std::vector<std::uint8_t> good = wav_file_bytes({0x4241, 0x4443}, 8000, 1);
    const auto with = [&](std::size_t at, std::vector<std::uint8_t> bytes) {
        std::vector<std::uint8_t> file = good;
        std::copy(bytes.begin(), bytes.end(), file.begin() + static_cast<long>(at));
        return file;
    };
    std::vector<std::uint8_t> data_first = good;
    std::rotate(data_first.begin() + 12, data_first.begin() + 36, data_first.end());
    std::vector<std::uint8_t> short_format(good.begin(), good.begin() + 12);
    const std::vector<std::uint8_t> format = chunk("fmt ", 14, 14);
    short_format.insert(short_format.end(), format.begin(), format.end());
    short_format.insert(short_format.end(), good.begin() + 36, good.end());
    const std::pair<std::vector<std::uint8_t>, std::string> cases[] = {
        {{}, "not a WAV file"},
        {{good.begin(), good.begin() + 11}, "not a WAV file"},
        {with(0, {'R', 'I', 'F', 'X'}), "not a WAV file"},
        {with(8, {'A', 'V', 'I', ' '}), "not a WAV file"},
        {{good.begin(), good.begin() + 36}, "no PCM data"}, // no data chunk
        {data_first, "no PCM data"},                        // data before its format
        {short_format, "no PCM data"},
        {with(20, {3, 0}), "only 16-bit PCM is read"},     // floating point
        {with(34, {8, 0}), "only 16-bit PCM is read"},     // 8-bit
        {with(22, {0, 0}), "only 16-bit PCM is read"},     // no channels
        {with(24, {0, 0, 0, 0}), "a sample rate of 0 Hz"}, // no sample rate
        // A data chunk claiming more than the file holds gives what is there, in whole frames.
        {with(40, {0xff, 0xff, 0xff, 0xff}), "8000 Hz, 1 channels, ABCD"},
        {{good.begin(), good.end() - 1}, "8000 Hz, 1 channels, AB"},
    };
    for (const auto& [file, expected] : cases) {
        EXPECT_EQ(read_back(file), expected);
    }
    // A chunk header needs 8 bytes, wherever it is asked for.
    EXPECT_FALSE(wav_chunk_at(good, good.size() - 7));
    EXPECT_FALSE(wav_chunk_at(good, good.size() + 100));
}

} // namespace
