#include "audit/Audit.h"

#include <sodium.h>

#include <array>
#include <cstdio>
#include <ctime>

#include "base/LocalTime.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <pwd.h>
#include <unistd.h>
#endif

namespace oront::audit {
namespace {

struct ActionInfo {
    const char* text;
    Role least;
};
constexpr ActionInfo kActions[] = {
    {"download", Role::Operator},
    {"save records", Role::Operator},
    {"erase the instrument", Role::Operator},
    {"classify", Role::Operator},
    {"issue a certificate", Role::Operator},
    {"sign as performed by", Role::Operator},
    {"sign a review", Role::Reviewer},
    {"sign an approval", Role::Reviewer},
    {"change the site register", Role::Administrator},
    {"change users and roles", Role::Administrator},
};

bool SodiumReady() {
    static const bool ready = sodium_init() >= 0;
    return ready;
}

void AppendField(std::string& out, std::string_view field) {
    out += std::to_string(field.size());
    out += ':';
    out += field;
    out += ';';
}

}  // namespace

const char* RoleName(Role role) {
    switch (role) {
        case Role::Operator:
            return "operator";
        case Role::Reviewer:
            return "reviewer";
        case Role::Administrator:
            return "administrator";
    }
    return "operator";
}

std::optional<Role> ParseRole(std::string_view text) {
    for (Role role : {Role::Operator, Role::Reviewer, Role::Administrator})
        if (text == RoleName(role)) return role;
    return std::nullopt;
}

const char* ActionText(Action action) {
    return kActions[static_cast<int>(action)].text;
}

Role LeastRole(Action action) {
    return kActions[static_cast<int>(action)].least;
}

std::string RefusalText(const std::string& user, Role role, Action action) {
    const std::string least = RoleName(LeastRole(action));
    const std::string has = RoleName(role);
    return std::string("refused: to ") + ActionText(action) + " needs the " + least + " role, and " + user + " is " +
           (has == "operator" || has == "administrator" ? "an " : "a ") + has;
}

Identity CurrentIdentity() {
    Identity id;
#ifdef _WIN32
    wchar_t name[257];
    DWORD size = 257;
    if (GetUserNameW(name, &size) && size > 0) {
        const int bytes = WideCharToMultiByte(CP_UTF8, 0, name, -1, nullptr, 0, nullptr, nullptr);
        if (bytes > 1) {
            id.user.resize(static_cast<std::size_t>(bytes));
            WideCharToMultiByte(CP_UTF8, 0, name, -1, id.user.data(), bytes, nullptr, nullptr);
            id.user.resize(static_cast<std::size_t>(bytes - 1));
        }
    }
#else
    if (const passwd* pw = getpwuid(geteuid()); pw != nullptr) {
        id.user = pw->pw_name != nullptr ? pw->pw_name : "";
        // The full name is the first field of the account's comment.
        const std::string gecos = pw->pw_gecos != nullptr ? pw->pw_gecos : "";
        id.fullName = gecos.substr(0, gecos.find(','));
    }
    if (id.user.empty()) id.user = "uid " + std::to_string(geteuid());
#endif
    if (id.user.empty()) id.user = "unknown";
    if (id.fullName.empty()) id.fullName = id.user;
    return id;
}

const char* MeaningName(Meaning meaning) {
    switch (meaning) {
        case Meaning::Performed:
            return "performed";
        case Meaning::Reviewed:
            return "reviewed";
        case Meaning::Approved:
            return "approved";
    }
    return "performed";
}

const char* MeaningCaption(Meaning meaning) {
    switch (meaning) {
        case Meaning::Performed:
            return "performed by";
        case Meaning::Reviewed:
            return "reviewed by";
        case Meaning::Approved:
            return "approved by";
    }
    return "performed by";
}

std::optional<Meaning> ParseMeaning(std::string_view text) {
    for (Meaning m : {Meaning::Performed, Meaning::Reviewed, Meaning::Approved})
        if (text == MeaningName(m)) return m;
    return std::nullopt;
}

Action SigningAction(Meaning meaning) {
    switch (meaning) {
        case Meaning::Performed:
            return Action::SignPerformed;
        case Meaning::Reviewed:
            return Action::SignReview;
        case Meaning::Approved:
            return Action::SignApproval;
    }
    return Action::SignApproval;
}

std::string EntryHash(const Entry& e) {
    std::string text = "oront-v208 audit 1;";
    AppendField(text, std::to_string(e.seq));
    AppendField(text, std::to_string(e.time));
    AppendField(text, std::to_string(e.utcOffsetMinutes));
    AppendField(text, e.user);
    AppendField(text, e.version);
    AppendField(text, e.event);
    AppendField(text, e.data);
    AppendField(text, e.reason);
    AppendField(text, e.previous);
    return Sha256Hex(text);
}

Entry NextEntry(std::int64_t previousSeq, const std::string& previousHash, const std::string& user,
                const std::string& version, const std::string& event, const std::string& data,
                const std::string& reason) {
    Entry e;
    e.seq = previousSeq + 1;
    e.previous = previousSeq > 0 ? previousHash : std::string(kNoPrevious);
    e.time = static_cast<std::int64_t>(std::time(nullptr));
    e.utcOffsetMinutes = LocalOffsetMinutes(e.time);
    e.user = user;
    e.version = version;
    e.event = event;
    e.data = data;
    e.reason = reason;
    e.hash = EntryHash(e);
    return e;
}

int LocalOffsetMinutes(std::int64_t time) {
    const auto t = static_cast<std::time_t>(time);
    const std::tm local = LocalTime(t);
    const std::tm utc = UtcTime(t);
    // The difference of the two calendar readings of one moment.
    const auto days = [](const std::tm& tm) {
        const int y = tm.tm_year + 1900 - (tm.tm_mon < 2 ? 1 : 0);
        const int m = (tm.tm_mon + 9) % 12;
        return 365LL * y + y / 4 - y / 100 + y / 400 + (153 * m + 2) / 5 + tm.tm_mday;
    };
    const long long minutes =
        ((days(local) - days(utc)) * 24 + (local.tm_hour - utc.tm_hour)) * 60 + (local.tm_min - utc.tm_min);
    return static_cast<int>(minutes);
}

std::string LocalTimeText(const Entry& entry) {
    const auto shifted = static_cast<std::time_t>(entry.time + 60LL * entry.utcOffsetMinutes);
    const std::tm tm = UtcTime(shifted);
    const int offset = entry.utcOffsetMinutes;
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d %c%02d:%02d", tm.tm_year + 1900, tm.tm_mon + 1,
                  tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, offset < 0 ? '-' : '+',
                  (offset < 0 ? -offset : offset) / 60, (offset < 0 ? -offset : offset) % 60);
    return text;
}

