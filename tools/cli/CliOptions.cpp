#include "CliOptions.h"

#include <algorithm>
#include <cstddef>
#include <string_view>

#include "records/CFormat.h"

namespace oront::cli {
namespace {

constexpr const char* kInstrumentOptions = "[--simulate IMAGE | --demo | --demo-full | --from-archive ID]";

constexpr const char* kHead =
    "usage: oront-v208-cli [--simulate IMAGE | --demo | --demo-full | --from-archive ID]\n"
    "                      [--archive PATH | --no-archive] [--reason TEXT] COMMAND [ARGS]\n"
    "       oront-v208-cli [--archive PATH] [--reason TEXT] history|records|trend|verify-archive|site|\n"
    "                      excursions|verify-certificate|users|password|sign|signatures|audit [ARGS]\n"
    "       oront-v208-cli COMMAND --help | --help | --version\n"
    "\n"
    "Instrument:  without --simulate/--demo the instrument attached over USB\n"
    "             (USB id 04D8:000C; set ORONT_USB_ID=VVVV:PPPP for another).\n"
    "  --simulate IMAGE   play an instrument memory image file\n"
    "  --demo             the built-in demo instrument (a few hundred records)\n"
    "  --demo-full        the built-in demo instrument with a full, wrapped memory\n"
    "  --from-archive ID  play download ID of the archive (see history)\n"
    "\n"
    "Archive:     every download is kept in the archive, by default\n"
    "             $XDG_DATA_HOME/oront-v208/archive.sqlite (~/.local/share/...).\n"
    "  --archive PATH     the archive file (or set ORONT_ARCHIVE=PATH)\n"
    "  --no-archive       do not archive the download (its events still go into the\n"
    "                     archive's audit trail)\n"
    "  --reason TEXT      why, kept in the audit trail (a register import, a role\n"
    "                     change, a certificate issued again)\n"
    "\n"
    "Commands:\n";

constexpr const char* kTail =
    "  help [COMMAND]             print this text, or the usage of one command\n"
    "\n"
    "Without OUT.csv the file is named from the local time (YYYYMMDDhhmmss.csv).\n"
    "No output may be the archive or one of its files.\n";

// Each command's entry of the usage: its name, whether it reads only the
// archive, and its lines (the synopsis, then what it does).
struct CommandUsage {
    const char* name;
    bool archiveOnly;
    const char* text;
};
constexpr CommandUsage kCommands[] = {
    {"count", false, "  count                      print the record count and the wrap position\n"},
    {"erase", false, "  erase --yes                erase all records on the instrument\n"},
    {"save-all", false, "  save-all [OUT.csv]         read all records and save them as CSV\n"},
    {"save-range", false,
     "  save-range FIRST LAST [OUT.csv]\n"
     "                             read all records and save records FIRST..LAST\n"
     "                             (record numbers as the Record column shows them;\n"
     "                             a complete run's summary follows its last record)\n"},
    {"dump", false, "  dump OUT.v208img           read the instrument into a memory image file\n"},
    {"report", false,
     "  report OUT.pdf [--pages FIRST-LAST] [--printer NAME]\n"
     "                             print the report into a PDF file or to a printer\n"},
    {"classify", false,
     "  classify [--standard iso-2015|iso-1999|gmp-2022] [--room ID]\n"
     "           [--class N | --grade A|B|C|D] [--state as-built|at-rest|operational|both]\n"
     "           [--at-rest-runs LIST --operational-runs LIST]\n"
     "           [--sizes 0.5,5.0] [--counts cumulative|differential] [--area M2]\n"
     "           [--client NAME] [--report-number N] [--operator NAME]\n"
     "           [--format text|json|csv|pdf] [OUT]\n"
     "                             judge the complete ISO runs against an ISO 14644-1\n"
     "                             class or an EU GMP Annex 1 grade in the occupancy\n"
     "                             state declared (without --class or --grade: the\n"
     "                             achieved class of every run), room by room as the\n"
     "                             site register maps the locations (--room: one room,\n"
     "                             with its class or grade, state and area); --state\n"
     "                             both: EU GMP at rest and in operation, the runs of\n"
     "                             each state listed (1,3-5) or given per download by\n"
     "                             the register; exit 3 when a run fails, breaks a\n"
     "                             requirement of the standard or cannot be\n"
     "                             classified; without OUT the result goes to stdout;\n"
     "                             the PDF certificate is numbered and kept in the\n"
     "                             archive\n"},
    {"verify-certificate", true,
     "  verify-certificate FILE.pdf\n"
     "                             check a certificate against the archive that issued\n"
     "                             it; exit 3 when it is not one of its certificates as\n"
     "                             issued (changed, or never issued)\n"},
    {"history", true,
     "  history [--format text|json]\n"
     "                             list the archived downloads\n"},
    {"records", true,
     "  records [--serial S] [--location L] [--from DATE] [--to DATE]\n"
     "          [--format csv|json]\n"
     "                             list the archived records in time order with their\n"
     "                             concentrations per m3 (DATE: YYYY-MM-DD or\n"
     "                             \"YYYY-MM-DD hh:mm:ss\")\n"},
    {"trend", true,
     "  trend --location L [--size D] [--serial S] [--from DATE] [--to DATE]\n"
     "        [--class N | --grade A|B|C|D [--state at-rest|operational]]\n"
     "        OUT.svg|OUT.png|OUT.pdf\n"
     "                             draw the archived concentrations of location L at\n"
     "                             size D (um) over time, with the limit of a class or\n"
     "                             grade\n"},
    {"verify-archive", true,
     "  verify-archive             check the whole archive: SQLite's integrity check,\n"
     "                             and every download and record against what was\n"
     "                             stored; lists what is damaged and exits 3 then\n"},
    {"site", true,
     "  site show [--format text|json] | site export FILE.json | site import FILE.json\n"
     "                             the site register kept in the archive: its rooms,\n"
     "                             locations, alert and action limits and instruments;\n"
     "                             an import replaces it whole, or not at all, and\n"
     "                             needs --reason (administrators only; exit 4)\n"},
    {"users", true,
     "  users [add NAME --role ROLE [--full-name TEXT] | set-role NAME ROLE |\n"
     "        unlock NAME]\n"
     "                             list the archive's users, or (administrators) add\n"
     "                             one, change a role (operator, reviewer,\n"
     "                             administrator), let a locked user sign again;\n"
     "                             exit 4 when the role refuses\n"},
    {"password", true,
     "  password                   set your signing password (read from the terminal,\n"
     "                             or as lines on standard input: the current one if\n"
     "                             set, then the new one)\n"},
    {"sign", true,
     "  sign certificate NUMBER | download ID --meaning performed|reviewed|approved\n"
     "                             sign with your signing password (read as by\n"
     "                             password); three wrong passwords lock signing;\n"
     "                             exit 4 when refused\n"},
    {"signatures", true,
     "  signatures certificate NUMBER | download ID\n"
     "                             list the signatures, each valid or not; exit 3 when\n"
     "                             one is not valid\n"},
    {"audit", true,
     "  audit [--from DATE] [--to DATE] [--user NAME] [--event EVENT]\n"
     "        [--format text|csv|json] | audit verify | audit export FILE.pdf [filters]\n"
     "                             list the audit trail (times: UTC), or recompute its\n"
     "                             chain and check every download, record, certificate\n"
     "                             and signature against its entry (exit 3 when\n"
     "                             anything was changed), or write it as a PDF report\n"},
    {"archive-setup", true,
     "  archive-setup --print-sql  print the SQL that sets up the archive on a site's\n"
     "                             PostgreSQL server: its schema and the roles\n"
     "                             oront_operator, oront_reviewer, oront_administrator\n"},
    {"archive-copy", true,
     "  archive-copy FROM TO       copy a whole archive (downloads, records, register,\n"
     "                             certificates, users, signatures, audit trail) from one\n"
     "                             store to another empty one, each an archive file or a\n"
     "                             postgresql:// URI, and verify the copy\n"},
    {"excursions", true,
     "  excursions [--room ID] [--from DATE] [--to DATE] [--level alert|action]\n"
     "             [--format text|csv|json]\n"
     "                             the archived records above an alert or action limit\n"
     "                             of their room, and the adverse trends (runs of\n"
     "                             records above the alert limit); exit 3 when any\n"},
};

const CommandUsage* FindCommand(const std::string& name) {
    for (const CommandUsage& c : kCommands)
        if (name == c.name) return &c;
    return nullptr;
}

// A page number: 1 to 999999, digits only.
bool ParsePage(std::string_view text, int& page) {
    if (text.empty() || text.size() > 6) return false;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    if (value < 1) return false;
    page = value;
    return true;
}

bool IsOption(const std::string& arg) {
    return arg.size() > 1 && arg[0] == '-';
}

// A digit, optionally followed by a point and one digit ("5", "6.3"): tenths.
bool ParseTenths(std::string_view text, int& tenths) {
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    if (text.size() == 1 && digit(text[0])) {
        tenths = 10 * (text[0] - '0');
        return true;
    }
    if (text.size() == 3 && digit(text[0]) && text[1] == '.' && digit(text[2])) {
        tenths = 10 * (text[0] - '0') + (text[2] - '0');
        return true;
    }
    return false;
}

// Digits with an optional decimal point and decimals, above 0.
bool ParseArea(const std::string& text, double& area) {
    const std::size_t point = text.find('.');
    const std::string digits = point == std::string::npos ? text : text.substr(0, point) + text.substr(point + 1);
    if (digits.empty() || digits.size() > 12 || point == 0 || point + 1 == text.size()) return false;
    if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) return false;
    area = CAtof(text);
    return area > 0.0;
}

// Run numbers and ranges: "1,3-5"; each from 1 to 99999.
bool ParseRunList(const std::string& text, std::vector<int>& runs) {
    std::size_t from = 0;
    const auto number = [](std::string_view t, int& n) {
        if (t.empty() || t.size() > 5 || !std::all_of(t.begin(), t.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return false;
        n = 0;
        for (char c : t) n = 10 * n + (c - '0');
        return n >= 1;
    };
    while (true) {
        const std::size_t comma = text.find(',', from);
        const std::string_view item =
            std::string_view(text).substr(from, comma == std::string::npos ? std::string::npos : comma - from);
        const std::size_t dash = item.find('-');
        int first = 0, last = 0;
        if (!number(item.substr(0, dash), first)) return false;
        last = first;
        if (dash != std::string_view::npos && (!number(item.substr(dash + 1), last) || last < first)) return false;
        for (int r = first; r <= last; ++r)
            if (std::find(runs.begin(), runs.end(), r) == runs.end()) runs.push_back(r);
        if (comma == std::string::npos) return true;
        from = comma + 1;
    }
}

// The options of the classify command; empty, or why they are refused.
std::string ParseClassify(const std::vector<std::string>& rest, Options& o) {
    using namespace classify;
    Settings& s = o.classify;
    std::vector<std::string> given;
    bool outputGiven = false;
    for (std::size_t k = 0; k < rest.size(); ++k) {
        const std::string& option = rest[k];
        if (!IsOption(option)) {
            if (outputGiven) return "classify takes at most one output file";
            outputGiven = true;
            o.output = option;
            continue;
        }
        static const char* const kOptions[] = {"--standard",     "--class",           "--grade",         "--state",
                                               "--sizes",        "--counts",          "--area",          "--format",
                                               "--room",         "--client",          "--report-number", "--operator",
                                               "--at-rest-runs", "--operational-runs"};
        if (std::find(std::begin(kOptions), std::end(kOptions), option) == std::end(kOptions))
            return "unknown classify option " + option;
        if (std::find(given.begin(), given.end(), option) != given.end()) return option + " is given twice";
        given.push_back(option);
        if (k + 1 >= rest.size()) return option + " needs a value";
        const std::string& value = rest[++k];
        if (option == "--standard") {
            if (value == "iso-2015")
                s.standard = Standard::Iso2015;
            else if (value == "iso-1999")
                s.standard = Standard::Iso1999;
            else if (value == "gmp-2022")
                s.standard = Standard::Gmp2022;
            else
                return "--standard takes iso-2015, iso-1999 or gmp-2022 (not " + value + ")";
        } else if (option == "--class") {
            if (!ParseTenths(value, s.target.classTenths) || s.target.classTenths < kLowestClass ||
                s.target.classTenths > kHighestClass)
                return "--class takes a class from 1 to 9 in steps of 0.1 (not " + value + ")";
        } else if (option == "--grade") {
            if (value.size() != 1 || value[0] < 'A' || value[0] > 'D')
                return "--grade takes A, B, C or D (not " + value + ")";
            s.target.grade = value[0];
        } else if (option == "--state") {
            s.target.stateDeclared = true;
            o.classifyGiven.state = true;
            if (value == "both")
                o.bothStates = true;
            else if (value == "as-built")
                s.target.state = Occupancy::AsBuilt;
            else if (value == "at-rest")
                s.target.state = Occupancy::AtRest;
            else if (value == "operational")
                s.target.state = Occupancy::Operational;
            else
                return "--state takes as-built, at-rest, operational or both (not " + value + ")";
        } else if (option == "--sizes") {
            std::size_t from = 0;
            while (true) {
                const std::size_t comma = value.find(',', from);
                const std::string size = value.substr(from, comma == std::string::npos ? comma : comma - from);
                int tenths = 0;
                if (!ParseTenths(size, tenths) || !IsInstrumentSize(tenths))
                    return "--sizes takes sizes in um from 0.3, 0.5, 1.0, 2.0, 2.5 and 5.0, separated by commas (not " +
                           value + ")";
                if (std::find(s.sizes.begin(), s.sizes.end(), tenths) != s.sizes.end())
                    return "--sizes names " + size + " twice";
                s.sizes.push_back(tenths);
                if (comma == std::string::npos) break;
                from = comma + 1;
            }
        } else if (option == "--counts") {
            if (value != "cumulative" && value != "differential")
                return "--counts takes cumulative or differential (not " + value + ")";
            s.counts = value == "cumulative" ? CountMode::Cumulative : CountMode::Differential;
        } else if (option == "--area") {
            if (!ParseArea(value, s.areaM2))
                return "--area takes the room's area in m2, a number above 0 (not " + value + ")";
        } else if (option == "--room" || option == "--client" || option == "--report-number" ||
                   option == "--operator") {
            if (value.empty() || value.size() > 200) return option + " takes a text of 1 to 200 characters";
            (option == "--room"            ? o.room
             : option == "--client"        ? o.client
             : option == "--report-number" ? o.reportNumber
                                           : o.operatorName) = value;
        } else if (option == "--at-rest-runs" || option == "--operational-runs") {
            std::vector<int>& runs = option == "--at-rest-runs" ? o.atRestRuns : o.operationalRuns;
            if (!ParseRunList(value, runs))
                return option + " takes run numbers and ranges separated by commas, such as 1,3-5 (not " + value + ")";
        } else if (value == "text") {  // --format
            o.format = ClassifyFormat::Text;
        } else if (value == "json") {
            o.format = ClassifyFormat::Json;
        } else if (value == "csv") {
            o.format = ClassifyFormat::Csv;
        } else if (value == "pdf") {
            o.format = ClassifyFormat::Pdf;
        } else {
            return "--format takes text, json, csv or pdf (not " + value + ")";
        }
    }
    const auto has = [&given](const char* option) {
        return std::find(given.begin(), given.end(), option) != given.end();
    };
    o.classifyGiven.standard = has("--standard");
    o.classifyGiven.target = has("--class") || has("--grade");
    o.classifyGiven.area = has("--area");
    const bool gmp = s.standard == Standard::Gmp2022;
    if (s.target.grade != 0 && !gmp) return "--grade needs --standard gmp-2022";
    if (s.target.classTenths != 0 && gmp) return "--standard gmp-2022 takes --grade, not --class";
    if (!s.target.Given() && has("--state") && o.room.empty()) return "--state needs --class or --grade";
    // The occupancy state is declared, never assumed: by --state, or by the
    // register for the room classified.
    if (s.target.Given() && !has("--state") && o.room.empty())
        return "--class and --grade need --state (the occupancy state is never assumed), or --room";
    if (o.bothStates && !gmp && o.classifyGiven.standard)
        return "--state both is for --standard gmp-2022: ISO 14644-1 classifies one state at a time";
    if ((has("--at-rest-runs") || has("--operational-runs")) && !o.bothStates)
        return "--at-rest-runs and --operational-runs need --state both";
    if (has("--at-rest-runs") != has("--operational-runs"))
        return "--state both takes --at-rest-runs and --operational-runs together";
    for (int run : o.atRestRuns)
        if (std::find(o.operationalRuns.begin(), o.operationalRuns.end(), run) != o.operationalRuns.end())
            return "run " + std::to_string(run) + " is given at rest and in operation";
    if (o.bothStates) s.target.state = Occupancy::AtRest;  // each state in turn
    // An empty file name is no file either (the text forms take it as stdout).
    if (o.format == ClassifyFormat::Pdf && o.output.empty()) return "--format pdf needs an output file";
    // A room's register entry declares its state: the settings are checked
    // in full once the room is known.
    Settings check = s;
    if (!o.room.empty() && !has("--state")) {
        check.target.stateDeclared = true;
        check.target.state = Occupancy::Operational;
    }
    return SettingsError(check);
}

// The options of the records command; empty, or why they are refused.
std::string ParseRecords(const std::vector<std::string>& rest, Options& o) {
    std::vector<std::string> given;
    for (std::size_t k = 0; k < rest.size(); k += 2) {
        const std::string& option = rest[k];
        static const char* const kOptions[] = {"--serial", "--location", "--from", "--to", "--format"};
        if (std::find(std::begin(kOptions), std::end(kOptions), option) == std::end(kOptions))
            return "unknown records option " + option;
        if (std::find(given.begin(), given.end(), option) != given.end()) return option + " is given twice";
        given.push_back(option);
        if (k + 1 >= rest.size() || rest[k + 1].empty()) return option + " needs a value";
        const std::string& value = rest[k + 1];
        const bool digits =
            value.size() <= 10 && std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; });
        if (option == "--serial") {
            // Any number the record frame's 32 bits can carry.
            if (!digits || std::stoull(value) > 4294967295ull)
                return "--serial takes the instrument's serial number, 0 to 4294967295 (not " + value + ")";
            o.serial = value;
        } else if (option == "--location") {
            if (!digits || std::stoull(value) > 255)
                return "--location takes a location number 0 to 255 (not " + value + ")";
            o.location = value;
        } else if (option == "--from") {
            o.from = value;
        } else if (option == "--to") {
            o.to = value;
        } else if (value == "csv" || value == "json") {
            o.json = value == "json";
        } else {
            return "--format takes csv or json (not " + value + ")";
        }
    }
    return {};
}

// The options of the trend command; empty, or why they are refused.
std::string ParseTrend(const std::vector<std::string>& rest, Options& o) {
    using namespace classify;
    std::vector<std::string> given;
    std::vector<std::string> filters;
    bool outputGiven = false;
    for (std::size_t k = 0; k < rest.size(); ++k) {
        const std::string& option = rest[k];
        if (!IsOption(option)) {
            if (outputGiven) return "trend takes one output file";
            outputGiven = true;
            o.output = option;
            continue;
        }
        static const char* const kOptions[] = {"--size", "--class", "--grade", "--state"};
        const bool filter = option == "--serial" || option == "--location" || option == "--from" || option == "--to";
        if (!filter && std::find(std::begin(kOptions), std::end(kOptions), option) == std::end(kOptions))
            return "unknown trend option " + option;
        if (std::find(given.begin(), given.end(), option) != given.end()) return option + " is given twice";
        given.push_back(option);
        if (k + 1 >= rest.size() || rest[k + 1].empty()) return option + " needs a value";
        const std::string& value = rest[++k];
        if (filter) {
            filters.push_back(option);
            filters.push_back(value);
        } else if (option == "--size") {
            if (!ParseTenths(value, o.trendSize) || !IsInstrumentSize(o.trendSize))
                return "--size takes a size in um: 0.3, 0.5, 1.0, 2.0, 2.5 or 5.0 (not " + value + ")";
        } else if (option == "--class") {
            if (!ParseTenths(value, o.classify.target.classTenths) || o.classify.target.classTenths < kLowestClass ||
                o.classify.target.classTenths > kHighestClass)
                return "--class takes a class from 1 to 9 in steps of 0.1 (not " + value + ")";
        } else if (option == "--grade") {
            if (value.size() != 1 || value[0] < 'A' || value[0] > 'D')
                return "--grade takes A, B, C or D (not " + value + ")";
            o.classify.target.grade = value[0];
        } else if (value == "at-rest" || value == "operational") {  // --state
            o.classify.target.state = value == "at-rest" ? Occupancy::AtRest : Occupancy::Operational;
        } else {
            return "--state takes at-rest or operational (not " + value + ")";
        }
    }
    if (std::string e = ParseRecords(filters, o); !e.empty()) return e;
    if (o.location.empty()) return "trend needs --location";
    if (o.classify.target.classTenths != 0 && o.classify.target.grade != 0)
        return "trend takes --class or --grade, not both";
    if (o.classify.target.grade == 0 && std::find(given.begin(), given.end(), "--state") != given.end())
        return "--state needs --grade";
    if (!outputGiven) return "trend needs an output file (OUT.svg, OUT.png or OUT.pdf)";
    const std::size_t dot = o.output.rfind('.');
    std::string suffix = dot == std::string::npos ? "" : o.output.substr(dot + 1);
    std::transform(suffix.begin(), suffix.end(), suffix.begin(), [](unsigned char c) { return std::tolower(c); });
    if (suffix != "svg" && suffix != "png" && suffix != "pdf")
        return "trend writes a file ending in .svg, .png or .pdf (not " + o.output + ")";
    return {};
}

}  // namespace

