// lunar-tables: computes the three tables of the lunar calendar (month
// lengths, leap months, solar-term days, 1901 to 2050) from the positions of
// the Sun and the Moon, and lists where they differ from the printed tables.
//
//   lunar-tables TABLES.cpp NOTES.txt           write both files
//   lunar-tables --check TABLES.cpp NOTES.txt   exit 1 unless both files match
//
// Rules: a month starts on the civil day of its new moon; month 11 holds the
// winter solstice; in a year of 13 months from one month 11 to the next, the
// first month without a principal term (a multiple of 30° of solar longitude)
// is the leap month and takes the number of the month before it. Civil days
// are China Standard Time (UTC+8), before 1929 Beijing mean time
// (UTC+7:45:40), the time the calendars of those years were published in.
// Solar-term days are dated in UTC+8 throughout.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "Astronomy.h"
#include "PrintedTables.h"

namespace {

constexpr int kFirstYear = 1901;
constexpr int kLastYear = 2050;
constexpr int kYears = kLastYear - kFirstYear + 1;
constexpr double kCstOffset = 8.0 / 24;
constexpr double kBeijingMeanOffset = (7 * 3600 + 45 * 60 + 40) / 86400.0;
constexpr double kCloseCallDays = 5.0 / 1440;  // instants this near midnight are listed

// ---- Civil days ------------------------------------------------------------

// A civil day as a Julian day number (the day that begins at midnight).
using DayNumber = long;

double CalendarOffsetAt(double jdUT) {
    return jdUT < astro::JulianDay(1929, 1, 1) - kCstOffset ? kBeijingMeanOffset : kCstOffset;
}

DayNumber CivilDay(double jdUT, double offset) {
    return static_cast<DayNumber>(std::floor(jdUT + 0.5 + offset));
}

DayNumber DayNumberOf(int year, int month, int day) {
    return static_cast<DayNumber>(astro::JulianDay(year, month, day) + 0.5);
}

std::string DateText(DayNumber day) {
    astro::CivilDate d = astro::CivilDateOf(static_cast<double>(day));
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", d.year, d.month, d.day);
    return buf;
}

std::string InstantText(double jdUT, double offset) {
    double local = jdUT + 0.5 + offset;
    DayNumber day = static_cast<DayNumber>(std::floor(local));
    long seconds = std::lround((local - std::floor(local)) * 86400.0);
    if (seconds == 86400) {  // rounded up into the next day
        ++day;
        seconds = 0;
    }
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s %02ld:%02ld:%02ld %s", DateText(day).c_str(), seconds / 3600,
                  seconds / 60 % 60, seconds % 60, offset == kCstOffset ? "UTC+8" : "UTC+7:45:40");
    return buf;
}

// Distance of an instant from the nearest local midnight, in days.
double FromMidnight(double jdUT, double offset) {
    double f = jdUT + 0.5 + offset;
    f -= std::floor(f);
    return f < 0.5 ? f : 1 - f;
}

// ---- Astronomical events ---------------------------------------------------

struct Term {
    double jd;      // UT
    int longitude;  // degrees
};

// The 24 solar terms of a Gregorian year, 小寒 (285°) first.
std::vector<Term> SolarTermsOf(int year) {
    std::vector<Term> terms;
    double guess = astro::JulianDay(year, 1, 6);
    for (int k = 0; k < 24; ++k) {
        int longitude = (285 + 15 * k) % 360;
        terms.push_back({astro::SolarLongitudeInstant(longitude, guess + 15.2184 * k), longitude});
    }
    return terms;
}

std::vector<double> NewMoonsBetween(double fromJd, double toJd) {
    std::vector<double> moons;
    for (double jd = astro::NewMoonInstant(fromJd); jd < toJd; jd = astro::NewMoonInstant(jd + 29.530589))
        moons.push_back(jd);
    return moons;
}

// ---- The calendar ----------------------------------------------------------

struct Month {
    double newMoon;  // UT
    DayNumber start;
    int length = 0;
    bool principalTerm = false;
    bool solstice = false;
    int number = 0;  // 1 to 12; 0 before the first month 11
    bool leap = false;
    int year = 0;  // lunar year
};

struct Calendar {
    std::vector<Term> terms;  // every solar term 1900 to 2051
    std::vector<Month> months;
};

