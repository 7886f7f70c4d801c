// oront-v208-cli: the instrument's flows from the command line.
//
//   oront-v208-cli [--simulate IMAGE | --demo | --demo-full] COMMAND [ARGS]
//
// Without --simulate/--demo it talks to the instrument over USB. Failures print
// the program's own message on stderr and exit 1; usage errors exit 2;
// classify exits 3 when a run fails, breaks a requirement of the standard or
// cannot be classified; verify-certificate when the file is no certificate
// the archive issued.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <iostream>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ArchiveCommands.h"
#include "CertificateCommand.h"
#include "CliCommands.h"
#include "CliOptions.h"
#include "app/DownloadTables.h"
#include "base/Messages.h"
#include "base/OutputFile.h"
#include "base/StandardOutput.h"
#include "classify/ClassifyText.h"
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

// A JSON string of the text (as the audit trail's data keeps it).
std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

// The command line as the audit trail keeps it: the settings as typed.
std::vector<std::string> g_arguments;

using namespace oront;

int Usage(const std::string& why) {
    std::cerr << "oront-v208-cli: " << why << " (--help shows the usage)\n";
    return 2;
}

// Standard output written in full, or false after saying why not: a command
// whose output was lost fails.
bool Print(std::string_view bytes) {
    return PrintStandardOutput(bytes, "oront-v208-cli");
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
    // Gets the memory image of every successful download (the archive).
    std::function<void(const MemoryImage&)> downloaded;
};

// The "Read Records" flow: connect, count, download. Returns nullptr, or the
// program's message for the failure. packetSink gets every packet that
// arrives, also the count reply that the query refuses (an error reply, a
// malformed count), so that a dump of a failed download replays the same
// failure. A count query without any reply leaves the buffer zeroed (a zero
// reply itself is a valid count and never fails), so then nothing is passed.
const char* DownloadAll(Session& s, const std::function<void(const std::uint8_t*)>& packetSink = {}) {
    MemoryImage image;
    const auto sink = [&](const std::uint8_t* packet) {
        if (s.downloaded) image.insert(image.end(), packet, packet + kPacketSize);
        if (packetSink) packetSink(packet);
    };
    if (!OpenDeviceLink(s.usb)) return msg::kConnectFailed;
    const bool counted = QueryRecordCount(s.usb, s.io, s.store);
    const bool replied = std::any_of(std::begin(s.io.m_reply), std::end(s.io.m_reply), [](auto b) { return b != 0; });
    if (counted || replied) sink(s.io.m_reply);
    if (!counted) return msg::kReadFailed;
    if (s.store.m_nRecordCount == 0) return msg::kNoData;
    ProgressBar progress;
    DownloadHooks hooks;
    hooks.progress = [&progress](int received, int count) { progress.Update(received, count); };
    hooks.packetReceived = sink;
    const bool ok = DownloadRecords(s.usb, s.io, s.store, hooks);
    if (ok) BuildDownloadTables(s.store, s.tFactor);
    progress.Finish();
    if (ok && s.downloaded) s.downloaded(image);
    return ok ? nullptr : msg::kReadFailed;
}

// The same, printing the failure: 0 or the exit status.
int ReadRecords(Session& s) {
    if (const char* failure = DownloadAll(s)) return Fail(failure);
    return 0;
}

// The file a save writes: the one named, or one named from the local time.
std::string OutputOrDefault(const cli::Options& o) {
    return o.output.empty() ? DefaultFileName(std::time(nullptr)) + ".csv" : o.output;
}

// What a command wrote, and where, goes to stderr beside the progress, so
// that a file written to stdout stays only the file. A name the program chose
// itself is also printed alone on stdout, for scripts to pick up.
void Confirm(const std::string& what, const std::string& path) {
    std::cerr << "Saved " << what << " to " << path << "\n";
}

int SaveRows(const Session& s, const cli::Options& o, int start, int end, const std::string& what) {
    const std::string path = OutputOrDefault(o);
    std::string cause;
    if (!WriteCsvFileWithCause(s.store, path, start, end, cause)) return Fail(msg::kSaveFailed, cause);
    cli::AuditEvent(o, cli::Audited::Save, "records saved",
                    "{\"file\":" + JsonString(path) + ",\"rows\":[" + std::to_string(start) + "," +
                        std::to_string(end) + "],\"serial\":" + std::to_string(s.store.ReportSerialNumber()) +
                        ",\"sha256\":\"" + cli::Sha256Of(CsvText(s.store, start, end)) + "\"}");
    const bool printed = !o.output.empty() || Print(path + "\n");
    Confirm(what, path);
    return printed ? 0 : 1;
}

