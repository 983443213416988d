// Sound payloads: a sequence of records, each a 4-byte little-endian length N
// followed by N bytes (the recorder writes N = 34: marker 0 and one GSM
// frame). One record is 38 bytes and 20 ms of sound.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "kelwavecompress/KELWaveCompress.h"

constexpr size_t kSoundRecordBytes = 4 + kGsmUnitBytes;
constexpr uint32_t kMaxRecordData = 320;   // a longer record ends playback

// Appends one record holding n bytes of data.
void AppendSoundRecord(std::string& out, const uint8_t* data, size_t n);

// The records of PCM (8 kHz mono 16-bit little-endian), 320 bytes per record,
// the last block zero-padded; empty PCM gives no records.
std::string EncodeSoundRecords(KELWaveCompress& codec, const std::string& pcm);

// Reads the next record of payload at offset as playback does: false at the
// end, at a length above 320 or a truncated record. A record with a wrong
// marker yields ok = true and no PCM (it is skipped).
struct SoundRecordReader {
    const std::string& payload;
    size_t offset = 0;
    bool Next(KELWaveCompress& codec, std::string& pcm320);
};

// The PCM of every record, 320 bytes each (shorter output zero-filled).
std::string DecodeSoundRecords(KELWaveCompress& codec, const std::string& payload);
