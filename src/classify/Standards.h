// The numbers of the cleanroom standards the classification judges against:
// the class limits of ISO 14644-1 (2015 and 1999 editions) with the sizes
// each edition's table gives, the Student t factors of the 1999 edition's
// confidence limit, the minimum number of sampling locations, and the
// limits of the grades of EU GMP Annex 1 (2022).
//
// Classes and sizes are counted in tenths, so that comparisons are exact:
// class 63 is ISO 6.3, size 5 is 0.5 µm, size 50 is 5.0 µm.
#pragma once

#include <span>

namespace oront::classify {

enum class Standard { Iso2015, Iso1999, Gmp2022 };
enum class Occupancy { AsBuilt, AtRest, Operational };

inline constexpr int kLowestClass = 10;   // ISO 1
inline constexpr int kHighestClass = 90;  // ISO 9

// The channel sizes the instrument measures, in tenths of a micrometre.
inline constexpr int kSizes[] = {3, 5, 10, 20, 25, 50};
bool IsInstrumentSize(int sizeTenths);

// The class limit in particles per m³ before rounding: 10^N x (0.1/D)^2.08.
double ClassFormula(int classTenths, int sizeTenths);
// The class limit as the standard states it: the formula rounded once, to
// the nearest whole number below 100 and to three significant figures from
// 100 on, halves up.
long long ClassLimit(int classTenths, int sizeTenths);
// The limits of ISO 1.0, 1.1, ... 9.0 at one of the instrument's sizes
// (empty for other sizes), computed once.
std::span<const long long> ClassLimits(int sizeTenths);

// Whether the edition's table gives a limit for the size at the class (an
// intermediate class: at both neighbouring integer classes). The GMP
// standard takes the 2015 edition's table.
bool IsApplicable(Standard standard, int classTenths, int sizeTenths);

// The 95 % Student t factor of the 1999 edition for m locations, m = 2..9;
// 0 where the edition asks for no confidence limit.
double StudentT(int locations);

// The fewest sampling locations for a room of the area (m²): the 2015
// edition's Table A.1 (also for the GMP standard), or the square root of
// the area rounded up for the 1999 edition.
int MinimumLocations(Standard standard, double areaM2);

// A cell of the Annex 1 table of maximum concentrations.
enum class GmpCell { Limit, NotSpecified, NotPredetermined, NotInTable };
struct GmpLimit {
    GmpCell cell = GmpCell::NotInTable;
    long long limit = 0;  // particles per m³, for GmpCell::Limit
};
// grade 'A'..'D'; sizes 0.5 and 5.0 µm are in the table, others are not.
GmpLimit GmpGradeLimit(char grade, Occupancy state, int sizeTenths);
// The ISO class (tenths) a grade's limits equal: A and B at rest ISO 5, B in
// operation and C at rest ISO 7, C in operation and D at rest ISO 8; 0 for
// grade D in operation, which has no predetermined limits.
int GmpIsoEquivalent(char grade, Occupancy state);

}  // namespace oront::classify
