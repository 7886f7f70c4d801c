// The audit trail's verification, the same for every store: a store reads
// its trail, the records' hashes, its downloads, certificates and
// signatures as of one moment and hands them over here in order; the check
// recomputes the chain and compares every bound content with its entry.
#pragma once

#include <cstdint>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <string>

#include "archive/Archive.h"
#include "audit/Audit.h"

namespace oront::archive {

class TrailCheck {
public:
    explicit TrailCheck(AuditVerification& result) : m_result(result) { m_result = AuditVerification{}; }

    // 1. Every entry of the trail, in the order of seq.
    void Entry(const audit::Entry& e);
    // 2. Every record hash the trail binds, in the order of entry and
    // record; `frame` null when the record is missing. Then each record
    // that no entry binds.
    void BoundRecord(std::int64_t entry, std::int64_t record, const std::uint8_t* hash, std::size_t hashSize,
                     const std::uint8_t* frame, std::size_t frameSize);
    void UnboundRecord(std::int64_t record);
    // 3. Every download with the SHA-256 of its image as it replays now
    // (empty when it cannot be assembled).
    void Download(std::int64_t id, const std::string& imageSha256);
    // 4. Every completed certificate, and every signature.
    void Certificate(std::int64_t id, const std::string& number, const std::string& data,
                     const std::string& fileSha256);
    void Signature(std::int64_t id, const std::string& kind, std::int64_t subject, const std::string& meaning,
                   const std::string& user, const std::string& signedSha256, bool voided);
    // What the store could not read.
    void Unreadable(const std::string& what, const std::string& cause);
    // 5. What is bound but no longer there.
    void Finish();

private:
    void Found(std::string finding);

    AuditVerification& m_result;
    std::int64_t m_expected = 1;
    std::string m_previous{audit::kNoPrevious};
    std::map<std::int64_t, std::pair<std::int64_t, std::string>> m_downloads;        // id -> entry, image hash
    std::map<std::int64_t, std::pair<std::int64_t, nlohmann::json>> m_certificates;  // id -> entry, data
    std::map<std::int64_t, std::pair<std::int64_t, nlohmann::json>> m_signatures;    // id -> entry, data
    std::map<std::int64_t, std::string> m_recordDigests;                             // entry -> digest
    std::map<std::int64_t, audit::RecordsDigest> m_digests;
    std::set<std::int64_t> m_presentDownloads;
    std::set<std::int64_t> m_presentSignatures;
};

}  // namespace oront::archive
