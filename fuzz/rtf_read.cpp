// Arbitrary bytes into the RTF reader; whatever it reads must write and read
// back to the same document.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "rtf/RtfReader.h"
#include "rtf/RtfWriter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    RtfDocument doc;
    ReadRtf(input, doc);
    PlainTextOf(ReadRtfOrText(input));

    RtfDocument back;
    if (!ReadRtf(WriteRtf(doc), back))
        abort();
    return 0;
}
