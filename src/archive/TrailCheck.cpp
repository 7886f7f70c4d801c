#include "archive/TrailCheck.h"

#include <sodium.h>

#include <algorithm>
#include <array>
#include <cstring>

namespace oront::archive {

using nlohmann::json;

namespace {
constexpr std::size_t kMostFindings = 100;
}  // namespace

void TrailCheck::Found(std::string finding) {
    if (m_result.findings.size() < kMostFindings)
        m_result.findings.push_back(std::move(finding));
    else
        ++m_result.moreFindings;
}

void TrailCheck::Unreadable(const std::string& what, const std::string& cause) {
    Found(what + " cannot be read (" + cause + ")");
}

void TrailCheck::Entry(const audit::Entry& e) {
    ++m_result.entries;
    const auto broken = [&](const std::string& why) {
        if (m_result.firstBroken != 0) return;
        m_result.firstBroken = e.seq;
        m_result.broken = why;
    };
    if (e.seq != m_expected)
        broken("entry " + std::to_string(e.seq) + " follows entry " + std::to_string(m_expected - 1) +
               (e.seq > m_expected ? ": entries between them are missing" : ": the order was changed"));
    else if (e.previous != m_previous)
        broken("entry " + std::to_string(e.seq) + " does not follow from the entry before it");
    else if (audit::EntryHash(e) != e.hash)
        broken("entry " + std::to_string(e.seq) + " was changed (its content no longer has its hash)");
    m_expected = e.seq + 1;
    m_previous = e.hash;
    m_result.head = e.hash;
    json data;
    try {
        data = json::parse(e.data);
    } catch (const json::exception&) {
        Found("entry " + std::to_string(e.seq) + ": its data cannot be read");
        return;
    }
    if (!data.is_object()) return;
    try {
        if (data.contains("records_sha256")) m_recordDigests[e.seq] = data.at("records_sha256").get<std::string>();
        if (e.event == "download archived")
            m_downloads[data.at("download").get<std::int64_t>()] = {e.seq, data.at("image_sha256").get<std::string>()};
        if (e.event == "archive migrated") {
            for (const json& d : data.at("downloads"))
                m_downloads[d.at(0).get<std::int64_t>()] = {e.seq, d.at(1).get<std::string>()};
            for (const json& c : data.at("certificates"))
                m_certificates[c.at(0).get<std::int64_t>()] = {
                    e.seq, json{{"number", c.at(1)}, {"data_sha256", c.at(2)}, {"file_sha256", c.at(3)}}};
        }
        if (e.event == "certificate issued") m_certificates[data.at("certificate").get<std::int64_t>()] = {e.seq, data};
        if (e.event == "signature") {
            json bound = data;
            bound["user"] = e.user;  // the signer is the one who made the entry
            m_signatures[data.at("signature").get<std::int64_t>()] = {e.seq, bound};
        }
        if (e.event == "signatures voided")
            for (const json& id : data.at("signatures")) m_signatures[id.get<std::int64_t>()].second["void"] = 1;
    } catch (const json::exception&) {
        Found("entry " + std::to_string(e.seq) + ": its data lacks what its event binds");
    }
}

void TrailCheck::BoundRecord(std::int64_t entry, std::int64_t record, const std::uint8_t* hash, std::size_t hashSize,
                             const std::uint8_t* frame, std::size_t frameSize) {
    if (hashSize != crypto_hash_sha256_BYTES) {
        Found("record " + std::to_string(record) + ": its hash in the audit trail is damaged");
        return;
    }
    m_digests[entry].Add(record, hash);
    if (frame == nullptr) {
        Found("record " + std::to_string(record) + " of entry " + std::to_string(entry) + " is missing");
        return;
    }
    // A record's hash is the SHA-256 of its whole 128-byte frame; an empty
    // frame (all zero bytes, kept trimmed to nothing) has no bytes to copy.
    Frame whole{};
    if (frameSize > 0) std::memcpy(whole.data(), frame, std::min(frameSize, whole.size()));
    std::array<std::uint8_t, crypto_hash_sha256_BYTES> now{};
    crypto_hash_sha256(now.data(), whole.data(), whole.size());
    if (frameSize > sizeof(Frame) || std::memcmp(now.data(), hash, now.size()) != 0)
        Found("record " + std::to_string(record) + " no longer matches entry " + std::to_string(entry));
}

void TrailCheck::UnboundRecord(std::int64_t record) {
    Found("record " + std::to_string(record) + " has no entry in the audit trail");
}

void TrailCheck::Download(std::int64_t id, const std::string& imageSha256) {
    m_presentDownloads.insert(id);
    const auto it = m_downloads.find(id);
    if (it == m_downloads.end())
        Found("download " + std::to_string(id) + " has no entry in the audit trail");
    else if (imageSha256 != it->second.second)
        Found("download " + std::to_string(id) + " no longer matches entry " + std::to_string(it->second.first));
}

void TrailCheck::Certificate(std::int64_t id, const std::string& number, const std::string& data,
                             const std::string& fileSha256) {
    const auto it = m_certificates.find(id);
    if (it == m_certificates.end()) {
        Found("certificate " + number + " has no entry in the audit trail");
        return;
    }
    const json& bound = it->second.second;
    if (bound.value("number", std::string()) != number ||
        bound.value("data_sha256", std::string()) != audit::Sha256Hex(data) ||
        bound.value("file_sha256", std::string()) != fileSha256)
        Found("certificate " + number + " no longer matches entry " + std::to_string(it->second.first));
}

void TrailCheck::Signature(std::int64_t id, const std::string& kind, std::int64_t subject, const std::string& meaning,
                           const std::string& user, const std::string& signedSha256, bool voided) {
    m_presentSignatures.insert(id);
    const auto it = m_signatures.find(id);
    if (it == m_signatures.end() || it->second.first == 0) {
        Found("signature " + std::to_string(id) + " has no entry in the audit trail");
        return;
    }
    const json& bound = it->second.second;
    if (bound.value("kind", std::string()) != kind || bound.value("subject", 0LL) != subject ||
        bound.value("meaning", std::string()) != meaning || bound.value("user", std::string()) != user ||
        bound.value("signed_sha256", std::string()) != signedSha256 || voided != bound.contains("void"))
        Found("signature " + std::to_string(id) + " no longer matches entry " + std::to_string(it->second.first));
}

void TrailCheck::Finish() {
    for (auto& [entry, digest] : m_recordDigests) {
        auto it = m_digests.find(entry);
        const std::string now = it != m_digests.end() ? it->second.Hex() : audit::RecordsDigest().Hex();
        if (now != digest) Found("the record hashes bound by entry " + std::to_string(entry) + " were changed");
    }
    for (const auto& [id, bound] : m_downloads)
        if (m_presentDownloads.count(id) == 0)
            Found("download " + std::to_string(id) + " of entry " + std::to_string(bound.first) + " is missing");
    for (const auto& [id, bound] : m_signatures)
        if (bound.first != 0 && m_presentSignatures.count(id) == 0)
            Found("signature " + std::to_string(id) + " of entry " + std::to_string(bound.first) + " is missing");
}

}  // namespace oront::archive
