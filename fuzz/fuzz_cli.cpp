// The command-line parser on arbitrary arguments (the input split at its NUL
// bytes). It never crashes; a refused command line has a reason; an accepted
// one holds what its command needs (operands, a consistent classification,
// no instrument for the archive's own commands),
// "--help" anywhere still wins, and the arguments written back from the
// options parse to the same options.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "Check.h"
#include "CliOptions.h"
#include "classify/ClassifyText.h"

namespace {

using namespace oront;
using namespace oront::cli;

// The options as arguments again. `area` is the text of --area as typed
// (the options keep only its value).
std::vector<std::string> Arguments(const Options& o, const std::string& area) {
    std::vector<std::string> a;
    switch (o.instrument) {
        case Instrument::Usb:
            break;
        case Instrument::Demo:
            a.push_back("--demo");
            break;
        case Instrument::DemoFull:
            a.push_back("--demo-full");
            break;
        case Instrument::Image:
            a.insert(a.end(), {"--simulate", o.image});
            break;
        case Instrument::Archive:
            a.insert(a.end(), {"--from-archive", std::to_string(o.archiveId)});
            break;
    }
    if (!o.archive.empty()) a.insert(a.end(), {"--archive", o.archive});
    if (o.noArchive) a.push_back("--no-archive");
    const auto output = [&] {
        if (!o.output.empty()) a.push_back(o.output);
    };
    switch (o.command) {
        case Command::Help:
        case Command::Version:
            a.push_back("help");
            break;
        case Command::Count:
            a.push_back("count");
            break;
        case Command::Erase:
            a.insert(a.end(), {"erase", "--yes"});
            break;
        case Command::SaveAll:
            a.push_back("save-all");
            output();
            break;
        case Command::SaveRange:
            a.insert(a.end(), {"save-range", o.first, o.last});
            output();
            break;
        case Command::Dump:
            a.insert(a.end(), {"dump", o.output});
            break;
        case Command::Report:
            a.insert(a.end(), {"report", o.output});
            if (o.firstPage != 0)
                a.insert(a.end(), {"--pages", std::to_string(o.firstPage) + "-" + std::to_string(o.lastPage)});
            if (!o.printer.empty()) a.insert(a.end(), {"--printer", o.printer});
            break;
        case Command::History:
            a.insert(a.end(), {"history", "--format", o.json ? "json" : "text"});
            break;
        case Command::VerifyArchive:
            a.push_back("verify-archive");
            break;
        case Command::Records:
            a.push_back("records");
            if (!o.serial.empty()) a.insert(a.end(), {"--serial", o.serial});
            if (!o.location.empty()) a.insert(a.end(), {"--location", o.location});
            if (!o.from.empty()) a.insert(a.end(), {"--from", o.from});
            if (!o.to.empty()) a.insert(a.end(), {"--to", o.to});
            a.insert(a.end(), {"--format", o.json ? "json" : "csv"});
            break;
        case Command::Classify: {
            const classify::Settings& s = o.classify;
            static const char* const kStandards[] = {"iso-2015", "iso-1999", "gmp-2022"};
            static const char* const kStates[] = {"as-built", "at-rest", "operational"};
            static const char* const kFormats[] = {"text", "json", "csv", "pdf"};
            a.insert(a.end(), {"classify", "--standard", kStandards[static_cast<int>(s.standard)]});
            if (s.target.classTenths != 0) a.insert(a.end(), {"--class", classify::ClassNumber(s.target.classTenths)});
            if (s.target.grade != 0) a.insert(a.end(), {"--grade", std::string(1, s.target.grade)});
            if (o.classifyGiven.state)
                a.insert(a.end(), {"--state", o.bothStates ? "both" : kStates[static_cast<int>(s.target.state)]});
            const auto runs = [](const std::vector<int>& list) {
                std::string text;
                for (int run : list) text += (text.empty() ? "" : ",") + std::to_string(run);
                return text;
            };
            if (!o.atRestRuns.empty())
                a.insert(a.end(),
                         {"--at-rest-runs", runs(o.atRestRuns), "--operational-runs", runs(o.operationalRuns)});
            for (const auto& [option, value] :
                 {std::pair{"--room", &o.room}, std::pair{"--client", &o.client},
                  std::pair{"--report-number", &o.reportNumber}, std::pair{"--operator", &o.operatorName}})
                if (!value->empty()) a.insert(a.end(), {option, *value});
            if (!s.sizes.empty()) {
                std::string sizes;
                for (int size : s.sizes) sizes += (sizes.empty() ? "" : ",") + classify::SizeNumber(size);
                a.insert(a.end(), {"--sizes", sizes});
            }
            a.insert(a.end(),
                     {"--counts", s.counts == classify::CountMode::Cumulative ? "cumulative" : "differential"});
            if (s.areaM2 != 0.0) a.insert(a.end(), {"--area", area});
            a.insert(a.end(), {"--format", kFormats[static_cast<int>(o.format)]});
            output();
            break;
        }
        case Command::Trend: {
            const classify::Target& t = o.classify.target;
            a.insert(a.end(), {"trend", "--location", o.location});
            if (!o.serial.empty()) a.insert(a.end(), {"--serial", o.serial});
            if (!o.from.empty()) a.insert(a.end(), {"--from", o.from});
            if (!o.to.empty()) a.insert(a.end(), {"--to", o.to});
            if (o.trendSize != 0) a.insert(a.end(), {"--size", classify::SizeNumber(o.trendSize)});
            if (t.classTenths != 0) a.insert(a.end(), {"--class", classify::ClassNumber(t.classTenths)});
            if (t.grade != 0)
                a.insert(a.end(), {"--grade", std::string(1, t.grade), "--state",
                                   t.state == classify::Occupancy::Operational ? "operational" : "at-rest"});
            a.push_back(o.output);
            break;
        }
        default:  // a command not written back here
            return {};
    }
    return a;
}

// What the command needs once it is accepted.
void CheckAccepted(const Options& o) {
    if (o.instrument == Instrument::Image) FUZZ_CHECK(!o.image.empty());
    if (o.instrument == Instrument::Archive) FUZZ_CHECK(o.archiveId >= 1);
    FUZZ_CHECK(!(o.noArchive && !o.archive.empty()));
    // The archive's own commands take no instrument.
    if (WorksOnTheArchiveAlone(o.command)) FUZZ_CHECK(o.instrument == Instrument::Usb && !o.noArchive);
    if (o.command == Command::Site && o.site != SiteAction::Show)
        FUZZ_CHECK(!o.output.empty() && !(o.output.size() > 1 && o.output[0] == '-'));
    if (o.command == Command::Report) {
        FUZZ_CHECK(o.output.size() < 2 || o.output[0] != '-');  // an empty name fails when written
        FUZZ_CHECK((o.firstPage == 0) == (o.lastPage == 0));
    }
    if (o.command == Command::Trend) {
        const classify::Target& t = o.classify.target;
        FUZZ_CHECK(!o.location.empty() && o.output.size() >= 4);
        const std::string suffix = o.output.substr(o.output.size() - 4);
        FUZZ_CHECK(suffix[0] == '.');
        FUZZ_CHECK(o.trendSize == 0 || classify::IsInstrumentSize(o.trendSize));
        FUZZ_CHECK(t.classTenths == 0 || t.grade == 0);
        FUZZ_CHECK(t.grade == 0 || (t.grade >= 'A' && t.grade <= 'D'));
        FUZZ_CHECK(t.classTenths == 0 ||
                   (t.classTenths >= classify::kLowestClass && t.classTenths <= classify::kHighestClass));
    }
    if (o.command == Command::Classify) {
        // A room's register entry declares the state when --state does not.
        classify::Settings s = o.classify;
        if (!o.room.empty() && !o.classifyGiven.state) {
            s.target.stateDeclared = true;
            s.target.state = classify::Occupancy::Operational;
        }
        FUZZ_CHECK(classify::SettingsError(s).empty());
        FUZZ_CHECK(!s.target.Given() || s.target.stateDeclared);
        FUZZ_CHECK(o.atRestRuns.empty() == o.operationalRuns.empty() && (o.atRestRuns.empty() || o.bothStates));
        for (int run : o.atRestRuns)
            FUZZ_CHECK(run >= 1 &&
                       std::find(o.operationalRuns.begin(), o.operationalRuns.end(), run) == o.operationalRuns.end());
        FUZZ_CHECK(s.target.classTenths == 0 ||
                   (s.target.classTenths >= classify::kLowestClass && s.target.classTenths <= classify::kHighestClass));
        FUZZ_CHECK(s.target.grade == 0 || (s.target.grade >= 'A' && s.target.grade <= 'D'));
        FUZZ_CHECK(s.target.grade == 0 || s.standard == classify::Standard::Gmp2022);
        for (int size : s.sizes) FUZZ_CHECK(classify::IsInstrumentSize(size));
        FUZZ_CHECK(s.areaM2 >= 0.0);
        FUZZ_CHECK(o.format != ClassifyFormat::Pdf || !o.output.empty());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 4096) return 0;
    std::vector<std::string> args;
    std::string arg;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            args.push_back(arg);
            arg.clear();
        } else {
            arg += static_cast<char>(data[i]);
        }
    }
    if (size > 0) args.push_back(arg);

    const ParsedOptions parsed = ParseArguments(args);
    if (!parsed.error.empty()) return 0;
    const Options& o = parsed.options;
    CheckAccepted(o);
    if (o.command == Command::Help || o.command == Command::Version) return 0;

    std::vector<std::string> withHelp = args;
    withHelp.push_back("--help");
    FUZZ_CHECK(ParseArguments(withHelp).options.command == Command::Help);

    std::string area;
    for (std::size_t k = 0; k + 1 < args.size(); ++k)
        if (args[k] == "--area") area = args[k + 1];
    const std::vector<std::string> again = Arguments(o, area);
    if (again.empty()) return 0;
    const ParsedOptions reparsed = ParseArguments(again);
    FUZZ_CHECK(reparsed.error.empty());
    FUZZ_CHECK(Arguments(reparsed.options, area) == again);
    return 0;
}
