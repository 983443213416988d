// Recording and playback through the wave classes on scripted devices.
#include <gtest/gtest.h>
#include <unistd.h>

#include "ScriptedWaveDevices.h"
#include "kelwavecompress/KELSoundRecords.h"
#include "kelwavecompress/KELWave.h"

namespace {

std::string Pcm(size_t bytes)
{
    std::string pcm(bytes, '\0');
    for (size_t i = 0; i < bytes; ++i)
        pcm[i] = char((i * 37) ^ (i >> 3));
    return pcm;
}

} // namespace

TEST(KELWaveInGSM, RecordingDeliversOneUnitPerBufferOnlyWhileRecording)
{
    ScriptedWaveInput device;
    KELWaveInGSM in(device);
    std::string records;
    in.DataHandler = [&](const uint8_t* data, size_t n) { AppendSoundRecord(records, data, n); };
    EXPECT_FALSE(in.StartRecording()) << "not open";
    ASSERT_TRUE(in.OpenDevice());
    ASSERT_TRUE(in.StartRecording());
    const std::string pcm = Pcm(16000);
    device.Feed(pcm, 50);
    in.StopRecording();
    device.running = true;   // a buffer arriving after stop is not recorded
    device.Feed(pcm, 1);
    EXPECT_EQ(records.size(), 1900u);
    KELWaveCompress codec;
    EXPECT_EQ(records, EncodeSoundRecords(codec, pcm));
    in.CloseDevice();
    EXPECT_FALSE(device.opened);

    ScriptedWaveInput missing;
    missing.available = false;
    KELWaveInGSM none(missing);
    EXPECT_FALSE(none.OpenDevice());
    EXPECT_FALSE(none.StartRecording());
}

TEST(KELWaveOutGSM, PlaysEveryRecordKeepingAtMost98Queued)
{
    KELWaveCompress codec;
    const std::string pcm = Pcm(320 * 150);
    KELSoundWorkFile file;
    ASSERT_TRUE(file.Create(::testing::TempDir() + "play" + std::to_string(getpid())));
    const std::string records = EncodeSoundRecords(codec, pcm);
    ASSERT_TRUE(file.Write(records.data(), records.size()));

    ScriptedWaveOutput device;
    KELWaveOutGSM out(device);
    ASSERT_TRUE(out.OpenDevice());
    int maxQueued = 0, progress = 0;
    out.ProcessEvents = [&] {
        maxQueued = std::max(maxQueued, device.queued);
        device.Drain();
    };
    out.Resume();
    out.PlayStream(file, [&] { ++progress; });
    EXPECT_EQ(progress, 150);
    EXPECT_EQ(device.written.size(), 150u);
    EXPECT_LE(maxQueued, kWaveOutBuffers);
    EXPECT_EQ(device.queued, 0) << "returns when everything queued has played";
    std::string played;
    for (const std::string& buffer : device.written)
        played += buffer;
    KELWaveCompress fresh;
    EXPECT_EQ(played, DecodeSoundRecords(fresh, records));
    out.ResetOutput();
    EXPECT_FALSE(out.Playing());
    std::remove(file.Path().c_str());
}

TEST(KELWaveOutGSM, PauseHoldsThePlaceAndStopEndsPlayback)
{
    KELWaveCompress codec;
    KELSoundWorkFile file;
    ASSERT_TRUE(file.Create(::testing::TempDir() + "pause" + std::to_string(getpid())));
    const std::string records = EncodeSoundRecords(codec, Pcm(320 * 20));
    ASSERT_TRUE(file.Write(records.data(), records.size()));

    ScriptedWaveOutput device;
    KELWaveOutGSM out(device);
    ASSERT_TRUE(out.OpenDevice());
    int passes = 0, progress = 0;
    int64_t pausedAt = -1;
    out.ProcessEvents = [&] {
        device.Drain();
        ++passes;
        if (progress == 5 && pausedAt < 0) {
            out.Pause();
            pausedAt = file.Position();
        }
        if (pausedAt >= 0 && passes == 40) {
            EXPECT_EQ(file.Position(), pausedAt) << "nothing is read while paused";
            out.Resume();
        }
        if (progress == 12)
            out.ResetOutput();   // Stop during playback
    };
    out.Resume();
    out.PlayStream(file, [&] { ++progress; });
    EXPECT_EQ(progress, 12);
    EXPECT_FALSE(out.Playing());

    ScriptedWaveOutput missing;
    missing.available = false;
    KELWaveOutGSM none(missing);
    EXPECT_FALSE(none.OpenDevice());
    EXPECT_FALSE(none.WriteFrame(reinterpret_cast<const uint8_t*>(records.data()) + 4, 34));
    std::remove(file.Path().c_str());
}
