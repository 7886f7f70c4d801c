// oront-v208-cli: the instrument's flows from the command line.
//
//   oront-v208-cli [--simulate IMAGE | --demo | --demo-full] COMMAND [ARGS]
//
// Without --simulate/--demo it talks to the instrument over USB. Failures print
// the program's own message on stderr and exit 1; usage errors exit 2.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <iostream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "CliCommands.h"
#include "app/DownloadTables.h"
#include "base/Messages.h"
#include "device/DeviceLink.h"
#include "device/MemoryImage.h"
#include "device/Protocol.h"
#include "device/SimulatedInstrument.h"
#include "device/UsbBackend.h"
#include "export/CsvWriter.h"
#include "export/SaveRange.h"
#include "records/CFormat.h"
#include "records/TableBuild.h"

namespace {

using namespace oront;

constexpr const char* kUsage =
    "usage: oront-v208-cli [--simulate IMAGE | --demo | --demo-full] COMMAND [ARGS]\n"
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
    "  dump OUT.img               read the instrument into a memory image file\n"
    "  report OUT.pdf [--pages FIRST-LAST] [--printer NAME]\n"
    "                             print the report into a PDF file or to a printer\n"
    "\n"
    "Without OUT.csv the file is named from the local time (YYYYMMDDhhmmss.csv).\n";

int Usage(const std::string& why) {
    if (!why.empty()) std::cerr << "oront-v208-cli: " << why << "\n";
    std::cerr << kUsage;
    return 2;
}

int Fail(const char* message) {
    std::cerr << message << "\n";
    return 1;
}

// The program's message followed by what caused it:
// "Failed to save records! (Permission denied: /path/out.csv)".
int Fail(const std::string& message, const std::string& cause) {
    std::cerr << message << " (" << cause << ")\n";
    return 1;
}

// Shows "records received of the count" while a download runs, when stderr is
// a terminal.
class ProgressBar {
public:
    ProgressBar() : m_enabled(isatty(STDERR_FILENO) != 0) {}
    ~ProgressBar() { Finish(); }
    void Update(int received, int count) {
        if (!m_enabled || count <= 0) return;
        const int width = 40;
        const int filled = static_cast<int>(static_cast<long long>(received) * width / count);
        if (filled == m_lastFilled && received != count) return;
        m_lastFilled = filled;
        std::string bar(static_cast<std::size_t>(filled), '#');
        bar.resize(width, '.');
        std::cerr << "\rReading records [" << bar << "] " << received << " of " << count << std::flush;
        m_shown = true;
    }
    void Finish() {
        if (m_shown) std::cerr << "\n";
        m_shown = false;
    }

private:
    bool m_enabled;
    bool m_shown = false;
    int m_lastFilled = -1;
};

struct Session {
    std::unique_ptr<DeviceBackend> backend;
    CUsbIF usb;
    CommandBuffers io;
    RecordStore store;
    TFactorTable tFactor;
};

// The "Read Records" flow: connect, count, download. Returns nullptr, or the
// program's message for the failure. packetSink gets every packet that
// arrives, also the count reply that the query refuses (an error reply, a
// malformed count), so that a dump of a failed download replays the same
// failure. A count query without any reply leaves the buffer zeroed (a zero
// reply itself is a valid count and never fails), so then nothing is passed.
const char* DownloadAll(Session& s, const std::function<void(const std::uint8_t*)>& packetSink = {}) {
    if (!OpenDeviceLink(s.usb)) return msg::kConnectFailed;
    const bool counted = QueryRecordCount(s.usb, s.io, s.store);
    const bool replied = std::any_of(std::begin(s.io.m_reply), std::end(s.io.m_reply), [](auto b) { return b != 0; });
    if (packetSink && (counted || replied)) packetSink(s.io.m_reply);
    if (!counted) return msg::kReadFailed;
    if (s.store.m_nRecordCount == 0) return msg::kNoData;
    ProgressBar progress;
    DownloadHooks hooks;
    hooks.progress = [&progress](int received, int count) { progress.Update(received, count); };
    hooks.packetReceived = packetSink;
    const bool ok = DownloadRecords(s.usb, s.io, s.store, hooks);
    if (ok) BuildDownloadTables(s.store, s.tFactor);
    progress.Finish();
    return ok ? nullptr : msg::kReadFailed;
}

// The same, printing the failure: 0 or the exit status.
int ReadRecords(Session& s) {
    if (const char* failure = DownloadAll(s)) return Fail(failure);
    return 0;
}

std::string OutputOrDefault(const std::vector<std::string>& args, std::size_t index) {
    if (index < args.size()) return args[index];
    const std::string name = DefaultFileName(std::time(nullptr)) + ".csv";
    std::cout << name << "\n";
    return name;
}

int SaveRows(const Session& s, const std::string& path, int start, int end) {
    std::string cause;
    if (!WriteCsvFileWithCause(s.store, path, start, end, cause)) return Fail(msg::kSaveFailed, cause);
    return 0;
}

// The command word: the argument after the instrument option, empty when
// there is none.
std::string CommandWord(const std::vector<std::string>& args) {
    std::size_t i = 0;
    if (!args.empty() && args[0] == "--simulate") {
        i = 2;
    } else if (!args.empty() && (args[0] == "--demo" || args[0] == "--demo-full")) {
        i = 1;
    }
    return i < args.size() ? args[i] : std::string();
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    // The report command prints with Qt, which only the report program
    // links: it runs there, from the start, before anything is read.
    if (CommandWord(args) == "report") {
        if (const int rc = cli::HandOverReport(argv); rc >= 0) return rc;
    }
    Session s;
    std::size_t i = 0;
    if (i < args.size() && args[i] == "--simulate") {
        if (i + 1 >= args.size()) return Usage("--simulate needs an image file");
        MemoryImage image;
        std::string reason;
        if (!LoadMemoryImage(args[i + 1], image, &reason)) {
            std::cerr << "oront-v208-cli: cannot read the image file " << args[i + 1] << ": " << reason << "\n";
            return 1;
        }
        s.backend = std::make_unique<SimulatedInstrument>(std::move(image));
        i += 2;
    } else if (i < args.size() && args[i] == "--demo") {
        s.backend = std::make_unique<SimulatedInstrument>(MakeDemoImage());
        ++i;
    } else if (i < args.size() && args[i] == "--demo-full") {
        s.backend = std::make_unique<SimulatedInstrument>(MakeFullDemoImage());
        ++i;
    } else {
        s.backend = CreateUsbBackend();
    }
    s.usb.SetBackend(s.backend.get());
    if (i >= args.size()) return Usage("no command given");
    const std::string command = args[i++];
    const std::vector<std::string> rest(args.begin() + static_cast<std::ptrdiff_t>(i), args.end());

    if (command == "count") {
        if (!rest.empty()) return Usage("count takes no arguments");
        if (!OpenDeviceLink(s.usb)) return Fail(msg::kConnectFailed);
        if (!QueryRecordCount(s.usb, s.io, s.store)) return Fail(msg::kReadFailed);
        std::cout << "Records: " << s.store.m_nRecordCount << "\n"
                  << "Wrap position: " << s.store.m_nWrapPosition << "\n";
        return 0;
    }
    if (command == "erase") {
        if (rest.size() != 1 || rest[0] != "--yes") return Usage("erase needs --yes: it deletes every record");
        if (!OpenDeviceLink(s.usb)) return Fail(msg::kConnectFailed);
        if (!EraseRecords(s.usb, s.io)) return Fail(msg::kDeleteFailed);
        s.usb.ClosePipes();
        std::cout << msg::kDeleted << "\n";
        return 0;
    }
    if (command == "save-all") {
        if (rest.size() > 1) return Usage("save-all takes at most one file name");
        if (int rc = ReadRecords(s)) return rc;
        return SaveRows(s, OutputOrDefault(rest, 0), 0, s.store.m_nLastRow);
    }
    if (command == "save-range") {
        if (rest.size() < 2 || rest.size() > 3) return Usage("save-range needs FIRST and LAST");
        if (int rc = ReadRecords(s)) return rc;
        // FIRST and LAST are record numbers as the Record column shows them.
        const RecordRangeResult range = ResolveRecordNumbers(s.store, rest[0], rest[1]);
        if (!range.error.empty()) {
            std::cerr << "oront-v208-cli: " << range.error << "\n";
            return 1;
        }
        return SaveRows(s, OutputOrDefault(rest, 2), range.rows.first, range.rows.last);
    }
    if (command == "dump") {
        if (rest.size() != 1) return Usage("dump needs one image file name");
        MemoryImage image;
        auto sink = [&image](const std::uint8_t* packet) { image.insert(image.end(), packet, packet + kPacketSize); };
        // A failed download still writes the packets that arrived: the image
        // replays the same failure. An instrument that cannot be reached
        // sent nothing, and nothing is written.
        const char* failure = DownloadAll(s, sink);
        if (failure == msg::kConnectFailed) return Fail(failure);
        std::string cause;
        if (!SaveMemoryImage(rest[0], image, &cause))
            return Fail(failure != nullptr ? failure : "oront-v208-cli: cannot write " + rest[0], cause);
        if (failure != nullptr) {
            const std::size_t packets = image.size() / kPacketSize;
            return Fail(failure,
                        std::to_string(packets) + (packets == 1 ? " packet" : " packets") + " written to " + rest[0]);
        }
        return 0;
    }
    if (command == "report") {
        if (rest.empty()) return Usage("report needs an output file");
        std::string out = rest[0];
        int first = 0;
        int last = 0;
        std::string printer;
        for (std::size_t k = 1; k < rest.size(); ++k) {
            if (rest[k] == "--pages" && k + 1 < rest.size()) {
                const std::string& range = rest[++k];
                const auto dash = range.find('-');
                if (dash == std::string::npos) return Usage("--pages takes FIRST-LAST");
                first = CAtoi(range.substr(0, dash));
                last = CAtoi(range.substr(dash + 1));
                if (first < 1 || last < 1) return Usage("--pages takes FIRST-LAST, both from 1");
            } else if (rest[k] == "--printer" && k + 1 < rest.size()) {
                printer = rest[++k];
            } else {
                return Usage("unknown report option " + rest[k]);
            }
        }
        if (int rc = ReadRecords(s)) return rc;
        return cli::RunReport(s.store, out, first, last, printer);
    }
    return Usage("unknown command " + command);
}
