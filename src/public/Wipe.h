// Wiping secrets (passwords, derived keys) from memory once they are used, in
// a way the compiler cannot leave out as a dead store.
#pragma once

#include <cstddef>
#include <string>

#include "public/DES.h"

void WipeBytes(void* data, size_t size);
// Wipes the whole buffer of text (also the part beyond its size) and empties it.
void WipeString(std::string& text);
void WipeKey(DesKey& key);

// Wipes the text when the scope ends, whichever way it ends.
class WipeOnExit {
public:
    explicit WipeOnExit(std::string& text) : text_(text) {}
    ~WipeOnExit() { WipeString(text_); }
    WipeOnExit(const WipeOnExit&) = delete;
    WipeOnExit& operator=(const WipeOnExit&) = delete;

private:
    std::string& text_;
};
