#include "kelwavecompress/KELWaveCompress.h"

#include <gsm.h>

#include <algorithm>
#include <cstring>

KELWaveCompress::KELWaveCompress() : gsm_(gsm_create()) {}

KELWaveCompress::~KELWaveCompress()
{
    if (gsm_)
        gsm_destroy(static_cast<gsm>(gsm_));
}

void KELWaveCompress::Grow(size_t capacity)
{
    if (output_.size() < capacity)
        output_.resize(capacity);
}

bool KELWaveCompress::Encode(const uint8_t* data, size_t n)
{
    outputLength_ = 0;
    if (!gsm_)
        return false;
    const size_t blocks = (n + kWaveBlockBytes - 1) / kWaveBlockBytes;
    Grow(1 + kGsmFrameBytes * blocks);
    output_[0] = 0;
    size_t out = 1;
    for (size_t offset = 0; offset < n; offset += kWaveBlockBytes) {
        const size_t take = std::min(kWaveBlockBytes, n - offset);
        std::memcpy(input_, data + offset, take);
        if (take < kWaveBlockBytes)
            std::memset(reinterpret_cast<uint8_t*>(input_) + take, 0, kWaveBlockBytes - take);
        gsm_encode(static_cast<gsm>(gsm_), input_, output_.data() + out);
        out += kGsmFrameBytes;
    }
    outputLength_ = out;
    return true;
}

bool KELWaveCompress::Decode(const uint8_t* data, size_t n)
{
    outputLength_ = 0;
    if (!gsm_ || n == 0 || data[0] != 0)
        return false;
    const size_t units = n / kGsmUnitBytes;
    Grow(std::max(10 * n + 20, units * kWaveBlockBytes));
    for (size_t unit = 0; unit < units; ++unit) {
        std::memcpy(frame_, data + unit * kGsmUnitBytes + 1, kGsmFrameBytes);
        gsm_decode(static_cast<gsm>(gsm_), frame_, decoded_);
        std::memcpy(output_.data() + outputLength_, decoded_, kWaveBlockBytes);
        outputLength_ += kWaveBlockBytes;
    }
    return true;
}
