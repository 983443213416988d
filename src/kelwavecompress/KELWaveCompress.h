// KELWaveCompress: GSM 06.10 full-rate coding of 8 kHz mono 16-bit PCM.
// Encode turns PCM into one unit: a marker byte 0 and one 33-byte frame per
// 320 PCM bytes (the last block zero-padded). Decode turns units of 34 bytes
// (marker + frame) back into 320 PCM bytes each; a trailing partial unit is
// ignored. The output stays valid until the next call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

constexpr size_t kWaveBlockBytes = 320;   // 160 samples, 20 ms
constexpr size_t kGsmFrameBytes = 33;
constexpr size_t kGsmUnitBytes = 1 + kGsmFrameBytes;

class KELWaveCompress {
public:
    KELWaveCompress();
    ~KELWaveCompress();
    KELWaveCompress(const KELWaveCompress&) = delete;
    KELWaveCompress& operator=(const KELWaveCompress&) = delete;

    // False only when the codec state could not be created.
    bool Encode(const uint8_t* data, size_t n);
    // False when data[0] is not the marker 0 (or n is 0).
    bool Decode(const uint8_t* data, size_t n);

    const uint8_t* Output() const { return output_.data(); }
    size_t OutputLength() const { return outputLength_; }

private:
    void Grow(size_t capacity);

    std::vector<uint8_t> output_;
    size_t outputLength_ = 0;
    void* gsm_ = nullptr;                      // the libgsm state
    int16_t input_[kWaveBlockBytes / 2] = {};  // one zero-padded input block
    int16_t decoded_[kWaveBlockBytes / 2] = {};
    uint8_t frame_[kGsmFrameBytes] = {};
};
