// The certificate of a room written as PDF and read back with pdftotext:
// every item of a test report in its text, whatever the locale.
#include <gtest/gtest.h>

#include <QProcess>
#include <QString>

#include "classify/CertificateLayout.h"
#include "classify/Rooms.h"
#include "classify/qt/CertificatePrinter.h"
#include "support/RecordBuilders.h"
#include "support/StoreBuilders.h"
#include "support/TestEnvironment.h"

namespace oront::classify {
namespace {

TEST(CertificatePdf, ARoomCertificateHoldsEveryItemOfTheReport) {
    // A run of three points of two one-minute cycles, each point at an
    // instrument location of its own, all three in room R1.
    std::vector<RawRecord> records;
    test::AppendRun(records, 3, 2, 1000);
    for (RawRecord& r : records) r.location = static_cast<std::uint8_t>(10 + r.point);
    const RecordStore store = test::DownloadedStore(records);
    RoomFinder finder;
    finder.room = [](int location, int) -> std::optional<RoomOfRun> {
        if (location < 11 || location > 13) return std::nullopt;
        Settings s;
        s.target = {70, 0, Occupancy::Operational, true};
        s.sizes = {5, 50};
        s.areaM2 = 12.5;
        return RoomOfRun{"R1", "Filling room 2", s};
    };
    finder.place = [](int location, int) {
        const SamplingPlace places[] = {
            {"Door", 1.5, 2.0, true}, {"Bench", 4.0, 0.5, true}, {"Hatch", 2.25, 3.0, true}};
        return places[location - 11];
    };
    const RoomClassification rooms = ClassifyRooms(store, RoomRequest{}, finder);
    ASSERT_EQ(rooms.sections.size(), 1u) << rooms.error;

    CertificateData data;
    data.organisation = "Clean Air Testing Ltd";
    data.address = "4 Mill Lane, Cambridge CB1 2AB";
    data.client = "Example Pharma GmbH";
    data.reportNumber = "CR-2015-031";
    data.testDate = TestDates(rooms);
    data.issueDate = "2015-03-09";
    data.operatorName = "J. Smith";
    data.program = "Oront V208 Software 2.61.0";
    data.dataSha256 = "9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08";
    data.instrument = {"V208", 2150042, true, "2014-09-01", "2015-09-01", "CAL-14-0917", 2.8316847};
    const Certificate certificate(rooms, data, CertificatePaper::A4);

    std::string bytes, error;
    ASSERT_TRUE(RenderCertificatePdf(certificate, bytes, error)) << error;
    EXPECT_TRUE(bytes.starts_with("%PDF-"));
    const std::string pdf = (test::FreshTestFolder("certificate-pdf") / "room.pdf").string();
    ASSERT_TRUE(WriteCertificatePdf(certificate, pdf, error)) << error;
    EXPECT_EQ(test::ReadFileBytes(pdf).size(), bytes.size());

#ifdef _WIN32
    GTEST_SKIP() << "pdftotext is a tool of the Linux host: the certificate's text is read in the Linux suite";
#endif
    // No pdftotext fails the test: it is part of the tools the tests need.
    QProcess pdftotext;
    pdftotext.start("pdftotext", {"-layout", QString::fromStdString(pdf), "-"});
    ASSERT_TRUE(pdftotext.waitForStarted(10000)) << "pdftotext (poppler-utils) cannot be run";
    ASSERT_TRUE(pdftotext.waitForFinished(60000));
    ASSERT_EQ(pdftotext.exitCode(), 0) << pdftotext.readAllStandardError().toStdString();
    // One space for any run of spaces and line breaks: wrapped lines and
    // table cells read on.
    const std::string text = QString::fromUtf8(pdftotext.readAllStandardOutput()).simplified().toStdString();
    const std::string pages = " of " + std::to_string(certificate.PageCount());
    for (const std::string& item : std::vector<std::string>{
             "Cleanroom Classification Certificate", "Testing organisation: Clean Air Testing Ltd",
             "Address: 4 Mill Lane, Cambridge CB1 2AB", "Client: Example Pharma GmbH", "Report number: CR-2015-031",
             "Date of test: 2015-03-07", "Date of issue: 2015-03-09", "Operator: J. Smith",
             "Program: Oront V208 Software 2.61.0",
             "Data SHA-256: 9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08",
             "Instrument: V208, serial number 2150042",
             "Calibration: calibrated on 2014-09-01, due 2015-09-01, certificate CAL-14-0917",
             // The summary and the room.
             "1 R1 Filling room 2 011 0001 to 0006 not-valid", "Overall verdict: not-valid",
             "Room R1 (Filling room 2), in operation",
             "Designation: ISO Class 7; in operation; considered sizes 0.5 µm, 5 µm", "Standard: ISO 14644-1:2015",
             "Occupancy state: in operation", "Flow rate: 2.83 L/min", "Sample time: 60 s per sample",
             "Sample volume: 2.83 L per sample", "Minimum sample volume Vs: 6.83 L per sample (ISO 14644-1:2015 A.4.4)",
             "Room area: 12.5 m²", "Required number of locations: 6 (ISO 14644-1:2015 A.4.1, Table A.1)",
             "1 1 Door x 1.50 m, y 2.00 m", "1 2 Bench x 4.00 m, y 0.50 m", "1 3 Hatch x 2.25 m, y 3.00 m",
             "Plan to scale",
             // The run's results.
             "Run 1, location 011", "Records 0001 to 0006", "Location Samples >= 0.5 µm /m³ >= 5 µm /m³",
             "Point 2 (Bench) 2 1765.7 353.1", "Limit 352000 2930", "Verdict pass pass", "Run verdict: not-valid",
             "Achieved class:", "Deviation: sample volume (ISO 14644-1:2015 A.4.4): sample volume below the minimum",
             "Deviation: number of locations (ISO 14644-1:2015 A.4.1, Table A.1): 3 locations",
             // The appendix, the lines to sign, the pages.
             "Appendix: every sample", "3 (Hatch) 0006 60 2.83 5 1766 1 353", "Performed by:", "Reviewed by:",
             "Page 1" + pages, "Page " + std::to_string(certificate.PageCount()) + pages})
        EXPECT_NE(text.find(item), std::string::npos) << item;
}

}  // namespace
}  // namespace oront::classify
