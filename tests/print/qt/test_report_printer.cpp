// The report printed without a window (the command-line tool's report): a
// 600-dpi A4 landscape PDF, page ranges, and failures that leave no file.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <filesystem>
#include <sstream>

#include "PrintTestSupport.h"
#include "print/qt/ReportPrinter.h"
#include "support/gtest/SkipOrFail.h"

namespace oront {
namespace {

class ReportPrinterTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = test::TestOutputDir() + "/report_printer";
        QDir(dir).removeRecursively();
        QDir().mkpath(dir);
        store = test::NumberedReport(49);
    }
    bool Print(const QString& file, int first, int last, std::string& error) {
        ReportPrintOptions options;
        options.outPdf = file.toStdString();
        options.firstPage = first;
        options.lastPage = last;
        return PrintReportToDevice(store, options, error);
    }
    bool HavePoppler() {
        int rc = 0;
        test::RunAndRead("pdfinfo", {"-v"}, &rc);
        return rc == 0;
    }

    QString dir;
    LineReport store;
};

TEST_F(ReportPrinterTest, WholeReportOnA4Landscape) {
    const QString pdf = dir + "/all.pdf";
    std::string error;
    ASSERT_TRUE(Print(pdf, 0, 0, error)) << error;
    EXPECT_TRUE(error.empty());
    ASSERT_TRUE(QFileInfo::exists(pdf));
    EXPECT_FALSE(QFileInfo::exists(pdf + ".part"));
    if (!HavePoppler()) ORONT_SKIP_OR_FAIL("poppler-utils missing; the PDF was written");

    const std::string info = test::RunAndRead("pdfinfo", {pdf});
    EXPECT_EQ(test::PdfPageCount(info), 3);
    EXPECT_NE(info.find("842 x 595 pts (A4)"), std::string::npos) << info;
    EXPECT_NE(info.find("Measurement Result"), std::string::npos);  // document name
    const std::string text = test::RunAndRead("pdftotext", {"-layout", pdf, "-"});
    for (const char* s : {"Measurement Result", "Model:V208 S/N:0000042", "Reocrd", " Samp Time", "Page 1 of 3",
                          "Page 3 of 3", "R1C0", "R49C15", "Print Date:"})
        EXPECT_NE(text.find(s), std::string::npos) << s;

    // Positions at 600 dpi on the full page: the first cell's rectangle
    // spans 395..782 dots, so its text is centred at 588.5 dots = 70.6 pt.
    const std::string bbox = test::RunAndRead("pdftotext", {"-bbox", "-f", "1", "-l", "1", pdf, "-"});
    const auto at = bbox.find(">R1C0<");
    ASSERT_NE(at, std::string::npos);
    const auto tag = bbox.rfind("<word", at);
    std::istringstream word(bbox.substr(tag, at - tag));
    std::string token;
    double xMin = 0;
    double xMax = 0;
    while (word >> token) {
        if (token.rfind("xMin=", 0) == 0) xMin = CAtof(token.substr(6));
        if (token.rfind("xMax=", 0) == 0) xMax = CAtof(token.substr(6));
    }
    EXPECT_NEAR((xMin + xMax) / 2, 588.5 * 72 / 600, 1.5) << bbox.substr(tag, at - tag);
}

TEST_F(ReportPrinterTest, PageRanges) {
    std::string error;
    const QString two = dir + "/two.pdf";
    ASSERT_TRUE(Print(two, 2, 2, error)) << error;
    const QString clamped = dir + "/clamped.pdf";
    ASSERT_TRUE(Print(clamped, 2, 9, error)) << error;  // page 9 means the last page
    if (!HavePoppler()) ORONT_SKIP_OR_FAIL("poppler-utils missing");
    EXPECT_EQ(test::PdfPageCount(test::RunAndRead("pdfinfo", {two})), 1);
    const std::string text = test::RunAndRead("pdftotext", {"-layout", two, "-"});
    EXPECT_NE(text.find("Page 2 of 3"), std::string::npos);
    EXPECT_NE(text.find("R25C0"), std::string::npos);
    EXPECT_NE(text.find("R48C15"), std::string::npos);
    EXPECT_EQ(text.find("R24C0"), std::string::npos);
    EXPECT_EQ(text.find("R49C0"), std::string::npos);
    EXPECT_EQ(test::PdfPageCount(test::RunAndRead("pdfinfo", {clamped})), 2);

    // A name that is not UTF-8 is the bytes it is.
    ReportPrintOptions options;
    options.outPdf = dir.toStdString() + "/r\xE9sum\xE9.pdf";
    options.firstPage = options.lastPage = 1;
    ASSERT_TRUE(PrintReportToDevice(store, options, error)) << error;
    EXPECT_TRUE(std::filesystem::is_regular_file(options.outPdf));
}

TEST_F(ReportPrinterTest, FailuresLeaveNoFile) {
    std::string error;
    const QString pdf = dir + "/bad.pdf";
    EXPECT_FALSE(Print(pdf, 3, 2, error));
    EXPECT_EQ(error, "The startpage number should not be greater than the endpage number.");
    EXPECT_FALSE(QFileInfo::exists(pdf));

    EXPECT_FALSE(Print(dir + "/no-such-folder/x.pdf", 1, 1, error));
    EXPECT_EQ(error, "Failed to connect the Print! (No such file or directory: " + dir.toStdString() +
                         "/no-such-folder/x.pdf)");
    EXPECT_TRUE(QDir(dir).entryList(QDir::Files).isEmpty());

    // An existing file stays as it was when the run fails.
    {
        QFile keep(pdf);
        ASSERT_TRUE(keep.open(QIODevice::WriteOnly));
        keep.write("old");
    }
    EXPECT_FALSE(Print(pdf, 2, 1, error));
    QFile kept(pdf);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), "old");

    LineReport empty;
    ReportPrintOptions options;
    options.outPdf = (dir + "/empty.pdf").toStdString();
    EXPECT_FALSE(PrintReportToDevice(empty, options, error));
    EXPECT_EQ(error, "No data!");
    EXPECT_FALSE(QFileInfo::exists(dir + "/empty.pdf"));

    options.printerName = "NoSuchQueue-oront";
    EXPECT_FALSE(PrintReportToDevice(store, options, error));
    EXPECT_EQ(error, "Failed to initiate the printer!");
}

}  // namespace
}  // namespace oront
