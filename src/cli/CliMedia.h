// Sound and picture payloads for the store commands: WAV files become sound
// records through the recorder's encoder and back; pictures become the
// whiteboard's BMP payload, and whiteboards PNG files.
#pragma once

#include <string>

namespace cli {

// false with a message for the user.
bool WaveToSoundPayload(const std::string& wav, std::string& payload, std::string& error);
std::string SoundPayloadToWave(const std::string& payload);
bool PictureToWhiteboardPayload(const std::string& picture, std::string& payload, std::string& error);
bool WhiteboardPayloadToPng(const std::string& payload, std::string& png, std::string& error);

}  // namespace cli
