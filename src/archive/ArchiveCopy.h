// Copying a whole archive from one store to another (an SQLite file to a
// site's server as a site grows, or back): every download, record, register
// entry, certificate, user, signature and audit entry, with their ids, so
// that the copy's audit trail is the same chain. The target must hold
// nothing; the copy is one transaction there and is verified afterwards.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "archive/Archive.h"

namespace oront::archive {

struct CopyReport {
    std::vector<std::pair<std::string, std::int64_t>> rows;  // table, rows copied
    std::int64_t auditEntries = 0;
    std::string head;  // the hash of the trail's last entry, the same in both
};

// false with the reason: the target holds something, a row is refused, or
// the copy does not verify (its counts, its audit trail, its downloads).
bool CopyArchive(ArchiveStore& from, ArchiveStore& to, CopyReport& report, std::string& error);

}  // namespace oront::archive
