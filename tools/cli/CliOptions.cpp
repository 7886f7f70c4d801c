#include "CliOptions.h"

#include <algorithm>
#include <cstddef>
#include <string_view>

namespace oront::cli {
namespace {

constexpr const char* kUsage =
    "usage: oront-v208-cli [--simulate IMAGE | --demo | --demo-full] COMMAND [ARGS]\n"
    "       oront-v208-cli --help | --version\n"
    "\n"
    "Instrument:  without --simulate/--demo the instrument attached over USB\n"
    "             (USB id 04D8:000C; set ORONT_USB_ID=VVVV:PPPP for another).\n"
    "  --simulate IMAGE   play an instrument memory image file\n"
    "  --demo             the built-in demo instrument (a few hundred records)\n"
    "  --demo-full        the built-in demo instrument with a full, wrapped memory\n"
    "\n"
    "Commands:\n"
    "  count                      print the record count and the wrap position\n"
    "  erase --yes                erase all records on the instrument\n"
    "  save-all [OUT.csv]         read all records and save them as CSV\n"
    "  save-range FIRST LAST [OUT.csv]\n"
    "                             read all records and save records FIRST..LAST\n"
    "                             (record numbers as the Record column shows them;\n"
    "                             a complete run's summary follows its last record)\n"
    "  dump OUT.v208img           read the instrument into a memory image file\n"
    "  report OUT.pdf [--pages FIRST-LAST] [--printer NAME]\n"
    "                             print the report into a PDF file or to a printer\n"
    "  help                       print this text\n"
    "\n"
    "Without OUT.csv the file is named from the local time (YYYYMMDDhhmmss.csv).\n";

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

}  // namespace

const char* UsageText() {
    return kUsage;
}

ParsedOptions ParseArguments(const std::vector<std::string>& args) {
    ParsedOptions result;
    Options& o = result.options;
    auto fail = [&result](std::string why) {
        result.error = std::move(why);
        return result;
    };
    // --help and --version win wherever they stand.
    for (const std::string& arg : args) {
        if (arg == "--help" || arg == "-h") {
            o.command = Command::Help;
            return result;
        }
        if (arg == "--version") {
            o.command = Command::Version;
            return result;
        }
    }

    std::size_t i = 0;
    bool instrumentGiven = false;
    while (i < args.size() && (args[i] == "--simulate" || args[i] == "--demo" || args[i] == "--demo-full")) {
        if (instrumentGiven) return fail("the instrument is given twice (" + args[i] + ")");
        instrumentGiven = true;
        if (args[i] == "--simulate") {
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
        if (!rest.empty()) return fail("help takes no arguments");
        o.command = Command::Help;
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
    } else {
        return fail(word.empty() || IsOption(word) ? "unknown option " + word : "unknown command " + word);
    }
    return result;
}

}  // namespace oront::cli
