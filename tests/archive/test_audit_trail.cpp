// The archive's users, audit trail and signatures: each role is allowed
// and refused what it should be; every change made behind the program's
// back with SQLite (an entry changed, deleted, inserted or reordered, a
// record, a download or a certificate changed) is found; signing needs the
// password, three wrong ones lock it, and a signature holds only for what
// was signed.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "archive/Archive.h"
#include "support/InstrumentBuilders.h"
#include "support/TestEnvironment.h"

using namespace oront;
using namespace oront::archive;

namespace {

const audit::Identity kAdmin{"ada", "Ada Admin"};
const audit::Identity kOperator{"otto", "Otto Operator"};
const audit::Identity kReviewer{"rita", "Rita Reviewer"};

std::string Fresh(const std::string& name) {
    return (test::FreshTestFolder("audit-" + name) / "archive.sqlite").string();
}

// An archive whose administrator added an operator and a reviewer, with one
// download and one issued certificate.
std::string Populated(const std::string& name) {
    const std::string path = Fresh(name);
    Archive a;
    std::string error;
    a.SetActor(kAdmin);
    EXPECT_TRUE(a.Open(path, OpenMode::ReadWrite, error)) << error;
    EXPECT_TRUE(a.AddDownload(MakeDemoImage(), 1000, nullptr, error)) << error;
    EXPECT_TRUE(a.AddUser(kOperator.user, kOperator.fullName, audit::Role::Operator, "new operator", error)) << error;
    EXPECT_TRUE(a.AddUser(kReviewer.user, kReviewer.fullName, audit::Role::Reviewer, "QA", error)) << error;
    CertificateRecord cert;
    EXPECT_TRUE(a.ReserveCertificate("", 1000, cert, error)) << error;
    EXPECT_TRUE(a.CompleteCertificate(cert.id, "room FR2: pass", "%PDF-1.4 ...", error)) << error;
    return path;
}

void Sql(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db) << ": " << sql;
    sqlite3_close(db);
}

AuditVerification Verified(const std::string& path) {
    Archive a;
    std::string error;
    AuditVerification result;
    EXPECT_TRUE(a.Open(path, OpenMode::ReadOnly, error) && a.VerifyAudit(result, error)) << error;
    return result;
}

bool Mentions(const AuditVerification& v, const std::string& text) {
    if (v.broken.find(text) != std::string::npos) return true;
    for (const std::string& f : v.findings)
        if (f.find(text) != std::string::npos) return true;
    return false;
}

}  // namespace

TEST(AuditTrail, RolesAllowAndRefuseEachAction) {
    // The roles' ladder, action by action.
    using audit::Action;
    using audit::Role;
    for (const Action action : {Action::Download, Action::Save, Action::Erase, Action::Classify,
                                Action::DraftCertificate, Action::SignPerformed})
        EXPECT_TRUE(audit::Allows(Role::Operator, action)) << audit::ActionText(action);
    for (const Action action : {Action::SignReview, Action::SignApproval}) {
        EXPECT_FALSE(audit::Allows(Role::Operator, action)) << audit::ActionText(action);
        EXPECT_TRUE(audit::Allows(Role::Reviewer, action)) << audit::ActionText(action);
    }
    for (const Action action : {Action::EditRegister, Action::EditUsers}) {
        EXPECT_FALSE(audit::Allows(Role::Reviewer, action)) << audit::ActionText(action);
        EXPECT_TRUE(audit::Allows(Role::Administrator, action)) << audit::ActionText(action);
    }

    const std::string path = Populated("roles");
    std::string error;
    Archive op;
    op.SetActor(kOperator);
    ASSERT_TRUE(op.Open(path, OpenMode::ReadWrite, error)) << error;
    EXPECT_TRUE(op.AddDownload(MakeFullDemoImage(), 2000, nullptr, error)) << error;
    EXPECT_TRUE(op.RecordEvent(Action::Erase, "instrument erased", "{}", error)) << error;
    EXPECT_FALSE(op.StoreRegister(site::Register{}, error, "tidy"));
    EXPECT_TRUE(op.Refused());
    EXPECT_NE(error.find("needs the administrator role"), std::string::npos) << error;
    EXPECT_FALSE(op.AddUser("eve", "", Role::Administrator, "", error));
    EXPECT_TRUE(op.Refused());
    EXPECT_FALSE(op.Check(Action::SignReview, error));
    EXPECT_TRUE(op.Refused());

    // Someone the administrator never added may do nothing; the last
    // administrator keeps the role.
    Archive stranger;
    stranger.SetActor({"mallory", "Mallory"});
    ASSERT_TRUE(stranger.Open(path, OpenMode::ReadWrite, error)) << error;
    EXPECT_FALSE(stranger.AddDownload(MakeDemoImage(), 3000, nullptr, error));
    EXPECT_TRUE(stranger.Refused());
    EXPECT_NE(error.find("mallory is not a user of this archive"), std::string::npos) << error;
    Archive admin;
    admin.SetActor(kAdmin);
    ASSERT_TRUE(admin.Open(path, OpenMode::ReadWrite, error)) << error;
    EXPECT_FALSE(admin.SetRole(kAdmin.user, Role::Operator, "", error));
    EXPECT_NE(error.find("last administrator"), std::string::npos) << error;
    EXPECT_TRUE(admin.SetRole(kOperator.user, Role::Reviewer, "promoted", error)) << error;
    EXPECT_TRUE(op.Check(Action::SignReview, error)) << error;

    // Every action above is in the trail, attributed; the refusals changed nothing.
    std::vector<audit::Entry> trail;
    ASSERT_TRUE(admin.AuditTrail({}, trail, error)) << error;
    std::vector<std::string> events;
    for (const audit::Entry& e : trail) events.push_back(e.user + " " + e.event);
    EXPECT_EQ(events, (std::vector<std::string>{"ada user added", "ada download archived", "ada user added",
                                                "ada user added", "ada certificate issued", "otto download archived",
                                                "otto instrument erased", "ada role changed"}));
    EXPECT_EQ(trail.back().reason, "promoted");
    EXPECT_TRUE(Verified(path).Sound());
}