std::string UsageText(const std::string& command) {
    const CommandUsage* one = FindCommand(command);
    if (one == nullptr) {
        std::string text = kHead;
        for (const CommandUsage& c : kCommands) text += c.text;
        return text + kTail;
    }
    std::string text = "usage: oront-v208-cli ";
    text += one->archiveOnly
                ? "[--archive PATH] "
                : std::string(kInstrumentOptions) + "\n" + "                      [--archive PATH | --no-archive] ";
    text += one->name;
    text += " ...\n\n";
    text += one->text;
    if (!one->archiveOnly) text += "\n(oront-v208-cli --help describes the instrument and archive options)\n";
    return text;
}

bool WorksOnTheArchiveAlone(Command command) {
    return command == Command::History || command == Command::Records || command == Command::Trend ||
           command == Command::VerifyArchive || command == Command::Site || command == Command::Excursions ||
           command == Command::VerifyCertificate || command == Command::Users || command == Command::Password ||
           command == Command::Sign || command == Command::Signatures || command == Command::Audit ||
           command == Command::ArchiveSetup || command == Command::ArchiveCopy;
}

ParsedOptions ParseArguments(const std::vector<std::string>& args) {
    ParsedOptions result;
    Options& o = result.options;
    auto fail = [&result](std::string why) {
        result.error = std::move(why);
        return result;
    };
    // --help and --version win wherever they stand; after a command, --help
    // asks for that command's usage.
    for (const std::string& arg : args) {
        if (arg == "--help" || arg == "-h") {
            o.command = Command::Help;
            std::size_t k = 0;
            while (k < args.size() && (args[k] == "--demo" || args[k] == "--demo-full" || args[k] == "--no-archive" ||
                                       args[k] == "--simulate" || args[k] == "--from-archive" ||
                                       args[k] == "--archive" || args[k] == "--reason"))
                k += args[k] == "--simulate" || args[k] == "--from-archive" || args[k] == "--archive" ||
                             args[k] == "--reason"
                         ? 2
                         : 1;
            if (k < args.size() && FindCommand(args[k]) != nullptr) o.helpTopic = args[k];
            return result;
        }
        if (arg == "--version") {
            o.command = Command::Version;
            return result;
        }
    }

    std::size_t i = 0;
    bool instrumentGiven = false;
    std::string instrumentOption;
    bool archiveGiven = false;
    bool reasonGiven = false;
    while (i < args.size() &&
           (args[i] == "--simulate" || args[i] == "--demo" || args[i] == "--demo-full" || args[i] == "--from-archive" ||
            args[i] == "--archive" || args[i] == "--no-archive" || args[i] == "--reason")) {
        if (args[i] == "--reason") {
            if (reasonGiven) return fail("--reason is given twice");
            if (i + 1 >= args.size() || args[i + 1].empty()) return fail("--reason needs a text");
            reasonGiven = true;
            o.reason = args[i + 1];
            i += 2;
            continue;
        }
        if (args[i] == "--archive" || args[i] == "--no-archive") {
            if (archiveGiven) return fail("the archive is given twice (" + args[i] + ")");
            archiveGiven = true;
            if (args[i] == "--no-archive") {
                o.noArchive = true;
                ++i;
                continue;
            }
            if (i + 1 >= args.size() || args[i + 1].empty()) return fail("--archive needs a file");
            o.archive = args[i + 1];
            i += 2;
            continue;
        }
        if (instrumentGiven) return fail("the instrument is given twice (" + args[i] + ")");
        instrumentGiven = true;
        instrumentOption = args[i];
        if (args[i] == "--from-archive") {
            const std::string id = i + 1 < args.size() ? args[i + 1] : std::string();
            if (id.empty() || id.size() > 15 ||
                !std::all_of(id.begin(), id.end(), [](char c) { return c >= '0' && c <= '9'; }) || std::stoll(id) < 1)
                return fail("--from-archive takes a download id from 1 (see history)");
            o.instrument = Instrument::Archive;
            o.archiveId = std::stoll(id);
            i += 2;
        } else if (args[i] == "--simulate") {
            if (i + 1 >= args.size() || args[i + 1].empty()) return fail("--simulate needs an image file");
            o.instrument = Instrument::Image;
            o.image = args[i + 1];
            i += 2;
        } else {
            o.instrument = args[i] == "--demo" ? Instrument::Demo : Instrument::DemoFull;
            ++i;
        }
    }
    if (i >= args.size()) return fail("no command given");
    const std::string& word = args[i++];
    const std::vector<std::string> rest(args.begin() + static_cast<std::ptrdiff_t>(i), args.end());
    // Positional arguments must not look like options, except where a
    // command takes options of its own.
    auto positional = [&](std::size_t count) -> std::string {
        for (std::size_t k = 0; k < std::min(count, rest.size()); ++k)
            if (IsOption(rest[k])) return "unknown option " + rest[k];
        return {};
    };

    if (word == "help") {
        if (rest.size() > 1 || (rest.size() == 1 && FindCommand(rest[0]) == nullptr))
            return fail(rest.size() > 1 ? "help takes at most one command" : "help knows no command " + rest[0]);
        o.command = Command::Help;
        if (!rest.empty()) o.helpTopic = rest[0];
    } else if (word == "count") {
        if (!rest.empty()) return fail("count takes no arguments");
        o.command = Command::Count;
    } else if (word == "erase") {
        if (rest.size() != 1 || rest[0] != "--yes") return fail("erase needs --yes: it deletes every record");
        o.command = Command::Erase;
    } else if (word == "save-all") {
        if (rest.size() > 1) return fail("save-all takes at most one file name");
        if (std::string e = positional(rest.size()); !e.empty()) return fail(e);
        o.command = Command::SaveAll;
        if (!rest.empty()) o.output = rest[0];
    } else if (word == "save-range") {
        if (rest.size() < 2 || rest.size() > 3) return fail("save-range needs FIRST and LAST");
        // A record number may be typed with a minus sign (and is then
        // refused as no record's number): only the file name is checked here.
        if (rest.size() == 3 && IsOption(rest[2])) return fail("unknown option " + rest[2]);
        o.command = Command::SaveRange;
        o.first = rest[0];
        o.last = rest[1];
        if (rest.size() == 3) o.output = rest[2];
    } else if (word == "dump") {
        if (rest.size() != 1) return fail("dump needs one image file name");
        if (std::string e = positional(1); !e.empty()) return fail(e);
        o.command = Command::Dump;
        o.output = rest[0];
    } else if (word == "report") {
        if (rest.empty() || IsOption(rest[0])) return fail("report needs an output file");
        o.command = Command::Report;
        o.output = rest[0];
        bool pagesGiven = false;
        bool printerGiven = false;
        for (std::size_t k = 1; k < rest.size(); ++k) {
            const std::string& option = rest[k];
            if (option != "--pages" && option != "--printer") return fail("unknown report option " + option);
            if (k + 1 >= rest.size()) return fail(option + " needs a value");
            const std::string& value = rest[++k];
            if (option == "--pages") {
                if (pagesGiven) return fail("--pages is given twice");
                pagesGiven = true;
                const auto dash = value.find('-');
                if (dash == std::string::npos || !ParsePage(std::string_view(value).substr(0, dash), o.firstPage) ||
                    !ParsePage(std::string_view(value).substr(dash + 1), o.lastPage))
                    return fail("--pages takes FIRST-LAST, page numbers from 1 (not " + value + ")");
            } else {
                if (printerGiven) return fail("--printer is given twice");
                if (value.empty()) return fail("--printer needs a printer name");
                printerGiven = true;
                o.printer = value;
            }
        }
    } else if (word == "history") {
        o.command = Command::History;
        if (rest.size() == 2 && rest[0] == "--format" && (rest[1] == "text" || rest[1] == "json"))
            o.json = rest[1] == "json";
        else if (!rest.empty())
            return fail("history takes only --format text or --format json");
    } else if (word == "records") {
        o.command = Command::Records;
        if (std::string e = ParseRecords(rest, o); !e.empty()) return fail(e);
    } else if (word == "trend") {
        o.command = Command::Trend;
        if (std::string e = ParseTrend(rest, o); !e.empty()) return fail(e);
    } else if (word == "site") {
        o.command = Command::Site;
        if (!rest.empty() && (rest[0] == "export" || rest[0] == "import")) {
            if (rest.size() != 2 || rest[1].empty() || IsOption(rest[1]))
                return fail("site " + rest[0] + " needs one file name");
            o.site = rest[0] == "export" ? SiteAction::Export : SiteAction::Import;
            if (o.site == SiteAction::Import && o.reason.empty())
                return fail("site import needs --reason TEXT: the audit trail keeps why the register changed");
            o.output = rest[1];
        } else if (!rest.empty() && rest[0] == "show") {
            if (rest.size() == 3 && rest[1] == "--format" && (rest[2] == "text" || rest[2] == "json"))
                o.textFormat = rest[2] == "json" ? TextFormat::Json : TextFormat::Text;
            else if (rest.size() != 1)
                return fail("site show takes only --format text or --format json");
        } else {
            return fail("site takes show, export FILE.json or import FILE.json");
        }
    } else if (word == "excursions") {
        o.command = Command::Excursions;
        std::vector<std::string> filters;
        std::vector<std::string> given;
        for (std::size_t k = 0; k < rest.size(); k += 2) {
            const std::string& option = rest[k];
            if (option != "--room" && option != "--from" && option != "--to" && option != "--level" &&
                option != "--format")
                return fail("unknown excursions option " + option);
            if (std::find(given.begin(), given.end(), option) != given.end()) return fail(option + " is given twice");
            given.push_back(option);
            if (k + 1 >= rest.size() || rest[k + 1].empty()) return fail(option + " needs a value");
            const std::string& value = rest[k + 1];
            if (option == "--room") {
                o.room = value;
            } else if (option == "--level") {
                if (value != "alert" && value != "action")
                    return fail("--level takes alert or action (not " + value + ")");
                o.actionOnly = value == "action";
            } else if (option == "--format") {
                if (value != "text" && value != "csv" && value != "json")
                    return fail("--format takes text, csv or json (not " + value + ")");
                o.textFormat = value == "json" ? TextFormat::Json : value == "csv" ? TextFormat::Csv : TextFormat::Text;
            } else {
                filters.push_back(option);
                filters.push_back(value);
            }
        }
        if (std::string e = ParseRecords(filters, o); !e.empty()) return fail(e);
    } else if (word == "verify-archive") {
        if (!rest.empty()) return fail("verify-archive takes no arguments");
        o.command = Command::VerifyArchive;
    } else if (word == "verify-certificate") {
        if (rest.size() != 1 || rest[0].empty() || IsOption(rest[0]))
            return fail("verify-certificate needs one certificate file");
        o.command = Command::VerifyCertificate;
        o.output = rest[0];
    } else if (word == "users" || word == "password" || word == "sign" || word == "signatures" || word == "audit") {
        o.command = word == "users"        ? Command::Users
                    : word == "password"   ? Command::Password
                    : word == "sign"       ? Command::Sign
                    : word == "signatures" ? Command::Signatures
                                           : Command::Audit;
        o.words = rest;
        if (o.command == Command::Audit && rest.size() > 1 && rest[0] == "export") o.output = rest[1];
    } else if (word == "archive-copy") {
        if (rest.size() != 2 || rest[0].empty() || rest[1].empty() || IsOption(rest[0]) || IsOption(rest[1]))
            return fail("archive-copy needs FROM and TO (an archive file or a postgresql:// URI each)");
        o.command = Command::ArchiveCopy;
        o.words = rest;
    } else if (word == "archive-setup") {
        if (rest.size() != 1 || rest[0] != "--print-sql") return fail("archive-setup takes --print-sql");
        o.command = Command::ArchiveSetup;
    } else if (word == "classify") {
        o.command = Command::Classify;
        if (std::string e = ParseClassify(rest, o); !e.empty()) return fail(e);
    } else {
        return fail(word.empty() || IsOption(word) ? "unknown option " + word : "unknown command " + word);
    }
    // The archive's own commands read no instrument and archive nothing.
    if (WorksOnTheArchiveAlone(o.command) && instrumentGiven)
        return fail(word + " works on the archive alone: " + instrumentOption + " does not apply");
    if (WorksOnTheArchiveAlone(o.command) && o.noArchive)
        return fail(word + " works on the archive alone: --no-archive does not apply");
    return result;
}

}  // namespace oront::cli
