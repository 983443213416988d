// One picked file or folder: its path, Win32 attribute word and size.
#pragma once

#include <cstdint>
#include <string>

struct KELFileItem {
    uint32_t Attributes = 0;   // bit kAttrDirectory marks a folder
    std::string Path;          // full path as picked (UTF-8 on disk)
    int64_t Size = 0;          // bytes; 0 for folders and items made from a bare path

    KELFileItem() = default;
    // Attributes read from the file system (links followed); 0 when it cannot be read.
    explicit KELFileItem(std::string path);
    KELFileItem(std::string path, uint32_t attributes);

    bool IsFolder() const;
};
