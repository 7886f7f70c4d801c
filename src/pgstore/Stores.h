// Which store keeps the archive, chosen by where it is: a libpq connection
// URI (postgresql://... or postgres://...) names a site's PostgreSQL
// server, anything else an SQLite file. The user's password never appears
// here: libpq takes it from its password file or service file.
//
// Offline downloads: when the server cannot be reached, a download is kept
// in a local spool (an SQLite archive of the same layout, one per server
// and user) and sent, in order and once, by the next run that reaches the
// server; a download keeps the key it was spooled with, so that sending it
// again after a failure in the middle changes nothing.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/Archive.h"

namespace oront::archive {

class PgArchive;

bool IsServerLocation(const std::string& location);
// Whether a server's location carries a password (refused, with the reason).
bool HoldsPassword(const std::string& location, std::string& why);

// The spool of downloads for the server `location`, kept for `user`:
// $XDG_DATA_HOME/oront-v208/spool/<server>-<user>.sqlite (or under
// ~/.local/share).
std::string SpoolPath(const std::string& location, const std::string& user);

// Opens the store. A server reached sends the actor's spool first and says
// so in `notice` ("Sent 2 spooled downloads to ..."); a ReadOnly file that
// does not exist yet holds nothing.
std::unique_ptr<ArchiveStore> OpenStore(const std::string& location, OpenMode mode, const audit::Identity& actor,
                                        std::string& error, std::string* notice = nullptr);

// Sends the actor's spool to the server, in the order it was kept: each
// download, and each event of the trail (records saved, an erase) with the
// time it happened. The spool is removed once everything is there; false
// (with the spool kept) when something is refused or the server is lost.
struct SpoolSent {
    int downloads = 0;  // new to the server
    int known = 0;      // downloads it had already (sent before a failure)
    int events = 0;
    [[nodiscard]] std::string Text(const std::string& where) const;  // "Sent 2 spooled downloads to ..."; empty: none
};
bool SendSpool(PgArchive& server, const std::string& spool, SpoolSent& sent, std::string& error);

enum class Kept { Archived, Spooled, Failed };
// Records an event in the audit trail at `location` as `actor`; a server
// that cannot be reached gets it later from the spool, as a download.
Kept KeepEvent(const std::string& location, const audit::Identity& actor, audit::Action action,
               const std::string& event, const std::string& data, const std::string& reason, std::string& message,
               bool* refused = nullptr);
// Archives one download at `location` as `actor`. A server that cannot be
// reached (before or during the download's transaction) gets it later: it
// is spooled, and `message` says so and how many wait. Failed with the
// reason in `message`; `refused` when the actor's role refused it.
Kept KeepDownload(const std::string& location, const audit::Identity& actor, const std::vector<std::uint8_t>& image,
                  std::int64_t time, const std::string& warnings, std::string& message, bool* refused = nullptr,
                  const std::function<void(PgArchive&)>& prepare = {}, Download* added = nullptr);

}  // namespace oront::archive
