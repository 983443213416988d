// GSM framing, sound records, WAV files and the work file.
#include <gtest/gtest.h>
#include <gsm.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "kelwavecompress/KELSoundRecords.h"
#include "kelwavecompress/KELSoundWorkFile.h"
#include "kelwavecompress/KELWaveCompress.h"
#include "kelwavecompress/KELWaveFile.h"

namespace {

// A second of speech-like sound: two tones with an envelope.
std::string Tone(size_t samples)
{
    std::string pcm;
    for (size_t i = 0; i < samples; ++i) {
        const double t = double(i) / 8000;
        const auto v = int16_t(9000 * std::sin(2 * M_PI * 220 * t) * (0.6 + 0.4 * std::sin(2 * M_PI * 3 * t))
                               + 3000 * std::sin(2 * M_PI * 1250 * t));
        pcm.push_back(char(v & 0xFF));
        pcm.push_back(char(v >> 8));
    }
    return pcm;
}

// The frames libgsm itself writes for pcm (160 samples each, last zero-padded).
std::string LibgsmFrames(const std::string& pcm)
{
    gsm state = gsm_create();
    std::string frames;
    for (size_t at = 0; at < pcm.size(); at += 320) {
        gsm_signal block[160] = {};
        std::memcpy(block, pcm.data() + at, std::min<size_t>(320, pcm.size() - at));
        gsm_byte frame[33];
        gsm_encode(state, block, frame);
        frames.append(reinterpret_cast<char*>(frame), 33);
    }
    gsm_destroy(state);
    return frames;
}

std::string FramesOfRecords(const std::string& records)
{
    std::string frames;
    for (size_t at = 0; at + 38 <= records.size(); at += 38)
        frames += records.substr(at + 5, 33);
    return frames;
}

std::string TempPath(const char* name)
{
    return ::testing::TempDir() + name + std::to_string(getpid());
}

} // namespace

TEST(KELWaveCompress, EncodeLengthsMarkerAndFrames)
{
    KELWaveCompress codec;
    const std::string pcm = Tone(400);   // 800 bytes: two full blocks and a partial one
    struct Case { size_t n; size_t length; } cases[] = {{0, 1}, {1, 34}, {320, 34}, {321, 67}, {800, 100}};
    for (const Case& c : cases) {
        ASSERT_TRUE(codec.Encode(reinterpret_cast<const uint8_t*>(pcm.data()), c.n)) << c.n;
        EXPECT_EQ(codec.OutputLength(), c.length) << c.n;
        EXPECT_EQ(codec.Output()[0], 0);
        for (size_t f = 1; f < c.length; f += 33)
            EXPECT_EQ(codec.Output()[f] >> 4, 0xD) << "frame magic, n = " << c.n;
    }
    KELWaveCompress fresh;   // the codec keeps state from frame to frame
    fresh.Encode(reinterpret_cast<const uint8_t*>(pcm.data()), pcm.size());
    const std::string out(reinterpret_cast<const char*>(fresh.Output()) + 1, fresh.OutputLength() - 1);
    EXPECT_EQ(out, LibgsmFrames(pcm)) << "the last block is zero-padded as libgsm sees it";
}

TEST(KELWaveCompress, DecodeUnitsAndRefusals)
{
    KELWaveCompress encoder, decoder;
    const std::string pcm = Tone(320);
    std::string units;
    for (size_t at = 0; at < pcm.size(); at += 320) {
        encoder.Encode(reinterpret_cast<const uint8_t*>(pcm.data()) + at, 320);
        units.append(reinterpret_cast<const char*>(encoder.Output()), encoder.OutputLength());
    }
    units += std::string(20, '\x01');   // a trailing partial unit: ignored
    ASSERT_TRUE(decoder.Decode(reinterpret_cast<const uint8_t*>(units.data()), units.size()));
    EXPECT_EQ(decoder.OutputLength(), 640u);

    gsm reference = gsm_create();
    gsm_signal expected[160];
    gsm_decode(reference, reinterpret_cast<gsm_byte*>(units.data() + 1), expected);
    gsm_destroy(reference);
    EXPECT_EQ(std::memcmp(decoder.Output(), expected, 320), 0);

    const uint8_t badMarker[34] = {1};
    EXPECT_FALSE(decoder.Decode(badMarker, 34));
    EXPECT_FALSE(decoder.Decode(badMarker, 0));
    const uint8_t shortUnit[10] = {0};
    ASSERT_TRUE(decoder.Decode(shortUnit, 10));
    EXPECT_EQ(decoder.OutputLength(), 0u);
}

