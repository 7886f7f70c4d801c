// The command line of oront-v208-cli (and of the report program, which runs
// the same commands), parsed strictly: every argument is either understood
// or an error that names it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "classify/Classify.h"

namespace oront::cli {

enum class Instrument { Usb, Demo, DemoFull, Image, Archive };
enum class Command {
    Help,
    Version,
    Count,
    Erase,
    SaveAll,
    SaveRange,
    Dump,
    Report,
    Classify,
    History,
    Records,
    Trend,
    VerifyArchive,
    Site,
    Excursions,
    VerifyCertificate,
    Users,
    Password,
    Sign,
    Signatures,
    Audit,
    ArchiveSetup,
    ArchiveCopy
};
enum class SiteAction { Show, Export, Import };
enum class TextFormat { Text, Csv, Json };
enum class ClassifyFormat { Text, Json, Csv, Pdf };

struct Options {
    Instrument instrument = Instrument::Usb;
    std::string helpTopic;  // Command::Help: the command whose usage is asked for; empty for all
    std::string image;      // Instrument::Image
    Command command = Command::Help;
    std::string output;  // the file written; empty: a name from the local time (save-all, save-range)
    std::string first;   // save-range: the record numbers as typed
    std::string last;
    int firstPage = 0;  // report: 0 and 0 for every page
    int lastPage = 0;
    std::string printer;  // report: a printer queue instead of the PDF file
    classify::Settings classify;
    ClassifyFormat format = ClassifyFormat::Text;  // classify: empty output is stdout
    // The download archive: the file (empty: the default), whether downloads
    // are archived, the download played by Instrument::Archive.
    std::string archive;
    bool noArchive = false;
    std::int64_t archiveId = 0;
    bool json = false;  // history and records: JSON instead of text or CSV
    // records and trend: the filters as typed (empty: not given)
    std::string serial, location, from, to;
    int trendSize = 0;  // trend: the size in tenths of a µm; 0: the location's smallest
    // site: what to do with the register (Export writes, Import reads o.output)
    SiteAction site = SiteAction::Show;
    // excursions: the filters as typed, and the level (true: action only)
    std::string room;
    bool actionOnly = false;
    TextFormat textFormat = TextFormat::Text;  // site show, excursions
    // classify: which settings the user gave (the others come from the
    // room's register entry), both EU GMP states with the runs of each, and
    // what the certificate names.
    struct ClassifyGiven {
        bool standard = false, target = false, state = false, area = false;
    } classifyGiven;
    bool bothStates = false;
    std::vector<int> atRestRuns, operationalRuns;
    std::string client, reportNumber, operatorName;
    // users, password, sign, signatures, audit: their arguments, read by
    // the command itself; --reason: why, for the audit trail.
    std::vector<std::string> words;
    std::string reason;
};

struct ParsedOptions {
    Options options;
    std::string error;  // a one-line reason when the command line is not understood
};

// The arguments after the program name.
ParsedOptions ParseArguments(const std::vector<std::string>& args);

// The usage text (for --help and after a usage error): of every command, or
// of the command named ("save-all").
std::string UsageText(const std::string& command = {});

// Whether the command works on the archive alone (no instrument).
bool WorksOnTheArchiveAlone(Command command);

}  // namespace oront::cli
