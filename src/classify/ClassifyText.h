// The words and numbers of a classification, and its three text forms: a
// readable summary, JSON and CSV. Every number is formatted without the
// locale, so the bytes are the same under any LANG.
#pragma once

#include <string>

#include "classify/Classify.h"

namespace oront::classify {

// A number with `decimals` decimals ("%.*f"), or with -1 the shortest text
// that reads back as the same double.
std::string FormatDecimal(double value, int decimals);

// "ISO 14644-1:2015", "ISO 14644-1:1999", "EU GMP Annex 1 (2022)".
const char* StandardName(Standard standard);
// "as-built", "at-rest", "operational".
const char* StateName(Occupancy state);
// "pass", "fail", "not-applicable", "not-judged", "not-classified".
const char* VerdictName(Verdict verdict);
// "0.5 µm"; SizeNumber: "0.5".
std::string SizeText(int sizeTenths);
std::string SizeNumber(int sizeTenths);
// "ISO 6.3", "ISO 5"; ClassNumber: "6.3", "5.0".
std::string ClassText(int classTenths);
std::string ClassNumber(int classTenths);
// "ISO 6.3, limited by 0.5 µm", "worse than ISO 9 (0.3 µm)", or "none".
std::string AchievedText(const RunResult& run);
// "ISO 5, at rest", "grade B, in operation", or "none".
std::string TargetText(const Settings& settings);
// "5.0 µm is not applicable at ISO 5", ...
std::string WarningText(const Warning& warning, const Settings& settings);

std::string ClassificationText(const Classification& result);
std::string ClassificationJson(const Classification& result);
// One line per run, location and size, after a header line.
std::string ClassificationCsv(const Classification& result);

}  // namespace oront::classify
