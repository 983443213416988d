// JSON picture of a storage: file facts, structure and every value, in the
// form used by the Metakit fixtures (one row per line).
#pragma once

#include <string>

#include "mk/Storage.h"

namespace mk {

// storage must be open; every view, row and value is read.
std::string DumpJson(Storage& storage);

}  // namespace mk
