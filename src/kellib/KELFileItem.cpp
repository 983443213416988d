#include "kellib/KELFileItem.h"

#include <sys/stat.h>

#include "kellib/Kelfilelib.h"

KELFileItem::KELFileItem(std::string path) : Path(std::move(path)) {
    struct stat st;
    if (stat(Path.c_str(), &st) == 0) Attributes = FileAttributeWord(Path, st.st_mode);
}

KELFileItem::KELFileItem(std::string path, uint32_t attributes) : Attributes(attributes), Path(std::move(path)) {}

bool KELFileItem::IsFolder() const { return (Attributes & kAttrDirectory) != 0; }
