// Positions of the Sun and the Moon, precise enough to date solar terms and
// new moons to the minute: the Earth from the VSOP87 series (truncated as in
// Meeus, Astronomical Algorithms, appendix III), the Moon from the ELP-2000/82
// terms of Meeus chapter 47, nutation in longitude from the IAU 1980 series,
// ΔT from the Espenak-Meeus fits.
#pragma once

namespace astro {

// Julian day of a Gregorian calendar instant (day may carry a fraction).
double JulianDay(int year, int month, double day);

struct CivilDate {
    int year, month, day;
};
// The Gregorian date of a Julian day number rounded down to its civil day
// (jd counted from midnight, i.e. jd + 0.5 already applied by the caller).
CivilDate CivilDateOf(double jdFromMidnight);

// TT − UT in seconds for a Julian day (UT).
double DeltaTSeconds(double jdUT);

// Apparent geocentric ecliptic longitude of the Sun, degrees in [0, 360), at
// a Julian Ephemeris Day.
double SunApparentLongitude(double jde);

// Apparent geocentric ecliptic longitude of the Moon, degrees in [0, 360).
double MoonApparentLongitude(double jde);

// The instant (JD, UT) at which the Sun's apparent longitude reaches
// `degrees`, searched near `jdGuessUT`.
double SolarLongitudeInstant(double degrees, double jdGuessUT);

// The instant (JD, UT) of the new moon (equal apparent longitudes of Sun and
// Moon) nearest to `jdGuessUT` (within about a week).
double NewMoonInstant(double jdGuessUT);

}  // namespace astro