// The instrument the options name; nullptr after printing why there is none.
std::unique_ptr<DeviceBackend> OpenInstrument(const cli::Options& o) {
    switch (o.instrument) {
        case cli::Instrument::Demo:
            return std::make_unique<SimulatedInstrument>(MakeDemoImage());
        case cli::Instrument::DemoFull:
            return std::make_unique<SimulatedInstrument>(MakeFullDemoImage());
        case cli::Instrument::Image: {
            MemoryImage image;
            std::string reason;
            if (!LoadMemoryImage(o.image, image, &reason)) {
                std::cerr << "oront-v208-cli: cannot read the image file " << o.image << ": " << reason << "\n";
                return nullptr;
            }
            return std::make_unique<SimulatedInstrument>(std::move(image));
        }
        case cli::Instrument::Archive: {
            MemoryImage image;
            if (!cli::LoadArchivedImage(o, image)) return nullptr;
            return std::make_unique<SimulatedInstrument>(std::move(image));
        }
        case cli::Instrument::Usb:
            break;
    }
    return CreateUsbBackend();
}

int Dump(Session& s, const cli::Options& o, const std::string& path) {
    MemoryImage image;
    auto sink = [&image](const std::uint8_t* packet) { image.insert(image.end(), packet, packet + kPacketSize); };
    // A failed download still writes the packets that arrived: the image
    // replays the same failure. An instrument that cannot be reached sent
    // nothing, and nothing is written.
    const char* failure = DownloadAll(s, sink);
    if (failure == msg::kConnectFailed) return Fail(failure);
    std::string cause;
    if (!SaveMemoryImage(path, image, &cause))
        return Fail(failure != nullptr ? failure : "oront-v208-cli: cannot write " + path, cause);
    const std::size_t packets = image.size() / kPacketSize;
    const std::string counted = std::to_string(packets) + (packets == 1 ? " packet" : " packets");
    if (failure != nullptr) return Fail(failure, counted + " written to " + path);
    cli::AuditEvent(o, cli::Audited::Save, "memory image saved",
                    "{\"file\":" + JsonString(path) + ",\"packets\":" + std::to_string(packets) + ",\"sha256\":\"" +
                        cli::Sha256Of(std::string(image.begin(), image.end())) + "\"}");
    Confirm(counted + " (" + std::to_string(s.store.m_nRecordCount) + " records)", path);
    return 0;
}

