// The lunar calendar's three tables, computed by tools/lunar_tables.
#pragma once

#include <cstdint>

namespace lunar {

extern const uint16_t kMonthLengthWords[150];
extern const uint8_t kLeapMonths[75];
extern const uint8_t kSolarTerms[1800];

}  // namespace lunar