TEST(AuditTrail, FindsEveryChangeMadeBehindTheProgramsBack) {
    const std::string original = Populated("chain");
    ASSERT_TRUE(Verified(original).Sound());
    const auto tampered = [&](const char* name, const std::string& sql, const std::string& expected, bool breaksChain) {
        SCOPED_TRACE(name);
        const std::string path = Fresh(std::string("chain-") + name);
        std::filesystem::copy_file(original, path);
        Sql(path, "DROP TRIGGER audit_no_update; DROP TRIGGER audit_no_delete; " + sql);
        const AuditVerification v = Verified(path);
        EXPECT_FALSE(v.Sound());
        EXPECT_EQ(v.firstBroken != 0, breaksChain) << v.broken;
        EXPECT_TRUE(Mentions(v, expected)) << v.broken << " / " << (v.findings.empty() ? "" : v.findings[0]);
    };
    tampered("changed entry", "UPDATE audit SET user = 'otto' WHERE seq = 2", "entry 2 was changed", true);
    tampered("deleted entry", "DELETE FROM audit WHERE seq = 3", "entries between them are missing", true);
    tampered("inserted entry",
             "UPDATE audit SET seq = -(seq + 1) WHERE seq >= 3; UPDATE audit SET seq = -seq WHERE seq < 0;"
             " INSERT INTO audit SELECT 3, time, utc_offset, user,"
             " version, 'user removed', data, reason, previous, hash FROM audit WHERE seq = 2",
             "entry 3 does not follow", true);
    tampered("reordered entries",
             "UPDATE audit SET seq = -seq WHERE seq IN (3, 4); UPDATE audit SET seq = 7 - (-seq) WHERE seq < 0",
             "entry 3", true);
    tampered("changed record", "UPDATE records SET frame = x'0707' || substr(frame, 3) WHERE id = 5",
             "record 5 no longer matches entry 2", false);
    tampered("changed certificate", "UPDATE certificates SET data = 'room FR2: fail'",
             "certificate V208-000001 no longer matches entry 5", false);
    tampered("record without entry",
             "INSERT INTO records SELECT 9999, serial, time, location, key, 1, frame FROM records WHERE id = 1",
             "record 9999 has no entry", false);
}

