#include "cli/CliMedia.h"

#include "kellib/Kelbmp.h"
#include "kelwavecompress/KELSoundRecords.h"
#include "kelwavecompress/KELWaveFile.h"

#ifdef VAULTLEAF_CLI_QT
#include <QBuffer>
#include <QImage>
#endif

namespace cli {

bool WaveToSoundPayload(const std::string& wav, std::string& payload, std::string& error)
{
    std::string pcm;
    if (!ReadWaveFile(wav, pcm, error))
        return false;
    KELWaveCompress codec;
    payload = EncodeSoundRecords(codec, pcm);
    return true;
}

std::string SoundPayloadToWave(const std::string& payload)
{
    KELWaveCompress codec;
    return MakeWaveFile(DecodeSoundRecords(codec, payload));
}

#ifdef VAULTLEAF_CLI_QT

bool PictureToWhiteboardPayload(const std::string& picture, std::string& payload, std::string& error)
{
    QImage image;
    if (!image.loadFromData(reinterpret_cast<const uchar*>(picture.data()), int(picture.size()))) {
        error = "不能读入图片。";
        return false;
    }
    image = image.convertToFormat(QImage::Format_RGB32);
    payload = WriteBmp(image.width(), image.height(), reinterpret_cast<const uint32_t*>(image.constBits()),
                       size_t(image.bytesPerLine() / 4));
    return true;
}

bool WhiteboardPayloadToPng(const std::string& payload, std::string& png, std::string& error)
{
    KELBitmap bmp;
    if (!ReadBmp(payload, bmp)) {
        error = "不能读入图片。";
        return false;
    }
    const QImage image(reinterpret_cast<const uchar*>(bmp.pixels.data()), bmp.width, bmp.height,
                       qsizetype(bmp.width) * 4, QImage::Format_RGB32);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG")) {
        error = "cannot write the PNG image";
        return false;
    }
    png.assign(bytes.constData(), size_t(bytes.size()));
    return true;
}

#else

// Without Qt only BMP pictures are understood; they are stored as 24-bit BMP.
bool PictureToWhiteboardPayload(const std::string& picture, std::string& payload, std::string& error)
{
    KELBitmap bmp;
    if (!ReadBmp(picture, bmp)) {
        error = "不能读入图片。(this build reads BMP pictures only)";
        return false;
    }
    payload = WriteBmp(bmp.width, bmp.height, bmp.pixels.data(), size_t(bmp.width));
    return true;
}

bool WhiteboardPayloadToPng(const std::string&, std::string&, std::string& error)
{
    error = "this build cannot write PNG images (built without Qt)";
    return false;
}

#endif

}  // namespace cli
