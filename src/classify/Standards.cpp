#include "classify/Standards.h"

#include <array>
#include <cmath>
#include <limits>

namespace oront::classify {
namespace {

int SizeIndex(int sizeTenths) {
    for (int i = 0; i < static_cast<int>(std::size(kSizes)); ++i)
        if (kSizes[i] == sizeTenths) return i;
    return -1;
}

long long RoundedLimit(int classTenths, int sizeTenths) {
    const double x = ClassFormula(classTenths, sizeTenths);
    if (!(x > 0.0)) return 0;
    // Rounded once: below 100 to the nearest whole number, from 100 on to
    // three significant figures (a mantissa of 100..999 and a power of ten),
    // halves up.
    if (x < 100.0) return static_cast<long long>(std::floor(x + 0.5));
    int e = static_cast<int>(std::floor(std::log10(x)));
    if (x / std::pow(10.0, e) >= 10.0) ++e;
    if (x / std::pow(10.0, e) < 1.0) --e;
    long long limit = static_cast<long long>(std::floor(x / std::pow(10.0, e - 2) + 0.5));
    for (int i = 0; i < e - 2; ++i) limit *= 10;
    return limit;
}

// The limits at the instrument's sizes, ISO 1.0 to 9.0, computed once.
struct LimitTable {
    LimitTable() {
        for (std::size_t s = 0; s < std::size(kSizes); ++s)
            for (int c = kLowestClass; c <= kHighestClass; ++c)
                limit[s][static_cast<std::size_t>(c - kLowestClass)] = RoundedLimit(c, kSizes[s]);
    }
    std::array<std::array<long long, kHighestClass - kLowestClass + 1>, std::size(kSizes)> limit{};
};

// The integer classes (1..9) at which each edition's table gives a number.
struct ApplicableRange {
    int size;
    int from2015;
    int from1999;
    int to;
};
constexpr ApplicableRange kApplicable[] = {
    {3, 2, 2, 6},                  // 0.3 µm: none at ISO 1 and ISO 7 to 9
    {5, 3, 2, 9},                  // 0.5 µm: the 1999 table gives 4 at ISO 2
    {10, 4, 3, 9},                 // 1.0 µm: the 1999 table gives 8 at ISO 3
    {20, 6, 6, 9},                 // 2.0 and 2.5 µm are in neither table: as 5.0 µm in 2015
    {25, 6, 6, 9}, {50, 6, 5, 9},  // 5.0 µm: the 1999 table gives 29 at ISO 5
};

bool ApplicableAtInteger(Standard standard, int isoClass, int sizeTenths) {
    for (const ApplicableRange& r : kApplicable)
        if (r.size == sizeTenths)
            return isoClass >= (standard == Standard::Iso1999 ? r.from1999 : r.from2015) && isoClass <= r.to;
    return false;
}

}  // namespace

bool IsInstrumentSize(int sizeTenths) {
    return SizeIndex(sizeTenths) >= 0;
}

double ClassFormula(int classTenths, int sizeTenths) {
    if (sizeTenths <= 0) return 0.0;
    // (0.1 / D)^2.08 with D = sizeTenths / 10 is sizeTenths^-2.08.
    return std::pow(10.0, classTenths / 10.0) * std::pow(static_cast<double>(sizeTenths), -2.08);
}

std::span<const long long> ClassLimits(int sizeTenths) {
    static const LimitTable table;
    const int s = SizeIndex(sizeTenths);
    if (s < 0) return {};
    return table.limit[static_cast<std::size_t>(s)];
}

long long ClassLimit(int classTenths, int sizeTenths) {
    const std::span<const long long> limits = ClassLimits(sizeTenths);
    if (!limits.empty() && classTenths >= kLowestClass && classTenths <= kHighestClass)
        return limits[static_cast<std::size_t>(classTenths - kLowestClass)];
    return RoundedLimit(classTenths, sizeTenths);
}

bool IsApplicable(Standard standard, int classTenths, int sizeTenths) {
    if (classTenths < kLowestClass || classTenths > kHighestClass) return false;
    const int below = classTenths / 10;
    if (classTenths % 10 == 0) return ApplicableAtInteger(standard, below, sizeTenths);
    return ApplicableAtInteger(standard, below, sizeTenths) && ApplicableAtInteger(standard, below + 1, sizeTenths);
}

double StudentT(int locations) {
    static constexpr double kT[] = {6.3, 2.9, 2.4, 2.1, 2.0, 1.9, 1.9, 1.9};  // m = 2..9
    return locations >= 2 && locations <= 9 ? kT[locations - 2] : 0.0;
}

int MinimumLocations(Standard standard, double areaM2) {
    if (!(areaM2 > 0.0)) return 0;
    // A computed bound that is a whole number within rounding noise is that
    // number, not the next one. A room too large for an int of locations
    // (the command line takes areas of up to 12 digits) needs the most an
    // int holds.
    constexpr double kNoise = 1e-9;
    const auto bound = [](double locations) {
        constexpr int kMost = std::numeric_limits<int>::max();
        return locations >= kMost ? kMost : static_cast<int>(locations);
    };
    if (standard == Standard::Iso1999) return bound(std::ceil(std::sqrt(areaM2) - kNoise));
    struct Row {
        double area;  // up to and including
        int locations;
    };
    static constexpr Row kTableA1[] = {{2, 1},    {4, 2},    {6, 3},    {8, 4},    {10, 5},   {24, 6},   {28, 7},
                                       {32, 8},   {36, 9},   {52, 10},  {56, 11},  {64, 12},  {68, 13},  {72, 14},
                                       {76, 15},  {104, 16}, {108, 17}, {116, 18}, {148, 19}, {156, 20}, {192, 21},
                                       {232, 22}, {276, 23}, {352, 24}, {436, 25}, {636, 26}, {1000, 27}};
    for (const Row& row : kTableA1)
        if (areaM2 <= row.area) return row.locations;
    return bound(std::ceil(27.0 * areaM2 / 1000.0 - kNoise));
}

int GmpIsoEquivalent(char grade, Occupancy state) {
    const bool operational = state == Occupancy::Operational;
    switch (grade) {
        case 'A':
            return 50;
        case 'B':
            return operational ? 70 : 50;
        case 'C':
            return operational ? 80 : 70;
        case 'D':
            return operational ? 0 : 80;
        default:
            return 0;
    }
}

GmpLimit GmpGradeLimit(char grade, Occupancy state, int sizeTenths) {
    if (sizeTenths != 5 && sizeTenths != 50) return {};
    const bool small = sizeTenths == 5;
    const bool operational = state == Occupancy::Operational;
    auto limit = [](long long value) { return GmpLimit{GmpCell::Limit, value}; };
    switch (grade) {
        case 'A':
            return small ? limit(3520) : GmpLimit{GmpCell::NotSpecified, 0};
        case 'B':
            if (!operational) return small ? limit(3520) : GmpLimit{GmpCell::NotSpecified, 0};
            return limit(small ? 352000 : 2930);
        case 'C':
            if (!operational) return limit(small ? 352000 : 2930);
            return limit(small ? 3520000 : 29300);
        case 'D':
            if (!operational) return limit(small ? 3520000 : 29300);
            return GmpLimit{GmpCell::NotPredetermined, 0};
        default:
            return {};
    }
}

}  // namespace oront::classify
