// The command-line tool's users, signatures and audit trail.
#include <cstdio>
#include <iostream>
#include <string>

#include "ArchiveCommands.h"

#ifndef ORONT_NO_ARCHIVE
#include <nlohmann/json.hpp>

#include "archive/Archive.h"
#include "archive/PostgresSchema.h"
#include "base/LocalTime.h"
#include "base/StandardOutput.h"
#include "pgstore/Stores.h"
#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <termios.h>
#include <unistd.h>
#endif
#endif

namespace oront::cli {

#ifndef ORONT_NO_ARCHIVE
namespace {

using nlohmann::json;

std::string PathOf(const Options& o) {
    return o.archive.empty() ? archive::DefaultArchivePath() : o.archive;
}

bool Print(const std::string& text) {
    return PrintStandardOutput(text, "oront-v208-cli");
}

int Usage(const std::string& why) {
    std::cerr << "oront-v208-cli: " << why << " (--help shows the usage)\n";
    return 2;
}

// 4 for a refusal, 1 for another failure, after the message.
int Failed(const archive::ArchiveStore& a, const std::string& error) {
    std::cerr << "oront-v208-cli: " << error << "\n";
    return a.Refused() ? 4 : 1;
}

bool OpenFor(archive::Archive& a, const Options& o, archive::OpenMode mode) {
    std::string error;
    if (a.Open(PathOf(o), mode, error)) return true;
    std::cerr << "oront-v208-cli: archive: " << error << "\n";
    return false;
}

// A password: from the terminal without echo, or a line of standard input.
bool ReadPassword(const char* prompt, std::string& password) {
    password.clear();
#ifdef _WIN32
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    const bool console = GetConsoleMode(in, &mode) != 0;
    if (console) {
        std::cerr << prompt << std::flush;
        SetConsoleMode(in, mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
    }
    const bool ok = static_cast<bool>(std::getline(std::cin, password));
    if (console) {
        SetConsoleMode(in, mode);
        std::cerr << "\n";
    }
#else
    termios old{};
    const bool terminal = isatty(STDIN_FILENO) != 0 && tcgetattr(STDIN_FILENO, &old) == 0;
    if (terminal) {
        std::cerr << prompt << std::flush;
        termios quiet = old;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    const bool ok = static_cast<bool>(std::getline(std::cin, password));
    if (terminal) {
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &old);
        std::cerr << "\n";
    }
#endif
    if (!password.empty() && password.back() == '\r') password.pop_back();
    return ok;
}

// "certificate NUMBER" or "download ID" at words[0..1]: the kind and id.
bool Subject(archive::Archive& a, const std::vector<std::string>& words, archive::SignedKind& kind, std::int64_t& id,
             std::string& error) {
    if (words.size() < 2 || (words[0] != "certificate" && words[0] != "download")) {
        error = "certificate NUMBER or download ID";
        return false;
    }
    if (words[0] == "download") {
        kind = archive::SignedKind::Download;
        const std::string& text = words[1];
        if (text.empty() || text.size() > 15 || text.find_first_not_of("0123456789") != std::string::npos) {
            error = "a download id is a number (see history)";
            return false;
        }
        id = std::stoll(text);
        return true;
    }
    kind = archive::SignedKind::Certificate;
    std::optional<archive::CertificateRecord> found;
    if (!a.CertificateByNumber(words[1], found, error)) return false;
    if (!found || found->data.empty()) {
        error = "no issued certificate has the report number " + words[1];
        return false;
    }
    id = found->id;
    return true;
}

std::string SignatureLine(const archive::Signature& s) {
    audit::Entry when;
    when.time = s.time;
    when.utcOffsetMinutes = s.utcOffsetMinutes;
    const char* state = s.voided ? "void (issued again)" : s.matches ? "valid" : "NOT VALID (what was signed changed)";
    std::string line = audit::MeaningCaption(s.meaning);
    line[0] = static_cast<char>(line[0] - 'a' + 'A');
    return line + " " + s.fullName + " (" + s.user + "), " + audit::LocalTimeText(when) + ": " + state + ", SHA-256 " +
           s.signedSha256 + "\n";
}

// CSV field: quoted where it holds a comma, quote or line break.
std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

audit::Action ActionOf(Audited action) {
    switch (action) {
        case Audited::Download:
            return audit::Action::Download;
        case Audited::Save:
            return audit::Action::Save;
        case Audited::Erase:
            return audit::Action::Erase;
        case Audited::Classify:
            return audit::Action::Classify;
    }
    return audit::Action::Download;
}

}  // namespace

int RunArchiveSetup(const Options&) {
    return Print(archive::PostgresSetupSql()) ? 0 : 1;
}

int AuditAllowed(const Options& o, Audited action) {
    std::string error;
    // No archive yet (or its server out of reach): its first writer becomes
    // its administrator, the server judges when it is reached.
    const auto a = OpenArchiveStore(o, archive::OpenMode::ReadOnly, error);
    if (!a) return 0;
    if (a->Check(ActionOf(action), error)) return 0;
    std::cerr << "oront-v208-cli: " << error << "\n";
    return a->Refused() ? 4 : 0;
}

void AuditEvent(const Options& o, Audited action, const std::string& event, const std::string& data) {
    std::string error;
    const archive::Kept kept =
        archive::KeepEvent(PathOf(o), audit::CurrentIdentity(), ActionOf(action), event, data, o.reason, error);
    if (kept == archive::Kept::Spooled) std::cerr << "oront-v208-cli: warning: " << error << "\n";
    if (kept == archive::Kept::Archived && !error.empty()) std::cerr << "oront-v208-cli: " << error << "\n";
    if (kept == archive::Kept::Failed)
        std::cerr << "oront-v208-cli: warning: the audit trail did not record \"" << event << "\": " << error << "\n";
}

int RunUsers(const Options& o) {
    if (OnServer(o)) return ServerLacks("users");
    const std::vector<std::string>& w = o.words;
    archive::Archive a;
    std::string error;
    if (w.empty()) {
        if (!OpenFor(a, o, archive::OpenMode::ReadOnly)) return 1;
        std::vector<archive::User> users;
        if (!a.Users(users, error)) return Failed(a, error);
        std::string text;
        if (users.empty()) text = "No users yet: the first to write the archive becomes its administrator.\n";
        for (const archive::User& u : users)
            text += u.name + "\t" + u.fullName + "\t" + audit::RoleName(u.role) +
                    (u.hasPassword ? "\tsigning password set" : "\tno signing password") +
                    (u.Locked() ? "\tsigning locked" : "") + "\n";
        return Print(text) ? 0 : 1;
    }
    if (w[0] == "add") {
        std::string fullName;
        std::optional<audit::Role> role;
        if (w.size() < 2 || w[1].empty() || w[1][0] == '-') return Usage("users add needs a user name");
        for (std::size_t k = 2; k < w.size(); k += 2) {
            if (k + 1 >= w.size()) return Usage(w[k] + " needs a value");
            if (w[k] == "--role") {
                role = audit::ParseRole(w[k + 1]);
                if (!role) return Usage("--role takes operator, reviewer or administrator (not " + w[k + 1] + ")");
            } else if (w[k] == "--full-name") {
                fullName = w[k + 1];
            } else {
                return Usage("unknown users add option " + w[k]);
            }
        }
        if (!role) return Usage("users add needs --role operator, reviewer or administrator");
        if (!OpenFor(a, o, archive::OpenMode::ReadWrite)) return 1;
        if (!a.AddUser(w[1], fullName, *role, o.reason, error)) return Failed(a, error);
        std::cerr << "Added " << w[1] << " as " << audit::RoleName(*role) << "\n";
        return 0;
    }
    if (w[0] == "set-role" || w[0] == "unlock") {
        const std::size_t count = w[0] == "set-role" ? 3 : 2;
        if (w.size() != count)
            return Usage(w[0] == "set-role" ? "users set-role needs NAME ROLE" : "users unlock needs NAME");
        std::optional<audit::Role> role;
        if (count == 3 && !(role = audit::ParseRole(w[2])))
            return Usage("a role is operator, reviewer or administrator (not " + w[2] + ")");
        if (!OpenFor(a, o, archive::OpenMode::ReadWrite)) return 1;
        const bool done = role ? a.SetRole(w[1], *role, o.reason, error) : a.UnlockSigning(w[1], o.reason, error);
        if (!done) return Failed(a, error);
        std::cerr << (role ? w[1] + " is now " + audit::RoleName(*role) : w[1] + " may sign again") << "\n";
        return 0;
    }
    return Usage("users takes add, set-role or unlock");
}

int RunPassword(const Options& o) {
    if (OnServer(o)) return ServerLacks("password");
    if (!o.words.empty()) return Usage("password takes no arguments");
    archive::Archive a;
    std::string error;
    if (!OpenFor(a, o, archive::OpenMode::ReadWrite)) return 1;
    std::vector<archive::User> users;
    if (!a.Users(users, error)) return Failed(a, error);
    bool hasOne = false;
    for (const archive::User& u : users) hasOne = hasOne || (u.name == a.Actor().user && u.hasPassword);
    std::string current, password;
    if (hasOne && !ReadPassword("Current signing password: ", current)) return Usage("no current password given");
    if (!ReadPassword("New signing password: ", password)) return Usage("no new password given");
    if (!a.SetSigningPassword(current, password, error)) return Failed(a, error);
    std::cerr << "The signing password of " << a.Actor().user << " is set\n";
    return 0;
}

int RunSign(const Options& o) {
    if (OnServer(o)) return ServerLacks("sign");
    archive::Archive a;
    std::string error;
    if (o.words.size() != 4 || o.words[2] != "--meaning")
        return Usage("sign needs certificate NUMBER or download ID and --meaning performed|reviewed|approved");
    const std::optional<audit::Meaning> meaning = audit::ParseMeaning(o.words[3]);
    if (!meaning) return Usage("--meaning takes performed, reviewed or approved (not " + o.words[3] + ")");
    if (!OpenFor(a, o, archive::OpenMode::ReadWrite)) return 1;
    archive::SignedKind kind{};
    std::int64_t id = 0;
    if (!Subject(a, o.words, kind, id, error)) return Failed(a, error);
    std::string password;
    if (!ReadPassword("Signing password: ", password)) return Usage("no signing password given");
    archive::Signature signature;
    if (!a.Sign(kind, id, *meaning, password, signature, error)) return Failed(a, error);
    return Print(SignatureLine(signature)) ? 0 : 1;
}

int RunSignatures(const Options& o) {
    if (OnServer(o)) return ServerLacks("signatures");
    archive::Archive a;
    std::string error;
    if (o.words.size() != 2) return Usage("signatures needs certificate NUMBER or download ID");
    if (!OpenFor(a, o, archive::OpenMode::ReadOnly)) return 1;
    archive::SignedKind kind{};
    std::int64_t id = 0;
    if (!Subject(a, o.words, kind, id, error)) return Failed(a, error);
    std::vector<archive::Signature> signatures;
    if (!a.Signatures(kind, id, signatures, error)) return Failed(a, error);
    std::string text = signatures.empty() ? "No signatures.\n" : "";
    bool allValid = true;
    for (const archive::Signature& s : signatures) {
        text += SignatureLine(s);
        allValid = allValid && (s.Valid() || s.voided);
    }
    if (!Print(text)) return 1;
    return allValid ? 0 : 3;
}

int RunAudit(const Options& o) {
    std::string error;
    const auto store = OpenArchiveStore(o, archive::OpenMode::ReadOnly, error);
    if (!store) {
        std::cerr << "oront-v208-cli: archive: " << error << "\n";
        return 1;
    }
    archive::ArchiveStore& a = *store;
    if (o.words.size() == 1 && o.words[0] == "verify") {
        archive::AuditVerification check;
        if (!a.VerifyAudit(check, error)) return Failed(a, error);
        std::string text = "Audit trail: " + std::to_string(check.entries) + " entries";
        text += check.head.empty() ? "\n" : ", last entry's hash " + check.head + "\n";
        if (check.firstBroken != 0) text += "First broken link: " + check.broken + "\n";
        for (const std::string& f : check.findings) text += "Changed: " + f + "\n";
        if (check.moreFindings > 0) text += "... and " + std::to_string(check.moreFindings) + " more\n";
        text += check.Sound() ? "The trail and everything it binds are as recorded.\n"
                              : "The archive was changed outside the program.\n";
        if (!Print(text)) return 1;
        // The run itself is an event of the trail, where the archive can be written.
        if (const auto writer = OpenArchiveStore(o, archive::OpenMode::ReadWrite, error))
            writer->RecordEvent(audit::Action::Download, "verification run",
                                json{{"check", "audit trail"},
                                     {"sound", check.Sound()},
                                     {"entries", check.entries},
                                     {"first_broken", check.firstBroken},
                                     {"findings", check.findings.size() + static_cast<std::size_t>(check.moreFindings)}}
                                    .dump(),
                                error);
        return check.Sound() ? 0 : 3;
    }
    archive::AuditFilter filter;
    std::string format = "text";
    // audit export FILE.pdf [filters]: the report for an inspector.
    std::string report;
    std::size_t first = 0;
    if (!o.words.empty() && o.words[0] == "export") {
        if (o.words.size() < 2 || o.words[1].empty() || o.words[1][0] == '-')
            return Usage("audit export needs FILE.pdf");
        report = o.words[1];
        first = 2;
    }
    std::string filters = "Entries";
    for (std::size_t k = first; k < o.words.size(); k += 2) {
        const std::string& option = o.words[k];
        if (k + 1 >= o.words.size() || o.words[k + 1].empty()) return Usage(option + " needs a value");
        const std::string& value = o.words[k + 1];
        if (option == "--from" || option == "--to") {
            // The dates are UTC, as the trail keeps its times.
            if (value.size() != 10 || value[4] != '-' || value[7] != '-') return Usage(option + " takes YYYY-MM-DD");
            std::tm tm{};
            tm.tm_year = std::atoi(value.substr(0, 4).c_str()) - 1900;
            tm.tm_mon = std::atoi(value.substr(5, 2).c_str()) - 1;
            tm.tm_mday = std::atoi(value.substr(8, 2).c_str());
            const std::int64_t days = [&] {
                const int y = tm.tm_year + 1900 - (tm.tm_mon < 2 ? 1 : 0);
                const int m = (tm.tm_mon + 9) % 12;
                return 365LL * y + y / 4 - y / 100 + y / 400 + (153 * m + 2) / 5 + tm.tm_mday - 719469;
            }();
            if (tm.tm_mon < 0 || tm.tm_mon > 11 || tm.tm_mday < 1 || tm.tm_mday > 31)
                return Usage(option + " takes YYYY-MM-DD (not " + value + ")");
            (option == "--from" ? filter.from : filter.to) = days * 86400 + (option == "--to" ? 86399 : 0);
        } else if (option == "--user") {
            filter.user = value;
        } else if (option == "--event") {
            filter.event = value;
        } else if (option == "--format" && !report.empty()) {
            return Usage("audit export writes PDF: --format does not apply");
        } else if (option == "--format") {
            if (value != "text" && value != "csv" && value != "json")
                return Usage("--format takes text, csv or json (not " + value + ")");
            format = value;
        } else {
            return Usage("unknown audit option " + option);
        }
    }
    for (std::size_t k = first; k + 1 < o.words.size(); k += 2) filters += " " + o.words[k] + " " + o.words[k + 1];
    std::vector<audit::Entry> entries;
    if (!a.AuditTrail(filter, entries, error)) return Failed(a, error);
    if (!report.empty()) {
        archive::AuditVerification check;
        if (!a.VerifyAudit(check, error) || !DrawAuditReport(entries, check, a.Where(), filters, report, error)) {
            std::cerr << "oront-v208-cli: cannot write the audit trail's report: " << error << "\n";
            return 1;
        }
        std::cerr << "Saved the audit trail (" << entries.size() << (entries.size() == 1 ? " entry" : " entries")
                  << ") to " << report << "\n";
        return 0;
    }
    std::string text;
    if (format == "json") {
        json list = json::array();
        for (const audit::Entry& e : entries) {
            json data = json::parse(e.data, nullptr, false);
            list.push_back({{"seq", e.seq},
                            {"time", e.time},
                            {"local_time", audit::LocalTimeText(e)},
                            {"user", e.user},
                            {"version", e.version},
                            {"event", e.event},
                            {"data", data.is_discarded() ? json(e.data) : data},
                            {"reason", e.reason},
                            {"hash", e.hash}});
        }
        text = list.dump(2) + "\n";
    } else if (format == "csv") {
        text = "Entry,Time (UTC),Local time,User,Version,Event,Reason,Data,Hash\r\n";
        for (const audit::Entry& e : entries) {
            char utc[64];
            const auto t = static_cast<std::time_t>(e.time);
            const std::tm tm = UtcTime(t);
            std::snprintf(utc, sizeof utc, "%04d-%02d-%02d %02d:%02d:%02d", tm.tm_year + 1900, tm.tm_mon + 1,
                          tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
            text += std::to_string(e.seq) + "," + utc + "," + audit::LocalTimeText(e) + "," + CsvField(e.user) + "," +
                    CsvField(e.version) + "," + CsvField(e.event) + "," + CsvField(e.reason) + "," + CsvField(e.data) +
                    "," + e.hash + "\r\n";
        }
    } else {
        for (const audit::Entry& e : entries) {
            text += std::to_string(e.seq) + "  " + audit::LocalTimeText(e) + "  " + e.user + "  " + e.event;
            if (!e.reason.empty()) text += "  (reason: " + e.reason + ")";
            text += "\n    " + (e.data.size() > 400 ? e.data.substr(0, 400) + "..." : e.data) + "\n";
        }
        if (entries.empty()) text = "No entries.\n";
    }
    return Print(text) ? 0 : 1;
}

#else
int RunUsers(const Options&) {
    std::cerr << "oront-v208-cli: this build has no download archive\n";
    return 1;
}
int RunPassword(const Options& o) {
    return RunUsers(o);
}
int RunSign(const Options& o) {
    return RunUsers(o);
}
int RunSignatures(const Options& o) {
    return RunUsers(o);
}
int RunAudit(const Options& o) {
    return RunUsers(o);
}
int RunArchiveSetup(const Options& o) {
    return RunUsers(o);
}
int AuditAllowed(const Options&, Audited) {
    return 0;
}
void AuditEvent(const Options&, Audited, const std::string&, const std::string&) {}
#endif

}  // namespace oront::cli
