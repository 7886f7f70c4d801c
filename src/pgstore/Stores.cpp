#include "pgstore/Stores.h"

#include <cstdlib>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>

#include "pgstore/PgArchive.h"

namespace oront::archive {
namespace {

using nlohmann::json;

// A file name's safe form of a user name.
std::string FileSafe(const std::string& text) {
    std::string safe;
    for (const char c : text)
        safe += (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ? c : '_';
    return safe.empty() ? "_" : safe;
}

// The key of download `d` of the spool: the same whenever it is sent.
std::string SpoolKey(const std::string& spool, const Download& d, const std::vector<std::uint8_t>& image) {
    return "spool-" + Sha256Hex(spool + "\n" + std::to_string(d.id) + "\n" + std::to_string(d.time) + "\n" +
                                Sha256Hex(std::string_view(reinterpret_cast<const char*>(image.data()), image.size())))
                          .substr(0, 32);
}

bool Exists(const std::string& path) {
    std::error_code ignored;
    return !path.empty() && std::filesystem::exists(std::filesystem::path(path), ignored);
}

// What the actor's role must allow for an event sent from the spool.
audit::Action ActionOfEvent(const std::string& event) {
    if (event == "records saved" || event == "memory image saved") return audit::Action::Save;
    if (event == "instrument erased") return audit::Action::Erase;
    if (event == "classification run") return audit::Action::Classify;
    return audit::Action::Download;
}

}  // namespace

bool IsServerLocation(const std::string& location) {
    return location.rfind("postgresql://", 0) == 0 || location.rfind("postgres://", 0) == 0;
}

bool HoldsPassword(const std::string& location, std::string& why) {
    if (!IsServerLocation(location) || !PgArchive::HasPassword(location)) return false;
    why =
        "the archive's location holds a password; it is never given there: libpq takes it from the password file "
        "(~/.pgpass, or %APPDATA%\\postgresql\\pgpass.conf) or a service file";
    return true;
}

std::string SpoolPath(const std::string& location, const std::string& user) {
    const std::string folder = DataFolder();
    if (folder.empty()) return {};
    return folder + "/spool/" + Sha256Hex(location).substr(0, 16) + "-" + FileSafe(user) + ".sqlite";
}

std::string SpoolSent::Text(const std::string& where) const {
    const int all = downloads + known;
    if (all + events == 0) return {};
    std::string text = "Sent ";
    if (all > 0) text += std::to_string(all) + (all == 1 ? " spooled download" : " spooled downloads");
    if (all > 0 && events > 0) text += " and ";
    if (events > 0) text += std::to_string(events) + (events == 1 ? " spooled event" : " spooled events");
    text += " to the archive's server (" + where + ")";
    if (known > 0) text += "; " + std::to_string(known) + " of the downloads it had already";
    return text;
}

bool SendSpool(PgArchive& server, const std::string& spool, SpoolSent& sent, std::string& error) {
    sent = SpoolSent{};
    if (!Exists(spool)) return true;
    Archive local;
    std::vector<Download> downloads;
    std::vector<audit::Entry> entries;
    if (!local.Open(spool, OpenMode::ReadOnly, error) || !local.Downloads(downloads, error) ||
        !local.AuditTrail({}, entries, error))
        return false;
    std::map<std::int64_t, const Download*> byId;
    for (const Download& d : downloads) byId[d.id] = &d;
    for (const audit::Entry& e : entries) {
        json data = json::parse(e.data, nullptr, false);
        if (e.event == "download archived" && data.is_object()) {
            const auto it = byId.find(data.value("download", std::int64_t{0}));
            if (it == byId.end()) continue;
            const Download& d = *it->second;
            std::vector<std::uint8_t> image;
            bool existed = false;
            if (!local.LoadImage(d.id, image, error) ||
                !server.AddKeyedDownload(image, d.time, d.warnings, SpoolKey(spool, d, image), nullptr, &existed,
                                         error))
                return false;
            ++(existed ? sent.known : sent.downloads);
        } else if (e.event != "user added" && e.event != "archive migrated") {
            // An event of the PC's own, with the time it happened.
            if (data.is_object()) data["recorded_offline_at"] = e.time;
            bool existed = false;
            const std::string key = "spool-event-" + Sha256Hex(spool + "\n" + e.hash).substr(0, 32);
            if (!server.RecordSpooledEvent(ActionOfEvent(e.event), e.event, data.is_object() ? data.dump() : e.data,
                                           e.reason, key, existed, error))
                return false;
            if (!existed) ++sent.events;
        }
    }
    // Everything is on the server: the spool goes.
    for (const std::string& file : ArchiveFiles(spool)) {
        std::error_code ignored;
        std::filesystem::remove(std::filesystem::path(file), ignored);
    }
    return true;
}

std::unique_ptr<ArchiveStore> OpenStore(const std::string& location, OpenMode mode, const audit::Identity& actor,
                                        std::string& error, std::string* notice) {
    if (!IsServerLocation(location)) {
        auto file = std::make_unique<Archive>();
        file->SetActor(actor);
        if (!file->Open(location, mode, error)) return nullptr;
        return file;
    }
    if (HoldsPassword(location, error)) return nullptr;
    auto server = std::make_unique<PgArchive>();
    server->SetActor(actor);
    if (!server->Open(location, error)) return nullptr;
    SpoolSent sent;
    const std::string spool = SpoolPath(location, actor.user);
    if (!SendSpool(*server, spool, sent, error)) {
        if (notice != nullptr) *notice = "what waits in the spool " + spool + " is not sent yet (" + error + ")";
        error.clear();
    } else if (notice != nullptr) {
        *notice = sent.Text(server->Where());
    }
    return server;
}

namespace {

// Writes with `write` into the file at `location`, or into the server's
// archive after what waits in the spool, or, when the server cannot be
// reached before or during the write, into the spool. `what` names what
// is written in the messages ("the download").
Kept ToServerOrSpool(const std::string& location, const audit::Identity& actor, const std::string& what,
                     const std::function<bool(ArchiveStore&, std::string&)>& write, std::string& message, bool* refused,
                     const std::function<void(PgArchive&)>& prepare) {
    message.clear();
    if (refused != nullptr) *refused = false;
    if (std::string why; HoldsPassword(location, why)) {
        message = why;
        return Kept::Failed;
    }
    if (!IsServerLocation(location)) {
        Archive file;
        file.SetActor(actor);
        if (file.Open(location, OpenMode::ReadWrite, message) && write(file, message)) return Kept::Archived;
        if (refused != nullptr) *refused = file.Refused();
        return Kept::Failed;
    }
    PgArchive server;
    server.SetActor(actor);
    if (prepare) prepare(server);
    std::string cause;
    const std::string spool = SpoolPath(location, actor.user);
    if (server.Open(location, cause)) {
        // What waits in the spool goes first, so that the server keeps
        // everything in the order it happened; what the server refuses of
        // it waits on, and this write is still the server's.
        SpoolSent sent;
        std::string spoolError;
        const bool spoolSent = SendSpool(server, spool, sent, spoolError);
        message = spoolSent ? sent.Text(server.Where())
                            : "what waits in the spool " + spool + " is not sent yet (" + spoolError + ")";
        if (!server.Lost() && write(server, cause)) return Kept::Archived;
        if (!server.Lost()) {
            message = cause;
            if (refused != nullptr) *refused = server.Refused();
            return Kept::Failed;
        }
        if (!spoolSent) cause = spoolError;
    } else if (!server.Lost()) {
        message = cause;
        return Kept::Failed;
    }
    if (spool.empty()) {
        message = cause + "; no folder for a local spool (HOME is not set)";
        return Kept::Failed;
    }
    Archive local;
    local.SetActor(actor);
    std::vector<Download> waiting;
    std::string error;
    if (!local.Open(spool, OpenMode::ReadWrite, error) || !write(local, error) || !local.Downloads(waiting, error)) {
        message = cause + "; " + what + " could not be kept in the local spool either: " + error;
        if (refused != nullptr) *refused = local.Refused();
        return Kept::Failed;
    }
    for (const std::string said = "cannot reach the archive's server: "; cause.rfind(said, 0) == 0;)
        cause.erase(0, said.size());
    for (std::size_t at; (at = cause.find('\n')) != std::string::npos;) cause[at] = ' ';
    while (!cause.empty() && cause.back() == ' ') cause.pop_back();
    message = "the archive's server cannot be reached (" + cause + "): " + what + " is kept in the local spool " +
              spool + " (with " + std::to_string(waiting.size()) + (waiting.size() == 1 ? " download" : " downloads") +
              ") and is sent when the server is reached again";
    return Kept::Spooled;
}

}  // namespace

Kept KeepDownload(const std::string& location, const audit::Identity& actor, const std::vector<std::uint8_t>& image,
                  std::int64_t time, const std::string& warnings, std::string& message, bool* refused,
                  const std::function<void(PgArchive&)>& prepare, Download* added) {
    Download kept;
    const Kept result = ToServerOrSpool(
        location, actor, "the download",
        [&](ArchiveStore& store, std::string& error) { return store.AddDownload(image, time, &kept, error, warnings); },
        message, refused, prepare);
    // A spooled download has no id in the archive yet.
    if (added != nullptr) *added = result == Kept::Archived ? kept : Download{};
    return result;
}

Kept KeepEvent(const std::string& location, const audit::Identity& actor, audit::Action action,
               const std::string& event, const std::string& data, const std::string& reason, std::string& message,
               bool* refused) {
    return ToServerOrSpool(
        location, actor, "the event \"" + event + "\"",
        [&](ArchiveStore& store, std::string& error) { return store.RecordEvent(action, event, data, error, reason); },
        message, refused, {});
}

}  // namespace oront::archive
