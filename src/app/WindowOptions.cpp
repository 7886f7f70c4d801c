#include "app/WindowOptions.h"

namespace oront {
namespace {

constexpr const char* kUsage =
    "usage: oront-v208 [--demo | --demo-full | --simulate IMAGE]\n"
    "                  [--archive PATH | --no-archive] [FILE]\n"
    "       oront-v208 --help | --version\n"
    "\n"
    "Opens the window of Oront V208 Software. Without --demo, --demo-full or\n"
    "--simulate it reads the instrument attached over USB (USB id 04D8:000C;\n"
    "set ORONT_USB_ID=VVVV:PPPP for another).\n"
    "  --demo             the built-in demo instrument (a few hundred records)\n"
    "  --demo-full        the built-in demo instrument with a full, wrapped memory\n"
    "  --simulate IMAGE   play an instrument memory image file as the instrument\n"
    "  --archive PATH     the download archive (or set ORONT_ARCHIVE=PATH); by\n"
    "                     default $XDG_DATA_HOME/oront-v208/archive.sqlite\n"
    "  --no-archive       do not archive this run's downloads\n"
    "  FILE               open a memory image (as written by oront-v208-cli dump)\n"
    "                     and show its records as Read Records shows them\n"
    "  -h, --help         print this text\n"
    "  --version          print the version\n";

bool IsOption(const std::string& arg) {
    return arg.size() > 1 && arg[0] == '-';
}

}  // namespace

const char* WindowUsageText() {
    return kUsage;
}

ParsedWindowOptions ParseWindowArguments(const std::vector<std::string>& args) {
    ParsedWindowOptions result;
    WindowOptions& o = result.options;
    auto fail = [&result](std::string why) {
        result.error = std::move(why);
        return result;
    };
    // --help and --version win wherever they stand among the options.
    for (const std::string& arg : args) {
        if (arg == "--") break;
        if (arg == "--help" || arg == "-h") {
            o.help = true;
            return result;
        }
        if (arg == "--version") {
            o.version = true;
            return result;
        }
    }
    bool instrumentGiven = false;
    bool archiveGiven = false;
    bool optionsEnded = false;  // after "--" every argument is a file
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && (arg == "--demo" || arg == "--demo-full" || arg == "--simulate")) {
            if (instrumentGiven) return fail("the instrument is given twice (" + arg + ")");
            instrumentGiven = true;
            if (arg == "--simulate") {
                if (i + 1 >= args.size() || args[i + 1].empty()) return fail("--simulate needs an image file");
                o.instrument = WindowInstrument::Image;
                o.simulate = args[++i];
            } else {
                o.instrument = arg == "--demo" ? WindowInstrument::Demo : WindowInstrument::DemoFull;
            }
        } else if (!optionsEnded && (arg == "--archive" || arg == "--no-archive")) {
            if (archiveGiven) return fail("the archive is given twice (" + arg + ")");
            archiveGiven = true;
            if (arg == "--no-archive") {
                o.noArchive = true;
            } else {
                if (i + 1 >= args.size() || args[i + 1].empty()) return fail("--archive needs a file");
                o.archive = args[++i];
            }
        } else if (!optionsEnded && IsOption(arg)) {
            return fail("unknown option " + arg);
        } else {
            if (arg.empty()) return fail("an empty file name");
            if (!o.open.empty()) return fail("only one file can be opened (" + arg + ")");
            o.open = arg;
        }
    }
    return result;
}

}  // namespace oront