void MarkPrincipalTerms(Calendar& cal) {
    for (Month& m : cal.months)
        for (const Term& t : cal.terms) {
            if (t.longitude % 30 != 0) continue;
            DayNumber day = CivilDay(t.jd, CalendarOffsetAt(t.jd));
            if (day < m.start || day >= m.start + m.length) continue;
            m.principalTerm = true;
            if (t.longitude == 270) m.solstice = true;
        }
}

// Numbers the months from each month 11 to the next, placing a leap month in
// the years of 13 months.
void NumberMonths(Calendar& cal) {
    std::vector<size_t> elevenths;
    for (size_t i = 0; i < cal.months.size(); ++i)
        if (cal.months[i].solstice) elevenths.push_back(i);
    for (size_t k = 0; k + 1 < elevenths.size(); ++k) {
        size_t from = elevenths[k], to = elevenths[k + 1];
        bool leapYear = to - from == 13;
        int number = 10;
        for (size_t i = from; i < to; ++i) {
            Month& m = cal.months[i];
            if (leapYear && !m.principalTerm) {
                m.number = number;
                m.leap = true;
                leapYear = false;
            } else {
                number = number % 12 + 1;
                m.number = number;
            }
        }
    }
    int year = kFirstYear - 1;  // the months before the first new year
    for (Month& m : cal.months) {
        if (m.number == 1 && !m.leap) year = astro::CivilDateOf(static_cast<double>(m.start)).year;
        m.year = year;
    }
}

Calendar ComputeCalendar() {
    Calendar cal;
    for (int y = kFirstYear - 1; y <= kLastYear + 1; ++y)
        for (const Term& t : SolarTermsOf(y)) cal.terms.push_back(t);
    std::vector<double> moons = NewMoonsBetween(astro::JulianDay(1900, 10, 1), astro::JulianDay(2052, 3, 1));
    for (size_t i = 0; i + 1 < moons.size(); ++i) {
        Month m;
        m.newMoon = moons[i];
        m.start = CivilDay(moons[i], CalendarOffsetAt(moons[i]));
        m.length = static_cast<int>(CivilDay(moons[i + 1], CalendarOffsetAt(moons[i + 1])) - m.start);
        cal.months.push_back(m);
    }
    MarkPrincipalTerms(cal);
    NumberMonths(cal);
    return cal;
}

struct Tables {
    uint16_t words[kYears] = {};
    uint8_t leaps[kYears] = {};
    uint8_t terms[kYears * 12] = {};
};

Tables MonthTables(const Calendar& cal) {
    Tables t;
    int position[kYears] = {};
    for (const Month& m : cal.months) {
        if (m.year < kFirstYear || m.year > kLastYear) continue;
        int y = m.year - kFirstYear;
        if (m.length == 30) t.words[y] |= static_cast<uint16_t>(1u << (15 - position[y]));
        if (m.leap) t.leaps[y] = static_cast<uint8_t>(m.number);
        ++position[y];
    }
    return t;
}

void SolarTermTable(Tables& t) {
    for (int y = kFirstYear; y <= kLastYear; ++y) {
        std::vector<Term> terms = SolarTermsOf(y);
        for (int month = 1; month <= 12; ++month) {
            int first = astro::CivilDateOf(CivilDay(terms[2 * month - 2].jd, kCstOffset)).day;
            int second = astro::CivilDateOf(CivilDay(terms[2 * month - 1].jd, kCstOffset)).day;
            t.terms[(y - kFirstYear) * 12 + month - 1] = static_cast<uint8_t>((15 - first) << 4 | (second - 15));
        }
    }
}

// ---- Comparison with the printed tables -----------------------------------

struct MonthStart {
    int year, number;
    bool leap;
    DayNumber start;
};

// The month starts that a set of tables implies, from lunar 1901-01-01 on
// 1901-02-19, and the new year of 2051 that ends them.
std::vector<MonthStart> StartsOf(const uint16_t* words, const uint8_t* leaps) {
    std::vector<MonthStart> starts;
    DayNumber day = DayNumberOf(1901, 2, 19);
    for (int y = 0; y < kYears; ++y) {
        int bit = 15;
        for (int number = 1; number <= 12; ++number) {
            for (bool leap : {false, true}) {
                if (leap && leaps[y] != number) continue;
                starts.push_back({kFirstYear + y, number, leap, day});
                day += (words[y] >> bit--) & 1 ? 30 : 29;
            }
        }
    }
    starts.push_back({kLastYear + 1, 1, false, day});  // where the last year ends
    return starts;
}