TEST(AuditTrail, SignaturesNeedThePasswordAndHoldForWhatWasSigned) {
    const std::string path = Populated("sign");
    std::string error;
    Archive rita;
    rita.SetActor(kReviewer);
    Archive otto;
    otto.SetActor(kOperator);
    Archive ada;
    ada.SetActor(kAdmin);
    for (Archive* a : {&rita, &otto, &ada}) ASSERT_TRUE(a->Open(path, OpenMode::ReadWrite, error)) << error;
    Signature s;
    EXPECT_FALSE(rita.Sign(SignedKind::Certificate, 1, audit::Meaning::Reviewed, "", s, error));
    EXPECT_NE(error.find("no signing password"), std::string::npos) << error;
    EXPECT_FALSE(rita.SetSigningPassword("", "short", error));
    ASSERT_TRUE(rita.SetSigningPassword("", "rita-signs", error)) << error;
    ASSERT_TRUE(otto.SetSigningPassword("", "otto-signs", error)) << error;

    // An operator performs, does not review; the performer does not review
    // the same certificate.
    ASSERT_TRUE(otto.Sign(SignedKind::Certificate, 1, audit::Meaning::Performed, "otto-signs", s, error)) << error;
    EXPECT_FALSE(otto.Sign(SignedKind::Certificate, 1, audit::Meaning::Reviewed, "otto-signs", s, error));
    EXPECT_TRUE(otto.Refused());
    ASSERT_TRUE(ada.SetRole(kOperator.user, audit::Role::Reviewer, "covers QA", error)) << error;
    EXPECT_FALSE(otto.Sign(SignedKind::Certificate, 1, audit::Meaning::Reviewed, "otto-signs", s, error));
    EXPECT_NE(error.find("cannot also sign it as reviewed by"), std::string::npos) << error;

    // Three wrong passwords lock signing until an administrator unlocks it.
    for (int attempt = 1; attempt <= 3; ++attempt) {
        EXPECT_FALSE(rita.Sign(SignedKind::Certificate, 1, audit::Meaning::Reviewed, "guess", s, error));
        EXPECT_TRUE(rita.Refused());
    }
    EXPECT_FALSE(rita.Sign(SignedKind::Certificate, 1, audit::Meaning::Reviewed, "rita-signs", s, error));
    EXPECT_NE(error.find("locked"), std::string::npos) << error;
    ASSERT_TRUE(ada.UnlockSigning(kReviewer.user, "confirmed with Rita", error)) << error;
    ASSERT_TRUE(rita.Sign(SignedKind::Certificate, 1, audit::Meaning::Reviewed, "rita-signs", s, error)) << error;
    EXPECT_EQ(s.fullName, "Rita Reviewer");
    ASSERT_TRUE(rita.Sign(SignedKind::Download, 1, audit::Meaning::Approved, "rita-signs", s, error)) << error;

    std::vector<Signature> signatures;
    ASSERT_TRUE(rita.Signatures(SignedKind::Certificate, 1, signatures, error)) << error;
    ASSERT_EQ(signatures.size(), 2u);
    EXPECT_TRUE(signatures[0].Valid() && signatures[1].Valid());
    EXPECT_TRUE(Verified(path).Sound());

    // Changed behind the program's back: no longer valid, and found.
    const std::string changed = Fresh("sign-changed");
    std::filesystem::copy_file(path, changed);
    Sql(changed, "UPDATE certificates SET data = 'room FR2: pass (edited)'");
    Archive reader;
    ASSERT_TRUE(reader.Open(changed, OpenMode::ReadOnly, error)) << error;
    ASSERT_TRUE(reader.Signatures(SignedKind::Certificate, 1, signatures, error)) << error;
    EXPECT_FALSE(signatures[0].Valid() || signatures[1].Valid());
    EXPECT_FALSE(Verified(changed).Sound());

    // Issued again with other data: the old signatures are void, audited.
    CertificateRecord again;
    ASSERT_TRUE(otto.ReissueCertificate("V208-000001", 3000, again, error)) << error;
    ASSERT_TRUE(otto.CompleteCertificate(again.id, "room FR2: pass, location 4 added", "%PDF-1.4 ..", error)) << error;
    ASSERT_TRUE(otto.Signatures(SignedKind::Certificate, 1, signatures, error)) << error;
    EXPECT_TRUE(signatures[0].voided && signatures[1].voided);
    std::vector<audit::Entry> voided;
    AuditFilter filter;
    filter.event = "signatures voided";
    ASSERT_TRUE(otto.AuditTrail(filter, voided, error)) << error;
    EXPECT_EQ(voided.size(), 1u);
    filter.event = "signing locked";
    ASSERT_TRUE(otto.AuditTrail(filter, voided, error)) << error;
    EXPECT_EQ(voided.size(), 1u);
    EXPECT_TRUE(Verified(path).Sound());
}
