// The audit trail's rules, apart from where it is kept: who may do what
// (roles), who is acting (the system's account), what one entry of the trail
// holds and how it is chained to the one before it, and the signing
// passwords, kept only as salted, deliberately slow hashes.
//
// An entry's hash covers every field of the entry and the hash of the entry
// before it, so that a changed, deleted, inserted or reordered entry breaks
// the chain from there on; a download, its records and a certificate are
// bound into the chain by the SHA-256 of their contents in the entry that
// recorded them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace oront::audit {

enum class Role { Operator, Reviewer, Administrator };

// What a user may be asked to do, each allowed from one role up.
enum class Action {
    Download,          // read and archive the instrument's records
    Save,              // write records to a file
    Erase,             // erase the instrument's memory
    Classify,          // classify rooms
    DraftCertificate,  // issue a certificate for review
    SignPerformed,     // sign as the one who performed the work
    SignReview,        // sign a review
    SignApproval,      // sign an approval
    EditRegister,      // change the site register
    EditUsers,         // add users, change roles, unlock signing
};

// "operator", "reviewer", "administrator".
const char* RoleName(Role role);
std::optional<Role> ParseRole(std::string_view text);
// "download", "save records", "erase the instrument", ...
const char* ActionText(Action action);
// The least role that may do `action`.
Role LeastRole(Action action);
inline bool Allows(Role role, Action action) {
    return static_cast<int>(role) >= static_cast<int>(LeastRole(action));
}
// "erase the instrument needs the operator role; alice is a reviewer"-like
// reason why `role` may not do `action`.
std::string RefusalText(const std::string& user, Role role, Action action);

// Who is acting: the account of the system the program runs under, and the
// person's full name as the system knows it (the account's name when it
// knows none).
struct Identity {
    std::string user;
    std::string fullName;
};
Identity CurrentIdentity();

// The meanings a signature can carry.
enum class Meaning { Performed, Reviewed, Approved };
// "performed", "reviewed", "approved".
const char* MeaningName(Meaning meaning);
// "performed by", "reviewed by", "approved by".
const char* MeaningCaption(Meaning meaning);
std::optional<Meaning> ParseMeaning(std::string_view text);
Action SigningAction(Meaning meaning);

struct Entry {
    std::int64_t seq = 0;      // 1, 2, 3 ... in the order of the trail
    std::int64_t time = 0;     // UTC, seconds since the epoch
    int utcOffsetMinutes = 0;  // of the local time where it happened
    std::string user;          // the account
    std::string version;       // of the program that wrote it
    std::string event;         // "download archived", "register changed", ...
    std::string data;          // the event's data, JSON
    std::string reason;        // what the user gave as the reason, if asked
    std::string previous;      // the hash of the entry before (64 zeros for the first)
    std::string hash;          // of this entry, lowercase hex
};

// The hash that the first entry names as its previous one.
inline constexpr std::string_view kNoPrevious = "0000000000000000000000000000000000000000000000000000000000000000";

// The entry that follows `previous` (its seq and hash; seq 0 for none): now,
// by `user` of this program's `version`, hashed.
Entry NextEntry(std::int64_t previousSeq, const std::string& previousHash, const std::string& user,
                const std::string& version, const std::string& event, const std::string& data,
                const std::string& reason);

// The entry's own hash: SHA-256 over its fields (each with its length, so
// that no two different entries read alike) and its previous hash.
std::string EntryHash(const Entry& entry);

// "2026-12-09 14:03:07 +01:00": the entry's local time with its offset.
std::string LocalTimeText(const Entry& entry);
// The local offset from UTC at `time`, in minutes.
int LocalOffsetMinutes(std::int64_t time);

// The SHA-256 of the bytes, lowercase hex; bytes as lowercase hex.
std::string Sha256Hex(std::string_view bytes);
std::string Hex(const std::uint8_t* bytes, std::size_t size);

// The digest that binds a list of records into an entry: the SHA-256 of
// each record's id (8 bytes, little-endian) and its frame's SHA-256, in the
// order of the ids.
class RecordsDigest {
public:
    RecordsDigest();
    void Add(std::int64_t id, const std::uint8_t* frameSha256);
    // The digest, lowercase hex; the digest is finished by it.
    std::string Hex();

private:
    alignas(16) unsigned char m_state[256];
};

// A signing password's stored form: salted and slow (Argon2id as libsodium
// makes it); empty when the library cannot (out of memory).
std::string HashPassword(const std::string& password);
bool PasswordMatches(const std::string& stored, const std::string& password);
// What a signing password must have at least: refused with the reason.
std::optional<std::string> PasswordProblem(const std::string& password);

// Failed signing attempts that lock a user's signing.
inline constexpr int kAttemptsBeforeLock = 3;

}  // namespace oront::audit