const Month* FindMonth(const Calendar& cal, int year, int number, bool leap) {
    for (const Month& m : cal.months)
        if (m.year == year && m.number == number && m.leap == leap) return &m;
    return nullptr;
}

std::string MonthName(int year, int number, bool leap) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "lunar %d %smonth %d", year, leap ? "leap " : "", number);
    return buf;
}

void CompareMonths(const Calendar& cal, const Tables& t, std::ostream& out) {
    uint8_t printedLeaps[kYears];
    for (int y = 0; y < kYears; ++y) printedLeaps[y] = PrintedLeapMonth(kFirstYear + y);
    out << "Month-length words and leap months that differ from the printed tables\n";
    for (int y = 0; y < kYears; ++y) {
        if (t.words[y] != kPrintedWords[y] || t.leaps[y] != printedLeaps[y]) {
            char buf[96];
            std::snprintf(buf, sizeof buf, "  %d: word %04X -> %04X, leap month %d -> %d\n", kFirstYear + y,
                          kPrintedWords[y], t.words[y], printedLeaps[y], t.leaps[y]);
            out << buf;
        }
    }
    out << "Months whose first day differs, with the new moon that decides it\n";
    std::vector<MonthStart> printed = StartsOf(kPrintedWords, printedLeaps);
    std::vector<MonthStart> computed = StartsOf(t.words, t.leaps);
    for (const MonthStart& c : computed) {
        DayNumber printedStart = 0;
        for (const MonthStart& p : printed)
            if (p.year == c.year && p.number == c.number && p.leap == c.leap) printedStart = p.start;
        if (printedStart == c.start) continue;
        const Month* m = FindMonth(cal, c.year, c.number, c.leap);
        out << "  " << MonthName(c.year, c.number, c.leap) << " starts " << DateText(c.start) << " (printed: "
            << (printedStart ? DateText(printedStart) : std::string("no such month"))
            << "); new moon " << InstantText(m->newMoon, CalendarOffsetAt(m->newMoon)) << "\n";
    }
}

void CompareSolarTerms(const Tables& t, std::ostream& out) {
    out << "Solar-term bytes that differ from the printed rows, with the terms that decide them\n";
    for (const PrintedTermRow& row : kPrintedTermRows) {
        std::vector<Term> terms = SolarTermsOf(row.year);
        for (int month = 1; month <= 12; ++month) {
            uint8_t computed = t.terms[(row.year - kFirstYear) * 12 + month - 1];
            if (computed == row.bytes[month - 1]) continue;
            char buf[64];
            std::snprintf(buf, sizeof buf, "  %d-%02d: %02X -> %02X;", row.year, month, row.bytes[month - 1],
                          computed);
            out << buf << " terms " << InstantText(terms[2 * month - 2].jd, kCstOffset) << ", "
                << InstantText(terms[2 * month - 1].jd, kCstOffset) << "\n";
        }
    }
}

void ListCloseCalls(const Calendar& cal, std::ostream& out) {
    out << "Instants within 5 minutes of midnight (the day they fall on is the one used)\n";
    for (const Month& m : cal.months) {
        if (m.year < kFirstYear - 1 || m.year > kLastYear) continue;
        double offset = CalendarOffsetAt(m.newMoon);
        if (FromMidnight(m.newMoon, offset) < kCloseCallDays)
            out << "  new moon of " << MonthName(m.year, m.number, m.leap) << ": " << InstantText(m.newMoon, offset)
                << "\n";
    }
    for (const Term& t : cal.terms) {
        DayNumber day = CivilDay(t.jd, kCstOffset);
        int year = astro::CivilDateOf(static_cast<double>(day)).year;
        if (year < kFirstYear || year > kLastYear) continue;
        if (FromMidnight(t.jd, kCstOffset) < kCloseCallDays)
            out << "  solar term at " << t.longitude << " deg: " << InstantText(t.jd, kCstOffset) << "\n";
        double offset = CalendarOffsetAt(t.jd);
        if (t.longitude % 30 == 0 && offset != kCstOffset && FromMidnight(t.jd, offset) < kCloseCallDays)
            out << "  principal term at " << t.longitude << " deg: " << InstantText(t.jd, offset) << "\n";
    }
}

