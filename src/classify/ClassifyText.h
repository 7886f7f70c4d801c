// The words and numbers of a classification, and its three text forms: a
// readable summary, JSON and CSV. Every number is formatted without the
// locale, so the bytes are the same under any LANG.
#pragma once

#include <string>

#include "classify/Classify.h"
#include "classify/Rooms.h"

namespace oront::classify {

// A number with `decimals` decimals ("%.*f"), or with -1 the shortest text
// that reads back as the same double.
std::string FormatDecimal(double value, int decimals);

// "ISO 14644-1:2015", "ISO 14644-1:1999", "EU GMP Annex 1 (2022)".
const char* StandardName(Standard standard);
// "as-built", "at-rest", "operational".
const char* StateName(Occupancy state);
// "pass", "fail", "not-applicable", "not-judged", "not-classified",
// "not-valid".
const char* VerdictName(Verdict verdict);
// "0.5 µm"; SizeNumber: "0.5".
std::string SizeText(int sizeTenths);
std::string SizeNumber(int sizeTenths);
// "ISO 6.3", "ISO 5"; ClassNumber: "6.3", "5.0".
std::string ClassText(int classTenths);
std::string ClassNumber(int classTenths);
// "ISO 6.3, limited by 0.5 µm", "ISO 4.4, limited by the sample volume",
// "worse than ISO 9 (0.5 µm)", or "none".
std::string AchievedText(const RunResult& run);
// "0.5 µm", "the sample volume", or empty.
std::string LimitedByText(const RunResult& run);
// A broken requirement: its rule ("sample volume"), the clause of the
// standard that states it ("ISO 14644-1:2015 A.4.4"), and the whole line
// "sample volume (ISO 14644-1:2015 A.4.4): ...".
const char* RequirementRule(WarningKind kind);
const char* RequirementClause(WarningKind kind, Standard standard);
std::string RequirementText(const Warning& warning, const Settings& settings);
// "ISO 5, at rest", "grade B, in operation", or "none".
std::string TargetText(const Settings& settings);
// "5.0 µm does not apply at ISO 5", ...
std::string WarningText(const Warning& warning, const Settings& settings);

std::string ClassificationText(const Classification& result);
std::string ClassificationJson(const Classification& result);
// One line per run, location and size, after a header line.
std::string ClassificationCsv(const Classification& result);

// A classification room by room. The text of a single section that is no
// room is that section's alone; otherwise each section follows its title,
// and the overall result closes it. The JSON holds every section with its
// room, its sampling places and its classification; the CSV starts every
// line with the room.
std::string RoomsText(const RoomClassification& rooms);
std::string RoomsJson(const RoomClassification& rooms);
std::string RoomsCsv(const RoomClassification& rooms);
// "Room R1 (Filling room 2), in operation", "Location 003 (no room)".
std::string SectionTitle(const RoomSection& section);
// "as built", "at rest", "in operation".
const char* StateWords(Occupancy state);

}  // namespace oront::classify