std::string Hex(const std::uint8_t* bytes, std::size_t size) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(2 * size);
    for (std::size_t i = 0; i < size; ++i) {
        hex += kHex[bytes[i] >> 4];
        hex += kHex[bytes[i] & 15];
    }
    return hex;
}

std::string Sha256Hex(std::string_view bytes) {
    std::array<unsigned char, crypto_hash_sha256_BYTES> hash{};
    crypto_hash_sha256(hash.data(), reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    return Hex(hash.data(), hash.size());
}

static_assert(sizeof(crypto_hash_sha256_state) <= 256, "RecordsDigest keeps the hash state in place");

RecordsDigest::RecordsDigest() {
    crypto_hash_sha256_init(reinterpret_cast<crypto_hash_sha256_state*>(m_state));
}

void RecordsDigest::Add(std::int64_t id, const std::uint8_t* frameSha256) {
    std::uint8_t bytes[8];
    for (int i = 0; i < 8; ++i) bytes[i] = static_cast<std::uint8_t>(static_cast<std::uint64_t>(id) >> (8 * i));
    auto* state = reinterpret_cast<crypto_hash_sha256_state*>(m_state);
    crypto_hash_sha256_update(state, bytes, sizeof bytes);
    crypto_hash_sha256_update(state, frameSha256, crypto_hash_sha256_BYTES);
}

std::string RecordsDigest::Hex() {
    std::uint8_t out[crypto_hash_sha256_BYTES];
    crypto_hash_sha256_final(reinterpret_cast<crypto_hash_sha256_state*>(m_state), out);
    return audit::Hex(out, sizeof out);
}

std::string HashPassword(const std::string& password) {
    if (!SodiumReady()) return {};
    char stored[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(stored, password.data(), password.size(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                          crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0)
        return {};
    return stored;
}

bool PasswordMatches(const std::string& stored, const std::string& password) {
    if (!SodiumReady() || stored.empty()) return false;
    return crypto_pwhash_str_verify(stored.c_str(), password.data(), password.size()) == 0;
}

std::optional<std::string> PasswordProblem(const std::string& password) {
    if (password.size() < 8) return std::string("a signing password needs at least 8 characters");
    return std::nullopt;
}

}  // namespace oront::audit
