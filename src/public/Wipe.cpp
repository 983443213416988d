#include "public/Wipe.h"

#include <string.h>

void WipeBytes(void* data, size_t size)
{
    if (data && size)
        explicit_bzero(data, size);
}

void WipeString(std::string& text)
{
    // The characters beyond the size belong to the same buffer: a shorter
    // text assigned earlier leaves the rest of a longer one there.
    text.resize(text.capacity());
    WipeBytes(text.data(), text.size());
    text.clear();
}

void WipeKey(DesKey& key)
{
    WipeBytes(key.data(), key.size());
}
