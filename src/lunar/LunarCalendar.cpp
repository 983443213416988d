#include "lunar/LunarCalendar.h"

#include <cstdio>
#include <ctime>

#include "lunar/LunarTables.h"

namespace lunar {
namespace {

// Texts in GB18030, two bytes a character.
const char* const kStems[10] = {"\xBC\xD7", "\xD2\xD2", "\xB1\xFB", "\xB6\xA1", "\xCE\xEC",
                                "\xBC\xBA", "\xB8\xFD", "\xD0\xC1", "\xC8\xC9", "\xB9\xEF"};  // 甲 … 癸
const char* const kBranches[12] = {"\xD7\xD3", "\xB3\xF3", "\xD2\xFA", "\xC3\xAE", "\xB3\xBD", "\xCB\xC8",
                                   "\xCE\xE7", "\xCE\xB4", "\xC9\xEA", "\xD3\xCF", "\xD0\xE7", "\xBA\xA5"};  // 子 … 亥
const char* const kAnimals[12] = {"\xCA\xF3", "\xC5\xA3", "\xBB\xA2", "\xCD\xC3", "\xC1\xFA", "\xC9\xDF",
                                  "\xC2\xED", "\xD1\xF2", "\xBA\xEF", "\xBC\xA6", "\xB9\xB7", "\xD6\xED"};  // 鼠 … 猪
const char* const kMonthChars[10] = {"\xD5\xFD", "\xB6\xFE", "\xC8\xFD", "\xCB\xC4", "\xCE\xE5",
                                     "\xC1\xF9", "\xC6\xDF", "\xB0\xCB", "\xBE\xC5", "\xCA\xAE"};  // 正 … 十
const char* const kDayTens[4] = {"\xB3\xF5", "\xCA\xAE", "\xD8\xA5", "\xC8\xFD"};  // 初 十 廿 三
const char* const kDayUnits[10] = {"\xD2\xBB", "\xB6\xFE", "\xC8\xFD", "\xCB\xC4", "\xCE\xE5",
                                   "\xC1\xF9", "\xC6\xDF", "\xB0\xCB", "\xBE\xC5", "\xCA\xAE"};  // 一 … 十
const char* const kWeekdays[7] = {"\xC8\xD5", "\xD2\xBB", "\xB6\xFE", "\xC8\xFD",
                                  "\xCB\xC4", "\xCE\xE5", "\xC1\xF9"};  // 日 一 … 六
const char* const kSolarTermNames[24] = {
    "\xD0\xA1\xBA\xAE", "\xB4\xF3\xBA\xAE", "\xC1\xA2\xB4\xBA", "\xD3\xEA\xCB\xAE", "\xBE\xAA\xD5\xDD",
    "\xB4\xBA\xB7\xD6", "\xC7\xE5\xC3\xF7", "\xB9\xC8\xD3\xEA", "\xC1\xA2\xCF\xC4", "\xD0\xA1\xC2\xFA",
    "\xC3\xA2\xD6\xD6", "\xCF\xC4\xD6\xC1", "\xD0\xA1\xCA\xEE", "\xB4\xF3\xCA\xEE", "\xC1\xA2\xC7\xEF",
    "\xB4\xA6\xCA\xEE", "\xB0\xD7\xC2\xB6", "\xC7\xEF\xB7\xD6", "\xBA\xAE\xC2\xB6", "\xCB\xAA\xBD\xB5",
    "\xC1\xA2\xB6\xAC", "\xD0\xA1\xD1\xA9", "\xB4\xF3\xD1\xA9", "\xB6\xAC\xD6\xC1"};  // 小寒 … 冬至
const char kLunarPrefix[] = "\xC5\xA9\xC0\xFA";  // 农历
const char kYearChar[] = "\xC4\xEA";             // 年
const char kMonthChar[] = "\xD4\xC2";            // 月
const char kDayChar[] = "\xC8\xD5";              // 日
const char kWeekPrefix[] = "\xD0\xC7\xC6\xDA";   // 星期
const char kDay20[] = "\xB6\xFE\xCA\xAE";        // 二十
const char kDay30[] = "\xC8\xFD\xCA\xAE";        // 三十
const char kMonth11[] = "\xCA\xAE\xD2\xBB\xD4\xC2";  // 十一月
const char kMonth12[] = "\xCA\xAE\xB6\xFE\xD4\xC2";  // 十二月

const unsigned kDaysBefore[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
const unsigned kWeekdayOffset[12] = {0, 3, 3, 6, 1, 4, 6, 2, 5, 0, 3, 5};
const unsigned kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

bool IsLeapYear(unsigned y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

long LeapDaysBefore(unsigned y) {
    long p = static_cast<long>(y) - 1;
    return p / 4 - p / 100 + p / 400;
}

// Days of the year before the date (valid month required).
long DayOfYear(unsigned y, unsigned m, unsigned d) {
    return kDaysBefore[m - 1] + d + (IsLeapYear(y) && m > 2 ? 1 : 0);
}

bool InTables(unsigned lunarYear) { return lunarYear >= kFirstYear && lunarYear <= kLastYear; }

bool MonthBit(unsigned lunarYear, unsigned bit) { return (kMonthLengthWords[lunarYear - kFirstYear] >> bit) & 1; }

}  // namespace

unsigned DaysInMonth(unsigned year, unsigned month) {
    if (month == 0 || month > 12) return 0;
    return month == 2 && IsLeapYear(year) ? 29 : kMonthDays[month - 1];
}

unsigned DayOfWeek(unsigned year, unsigned month, unsigned day) {
    if (month == 0 || month > 12) return 0;
    unsigned p = year == 0 ? 0 : year - 1;
    unsigned leap = IsLeapYear(year) && month > 2 ? 1 : 0;
    return (day + p + p / 4 - p / 100 + p / 400 + kWeekdayOffset[month - 1] + leap) % 7;
}

long DaysBetween(unsigned y1, unsigned m1, unsigned d1, unsigned y2, unsigned m2, unsigned d2) {
    if (m1 == 0 || m1 > 12 || m2 == 0 || m2 > 12) return 0;
    return (static_cast<long>(y1) - static_cast<long>(y2)) * 365 + LeapDaysBefore(y1) - LeapDaysBefore(y2) +
           DayOfYear(y1, m1, d1) - DayOfYear(y2, m2, d2);
}

unsigned LeapMonthOf(unsigned lunarYear) {
    if (!InTables(lunarYear)) return 0;
    unsigned k = lunarYear - kFirstYear;
    uint8_t pair = kLeapMonths[k / 2];
    return k % 2 == 0 ? pair >> 4 : pair & 0x0F;
}

LunarMonthLengths LunarMonthLength(unsigned lunarYear, unsigned month) {
    if (!InTables(lunarYear) || month == 0 || month > 12) return {30, 0};
    unsigned leap = LeapMonthOf(lunarYear);
    unsigned bit = leap != 0 && month > leap ? 15 - month : 16 - month;
    LunarMonthLengths result;
    result.length = MonthBit(lunarYear, bit) ? 30 : 29;
    if (month == leap) result.leapLength = MonthBit(lunarYear, 15 - leap) ? 30 : 29;
    return result;
}

unsigned LunarYearLength(unsigned lunarYear) {
    unsigned total = 0;
    for (unsigned m = 1; m <= 12; ++m) {
        LunarMonthLengths l = LunarMonthLength(lunarYear, m);
        total += l.length + l.leapLength;
    }
    return total;
}

LunarDate LunarFromOffset(long offset) {
    long n = offset < 0 ? 0 : offset;
    // Before lunar new year 1901 (1901-02-19): months 11 and 12 of lunar 1900.
    if (n <= 48)
        return n <= 18 ? LunarDate{1900, 11, static_cast<unsigned>(n + 11)}
                       : LunarDate{1900, 12, static_cast<unsigned>(n - 18)};
    n -= 49;
    LunarDate date{kFirstYear, 1, 1};
    while (n >= static_cast<long>(LunarYearLength(date.year))) n -= LunarYearLength(date.year++);
    unsigned leap = LeapMonthOf(date.year);
    for (;; ++date.month) {
        LunarMonthLengths l = LunarMonthLength(date.year, date.month);
        if (n < static_cast<long>(l.length)) break;
        n -= l.length;
        if (date.month == leap) {
            if (n < static_cast<long>(l.leapLength)) break;  // inside the leap month
            n -= l.leapLength;
        }
    }
    date.day = static_cast<unsigned>(1 + n);
    return date;
}

LunarDate GregorianToLunar(unsigned year, unsigned month, unsigned day, unsigned* solarTerm) {
    if (solarTerm) *solarTerm = SolarTermIndex(year, month, day);
    return LunarFromOffset(DaysBetween(year, month, day, kFirstYear, 1, 1));
}

unsigned SolarTermIndex(unsigned year, unsigned month, unsigned day) {
    if (year < kFirstYear || year > kLastYear || month == 0 || month > 12) return 0;
    uint8_t b = kSolarTerms[(year - kFirstYear) * 12 + month - 1];
    unsigned candidate = day <= 14 ? 15 - (b >> 4) : 15 + (b & 0x0F);
    if (day != candidate) return 0;
    return day < 16 ? 2 * month - 1 : 2 * month;
}

std::string SolarTermText(unsigned year, unsigned month, unsigned day) {
    unsigned index = SolarTermIndex(year, month, day);
    return index ? kSolarTermNames[index - 1] : "";
}

std::string YearText(unsigned lunarYear) {
    // (y - 4) mod 10 and (y - 4) mod 12, without going below zero.
    return std::string(kStems[(lunarYear + 6) % 10]) + kBranches[(lunarYear + 8) % 12] + " " +
           kAnimals[(lunarYear + 8) % 12] + kYearChar;
}

std::string LunarMonthText(unsigned lunarMonth) {
    if (lunarMonth == 11) return kMonth11;
    if (lunarMonth == 12) return kMonth12;
    if (lunarMonth == 0 || lunarMonth > 12) return "";
    return std::string("  ") + kMonthChars[lunarMonth - 1] + kMonthChar;
}

std::string LunarDayText(unsigned lunarDay) {
    if (lunarDay == 20) return kDay20;
    if (lunarDay == 30) return kDay30;
    if (lunarDay == 0 || lunarDay > 30) return "";
    return std::string(kDayTens[(lunarDay - 1) / 10]) + kDayUnits[(lunarDay - 1) % 10];
}

LunarCalendar::LunarCalendar() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    if (SelectDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday)) return;
    // A clock outside the calendar's years: the nearest day it covers.
    if (local.tm_year + 1900 > static_cast<int>(kLastYear)) SelectDate(kLastYear, 12, 31);
}

LunarCalendar::~LunarCalendar() = default;

bool LunarCalendar::SelectDate(unsigned year, unsigned month, unsigned day) {
    if (year < kFirstYear || year > kLastYear || day < 1 || day > DaysInMonth(year, month)) return false;
    year_ = static_cast<uint16_t>(year);
    month_ = static_cast<uint16_t>(month);
    day_ = static_cast<uint16_t>(day);
    return true;
}

std::string LunarCalendar::LunarDateText() const {
    unsigned term = 0;
    LunarDate d = GregorianToLunar(year_, month_, day_, &term);
    std::string text = std::string(kLunarPrefix) + " " + YearText(d.year) + " " + LunarMonthText(d.month) + " " +
                       LunarDayText(d.day);
    if (term) text += std::string(" ") + kSolarTermNames[term - 1];
    return text;
}

std::string LunarCalendar::SolarDateText() const {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%u%s%u%s%u%s %s%s", unsigned{year_}, kYearChar, unsigned{month_}, kMonthChar,
                  unsigned{day_}, kDayChar, kWeekPrefix, kWeekdays[DayOfWeek(year_, month_, day_)]);
    return buf;
}

}  // namespace lunar