TEST(KELSoundRecords, OneSecondIsFiftyRecordsAndReadsBack)
{
    KELWaveCompress codec;
    const std::string pcm = Tone(8000);
    const std::string records = EncodeSoundRecords(codec, pcm);
    ASSERT_EQ(records.size(), 1900u);
    for (size_t at = 0; at < records.size(); at += 38)
        ASSERT_EQ(records.substr(at, 5), std::string("\x22\0\0\0\0", 5)) << at;
    EXPECT_EQ(FramesOfRecords(records), LibgsmFrames(pcm));
    EXPECT_EQ(DecodeSoundRecords(codec, records).size(), 16000u);
    EXPECT_TRUE(EncodeSoundRecords(codec, "").empty());
}

TEST(KELSoundRecords, PlaybackRulesForDamagedRecords)
{
    KELWaveCompress codec;
    const std::string good = EncodeSoundRecords(codec, Tone(160));
    std::string wrongMarker = good;
    wrongMarker[4] = 7;
    const std::string tooLong = std::string("\x41\x01\0\0", 4) + std::string(321, '\0');
    struct Case { std::string payload; size_t pcmBytes; const char* what; } cases[] = {
        {good + wrongMarker + good, 640, "a record with a wrong marker is skipped"},
        {good + tooLong + good, 320, "a length above 320 ends playback"},
        {good + good.substr(0, 20), 320, "a truncated record ends playback"},
        {good + good.substr(0, 3), 320, "a truncated length ends playback"},
        {std::string("\0\0\0\0", 4) + good + good, 640, "an empty record is skipped"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DecodeSoundRecords(codec, c.payload).size(), c.pcmBytes) << c.what;
}

TEST(KELSoundRecords, FramesMatchLibgsmToast)
{
    if (system("command -v toast >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "toast (package libgsm-tools) is not installed";
    const std::string pcm = Tone(8000 * 3 + 77);
    const std::string raw = TempPath("toast-in.raw"), gsmFile = TempPath("toast-out.gsm");
    std::ofstream(raw, std::ios::binary) << pcm;
    ASSERT_EQ(system(("toast -l -c < " + raw + " > " + gsmFile).c_str()), 0);
    std::stringstream toastFrames;
    toastFrames << std::ifstream(gsmFile, std::ios::binary).rdbuf();
    KELWaveCompress codec;
    EXPECT_EQ(FramesOfRecords(EncodeSoundRecords(codec, pcm)), toastFrames.str());
    std::remove(raw.c_str());
    std::remove(gsmFile.c_str());
}

TEST(KELWaveFile, RoundTripAndRefusedFormats)
{
    const std::string pcm = Tone(100);
    std::string read, error;
    ASSERT_TRUE(ReadWaveFile(MakeWaveFile(pcm), read, error)) << error;
    EXPECT_EQ(read, pcm);

    auto withFormat = [&](int tag, int channels, int rate, int bits) {
        std::string f = MakeWaveFile(pcm);
        f[20] = char(tag);
        f[22] = char(channels);
        f[24] = char(rate & 0xFF);
        f[25] = char(rate >> 8);
        f[34] = char(bits);
        return f;
    };
    const std::string refused[] = {withFormat(3, 1, 8000, 16), withFormat(1, 2, 8000, 16),
                                   withFormat(1, 1, 11025, 16), withFormat(1, 1, 8000, 8),
                                   "RIFF\0\0\0\0WAVE", "not a wave file", MakeWaveFile(pcm).substr(0, 30)};
    for (const std::string& f : refused) {
        error.clear();
        EXPECT_FALSE(ReadWaveFile(f, read, error));
        EXPECT_FALSE(error.empty());
    }
    // A data chunk cut short keeps the samples that are there.
    ASSERT_TRUE(ReadWaveFile(MakeWaveFile(pcm).substr(0, 44 + 101), read, error));
    EXPECT_EQ(read, pcm.substr(0, 100));
}

TEST(KELSoundWorkFile, PrivateFileAppendReadAndStaleRemoval)
{
    const std::string folder = TempPath("work") + "/";
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    KELSoundWorkFile file;
    ASSERT_TRUE(file.Create(SoundWorkFilePath(folder)));
    struct stat st;
    ASSERT_EQ(stat(file.Path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_TRUE(file.Write("abcdef", 6));
    file.Seek(2);
    EXPECT_EQ(file.Read(3), "cde");
    EXPECT_EQ(file.Read(10), "f");
    EXPECT_EQ(file.Size(), 6);
    ASSERT_TRUE(file.Truncate());
    EXPECT_EQ(file.Size(), 0);

    // A file of a process that no longer runs goes; this process's stays.
    const std::string stale = folder + "sound-999999999.$vl_wav", other = folder + "notes.txt";
    std::ofstream(stale) << "x";
    std::ofstream(other) << "x";
    RemoveStaleWorkFiles(folder);
    EXPECT_NE(access(stale.c_str(), F_OK), 0);
    EXPECT_EQ(access(file.Path().c_str(), F_OK), 0);
    EXPECT_EQ(access(other.c_str(), F_OK), 0);
    file.Close();
    std::remove(file.Path().c_str());
    std::remove(other.c_str());
    rmdir(folder.c_str());
}