// Classifies the complete ISO runs of the download room by room and writes
// the result in the chosen form to the file named, or to stdout. The exit
// status is the classification's: 0 every judged run passes, 3 a run fails,
// is not valid or cannot be classified, 1 nothing to classify.
int RunClassify(Session& s, const cli::Options& o) {
    if (int rc = ReadRecords(s)) return rc;
    classify::RoomRequest request;
    request.settings = o.classify;
    cli::ClassifyContext context;
    if (!cli::PrepareClassify(o, static_cast<std::uint32_t>(s.store.ReportSerialNumber()), request, context)) return 1;
    const classify::RoomClassification rooms = classify::ClassifyRooms(s.store, request, context.finder);
    if (!rooms.error.empty()) {
        std::cerr << "oront-v208-cli: " << rooms.error << "\n";
        return 1;
    }
    {
        std::string arguments;
        for (const std::string& a : g_arguments) arguments += (arguments.empty() ? "" : ",") + JsonString(a);
        cli::AuditEvent(o, cli::Audited::Classify, "classification run",
                        "{\"arguments\":[" + arguments + "],\"exit_status\":" + std::to_string(rooms.ExitStatus()) +
                            ",\"runs\":" + std::to_string(rooms.RunCount()) + "}");
    }
    if (o.format == cli::ClassifyFormat::Pdf) {
        if (const int rc = cli::RunCertificate(rooms, context.certificate, o)) return rc;
        return rooms.ExitStatus();
    }
    const std::string bytes = o.format == cli::ClassifyFormat::Json  ? classify::RoomsJson(rooms)
                              : o.format == cli::ClassifyFormat::Csv ? classify::RoomsCsv(rooms)
                                                                     : classify::RoomsText(rooms);
    if (o.output.empty()) return Print(bytes) ? rooms.ExitStatus() : 1;
    const OutputResult written = WriteOutputFile(o.output, bytes);
    if (!written.ok()) return Fail("oront-v208-cli: cannot write the classification", written.Describe());
    const std::size_t runs = rooms.RunCount();
    Confirm("the classification of " + std::to_string(runs) + (runs == 1 ? " run" : " runs"), o.output);
    return rooms.ExitStatus();
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    g_arguments = args;
    const cli::ParsedOptions parsed = cli::ParseArguments(args);
    if (!parsed.error.empty()) return Usage(parsed.error);
    const cli::Options& o = parsed.options;
    if (o.command == cli::Command::Help) return Print(cli::UsageText(o.helpTopic)) ? 0 : 1;
    if (o.command == cli::Command::Version)
        return Print(std::string("oront-v208-cli ") + kProgramVersion + "\n") ? 0 : 1;
    if (const int rc = cli::GuardArchive(o)) return rc;
    // The archive's own commands need no instrument.
    if (o.command == cli::Command::History) return cli::RunHistory(o);
    if (o.command == cli::Command::Records) return cli::RunRecords(o);
    if (o.command == cli::Command::VerifyArchive) return cli::RunVerifyArchive(o);
    if (o.command == cli::Command::Site) return cli::RunSite(o);
    if (o.command == cli::Command::Excursions) return cli::RunExcursions(o);
    if (o.command == cli::Command::VerifyCertificate) return cli::RunVerifyCertificate(o);
    if (o.command == cli::Command::Users) return cli::RunUsers(o);
    if (o.command == cli::Command::ArchiveSetup) return cli::RunArchiveSetup(o);
    if (o.command == cli::Command::ArchiveCopy) return cli::RunArchiveCopy(o);
    if (o.command == cli::Command::Password) return cli::RunPassword(o);
    if (o.command == cli::Command::Sign) return cli::RunSign(o);
    if (o.command == cli::Command::Signatures) return cli::RunSignatures(o);
    if (o.command == cli::Command::Audit) {
        // The report of the trail draws with Qt, in the report program.
        if (!o.words.empty() && o.words[0] == "export")
            if (const int rc = cli::HandOverReport(argv); rc >= 0) return rc;
        return cli::RunAudit(o);
    }
    // The trend is drawn with Qt, in the report program.
    if (o.command == cli::Command::Trend) {
        if (const int rc = cli::HandOverReport(argv); rc >= 0) return rc;
        return cli::RunTrend(o);
    }
    if (o.instrument == cli::Instrument::Usb) {
        if (const std::string error = UsbIdEnvironmentError(); !error.empty()) return Usage(error);
    }
    // The report command and the PDF certificate draw with Qt, which only
    // the report program links: they run there, from the start, before
    // anything is read.
    if (o.command == cli::Command::Report ||
        (o.command == cli::Command::Classify && o.format == cli::ClassifyFormat::Pdf)) {
        if (const int rc = cli::HandOverReport(argv); rc >= 0) return rc;
    }
    // An action the actor's role does not allow is refused before anything
    // is read.
    {
        const cli::Audited action = o.command == cli::Command::Erase      ? cli::Audited::Erase
                                    : o.command == cli::Command::Classify ? cli::Audited::Classify
                                    : o.command == cli::Command::Count    ? cli::Audited::Download
                                                                          : cli::Audited::Save;
        if (const int rc = cli::AuditAllowed(o, action)) return rc;
    }
    Session s;
    s.backend = OpenInstrument(o);
    if (!s.backend) return 1;
    s.usb.SetBackend(s.backend.get());
    s.downloaded = [&o](const MemoryImage& image) { cli::ArchiveDownload(o, image); };

    switch (o.command) {
        case cli::Command::Count: {
            if (!OpenDeviceLink(s.usb)) return Fail(msg::kConnectFailed);
            if (!QueryRecordCount(s.usb, s.io, s.store)) return Fail(msg::kReadFailed);
            const std::string counts = "Records: " + std::to_string(s.store.m_nRecordCount) + "\n" +
                                       "Wrap position: " + std::to_string(s.store.m_nWrapPosition) + "\n";
            return Print(counts) ? 0 : 1;
        }
        case cli::Command::Erase:
            if (!OpenDeviceLink(s.usb)) return Fail(msg::kConnectFailed);
            if (!EraseRecords(s.usb, s.io)) return Fail(msg::kDeleteFailed);
            s.usb.ClosePipes();
            cli::AuditEvent(o, cli::Audited::Erase, "instrument erased", "{}");
            return Print(std::string(msg::kDeleted) + "\n") ? 0 : 1;
        case cli::Command::SaveAll: {
            if (int rc = ReadRecords(s)) return rc;
            return SaveRows(s, o, 0, s.store.m_nLastRow, std::to_string(s.store.m_nRecordCount) + " records");
        }
        case cli::Command::SaveRange: {
            if (int rc = ReadRecords(s)) return rc;
            // FIRST and LAST are record numbers as the Record column shows them.
            const RecordRangeResult range = ResolveRecordNumbers(s.store, o.first, o.last);
            if (!range.error.empty()) {
                std::cerr << "oront-v208-cli: " << range.error << "\n";
                return 1;
            }
            return SaveRows(s, o, range.rows.first, range.rows.last,
                            "records " + FormatZeroPad(CAtoi(o.first), 4) + " to " + FormatZeroPad(CAtoi(o.last), 4));
        }
        case cli::Command::Dump:
            return Dump(s, o, o.output);
        case cli::Command::Report:
            if (int rc = ReadRecords(s)) return rc;
            return cli::RunReport(s.store, o.output, o.firstPage, o.lastPage, o.printer);
        case cli::Command::Classify:
            return RunClassify(s, o);
        case cli::Command::Help:
        case cli::Command::Version:
        case cli::Command::History:
        case cli::Command::Records:
        case cli::Command::Trend:
        case cli::Command::VerifyArchive:
        case cli::Command::Site:
        case cli::Command::Excursions:
        case cli::Command::VerifyCertificate:
        case cli::Command::Users:
        case cli::Command::Password:
        case cli::Command::Sign:
        case cli::Command::Signatures:
        case cli::Command::Audit:
        case cli::Command::ArchiveSetup:
        case cli::Command::ArchiveCopy:
            break;
    }
    return 0;
}