// Sanity checks on what the calendar code takes for granted before 1901.
bool CheckStartOf1901(const Calendar& cal, std::ostream& err) {
    const Month* m11 = FindMonth(cal, 1900, 11, false);
    const Month* m12 = FindMonth(cal, 1900, 12, false);
    const Month* m1 = FindMonth(cal, 1901, 1, false);
    bool ok = m11 && m12 && m1 && m11->start == DayNumberOf(1900, 12, 22) &&
              m12->start == DayNumberOf(1901, 1, 20) && m1->start == DayNumberOf(1901, 2, 19);
    if (!ok) err << "lunar-tables: the months around lunar new year 1901 are not as the calendar code assumes\n";
    return ok;
}

// ---- Output ----------------------------------------------------------------

std::string TablesSource(const Tables& t) {
    std::ostringstream s;
    s << "// Generated by tools/lunar_tables (lunar-tables); do not edit. Computed from\n"
         "// the positions of the Sun and the Moon; see tools/lunar_tables/notes.txt.\n"
         "#include \"lunar/LunarTables.h\"\n\nnamespace lunar {\n\n";
    char buf[16];
    s << "// Lunar years 1901 to 2050: bit 15 - i set when the i-th month (leap month\n"
         "// included, in order) has 30 days.\nconst uint16_t kMonthLengthWords[150] = {\n";
    for (int y = 0; y < kYears; ++y) {
        std::snprintf(buf, sizeof buf, "%s0x%04X,", y % 10 ? " " : "    ", t.words[y]);
        s << buf << (y % 10 == 9 ? "\n" : "");
    }
    s << "};\n\n// Two years a byte, the earlier in the high nibble: the month followed by\n"
         "// the leap month, 0 for none.\nconst uint8_t kLeapMonths[75] = {\n";
    for (int k = 0; k < kYears / 2; ++k) {
        std::snprintf(buf, sizeof buf, "%s0x%02X,", k % 15 ? " " : "    ", t.leaps[2 * k] << 4 | t.leaps[2 * k + 1]);
        s << buf << (k % 15 == 14 ? "\n" : "");
    }
    s << "};\n\n// One byte per Gregorian month 1901-01 to 2050-12: the first term on day\n"
         "// 15 - high nibble, the second on day 15 + low nibble (UTC+8).\n"
         "const uint8_t kSolarTerms[1800] = {\n";
    for (int i = 0; i < kYears * 12; ++i) {
        std::snprintf(buf, sizeof buf, "%s0x%02X,", i % 12 ? " " : "    ", t.terms[i]);
        s << buf << (i % 12 == 11 ? "\n" : "");
    }
    s << "};\n\n}  // namespace lunar\n";
    return s.str();
}

std::string NotesText(const Calendar& cal, const Tables& t) {
    std::ostringstream s;
    s << "Generated by lunar-tables (tools/lunar_tables); do not edit.\n"
         "Differences between the computed lunar-calendar tables and the printed ones.\n"
         "Months start on the civil day of the new moon (UTC+8; UTC+7:45:40 before 1929);\n"
         "solar terms are dated in UTC+8. The computed value is the one kept.\n\n";
    CompareMonths(cal, t, s);
    s << "\n";
    CompareSolarTerms(t, s);
    s << "\n";
    ListCloseCalls(cal, s);
    return s.str();
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool WriteFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
    bool check = argc == 4 && std::string(argv[1]) == "--check";
    if (argc != 3 && !check) {
        std::fprintf(stderr, "usage: lunar-tables [--check] TABLES.cpp NOTES.txt\n");
        return 2;
    }
    std::string tablesPath = argv[argc - 2], notesPath = argv[argc - 1];
    Calendar cal = ComputeCalendar();
    std::ostringstream err;
    if (!CheckStartOf1901(cal, err)) {
        std::fputs(err.str().c_str(), stderr);
        return 1;
    }
    Tables t = MonthTables(cal);
    SolarTermTable(t);
    std::string source = TablesSource(t), notes = NotesText(cal, t);
    if (!check) return WriteFile(tablesPath, source) && WriteFile(notesPath, notes) ? 0 : 1;
    bool same = ReadFile(tablesPath) == source && ReadFile(notesPath) == notes;
    if (!same) std::fprintf(stderr, "lunar-tables: %s or %s differs from the computed tables\n", tablesPath.c_str(),
                            notesPath.c_str());
    return same ? 0 : 1;
}
