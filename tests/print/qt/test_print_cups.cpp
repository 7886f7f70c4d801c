// A real print run through CUPS: a cups-pdf queue receives the report from
// the preview's Print command (the printer dialog answered by the test,
// picking that queue), and the PDF it writes is read back with pdftotext.
//
// Needs cupsd, the cups-pdf driver and poppler's tools; starts its own cupsd
// when none is running and removes the queue afterwards. Skips, saying why,
// only when cupsd is not installed or cannot be started.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPrinterInfo>
#include <QProcess>
#include <QTest>
#include <memory>

#include "PrintTestSupport.h"
#include "print/qt/PrintPreViewParent.h"
#include "print/qt/ReportPrinter.h"
#include "support/gtest/SkipOrFail.h"

namespace oront {
namespace {

const QString kCupsd = QStringLiteral("/usr/sbin/cupsd");
const QString kPpd = QStringLiteral("/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd");

bool SchedulerRunning() {
    return test::RunAndRead(QStringLiteral("lpstat"), {QStringLiteral("-r")}).find("is running") != std::string::npos;
}

class CupsPrintTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        skipReason.clear();
        if (!QFileInfo::exists(kCupsd)) {
            skipReason = "cupsd is not installed (install cups, printer-driver-cups-pdf and poppler-utils)";
            return;
        }
        if (!QFileInfo::exists(kPpd)) {
            skipReason = "the cups-pdf driver is not installed (printer-driver-cups-pdf)";
            return;
        }
        if (!SchedulerRunning()) {
            QDir().mkpath(QStringLiteral("/run/cups"));
            cupsd = std::make_unique<QProcess>();
            cupsd->setProcessChannelMode(QProcess::ForwardedErrorChannel);
            cupsd->start(kCupsd, {QStringLiteral("-f")});
            QElapsedTimer t;
            t.start();
            while (!SchedulerRunning() && t.elapsed() < 10000) QTest::qWait(100);
            if (!SchedulerRunning()) {
                skipReason = "cupsd could not be started (it needs root)";
                StopCupsd();
                return;
            }
        }
        queue = QStringLiteral("OrontPdfTest%1").arg(getpid());
        int rc = 0;
        test::RunAndRead(
            QStringLiteral("lpadmin"),
            {"-p", queue, "-E", "-v", "cups-pdf:/", "-P", kPpd, "-o", "pdftops-renderer-default=pdftocairo"}, &rc);
        if (rc != 0) {
            skipReason = "lpadmin could not add the cups-pdf queue";
            StopCupsd();
        }
    }

    static void TearDownTestSuite() {
        if (!queue.isEmpty()) test::RunAndRead(QStringLiteral("lpadmin"), {"-x", queue});
        queue.clear();
        StopCupsd();
    }

    static void StopCupsd() {
        if (!cupsd) return;
        cupsd->terminate();
        if (!cupsd->waitForFinished(10000)) {
            cupsd->kill();
            cupsd->waitForFinished(5000);
        }
        cupsd.reset();
    }

    void SetUp() override {
        if (!skipReason.empty()) ORONT_SKIP_OR_FAIL(skipReason);
    }

    static std::string skipReason;
    static QString queue;
    static std::unique_ptr<QProcess> cupsd;
};

std::string CupsPrintTest::skipReason;
QString CupsPrintTest::queue;
std::unique_ptr<QProcess> CupsPrintTest::cupsd;

// The newest PDF in `dir` written after `since`, once its size stays put.
QString WaitForPdf(const QString& dir, const QDateTime& since, int timeoutMs) {
    QElapsedTimer t;
    t.start();
    qint64 lastSize = -1;
    while (t.elapsed() < timeoutMs) {
        const QFileInfoList files = QDir(dir).entryInfoList({QStringLiteral("*.pdf")}, QDir::Files, QDir::Time);
        if (!files.isEmpty() && files.first().lastModified() >= since) {
            const qint64 size = files.first().size();
            if (size > 0 && size == lastSize) return files.first().absoluteFilePath();
            lastSize = size;
        }
        QTest::qWait(250);
    }
    return {};
}

TEST_F(CupsPrintTest, PreviewPrintsTwoPagesToAQueue) {
    QElapsedTimer t;
    t.start();
    while (!QPrinterInfo::availablePrinterNames().contains(queue) && t.elapsed() < 10000) QTest::qWait(100);
    ASSERT_TRUE(QPrinterInfo::availablePrinterNames().contains(queue)) << "Qt does not list the queue";

    const LineReport store = test::NumberedReport(30);
    PrintRequest request;
    request.nRowCount = store.ReportLineCount();
    request.nCurrentPage = 1;
    CPrintPreViewParent frame(request, MakeReportCallback(store));
    frame.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));

    test::ScriptedPrintUi ui;
    ui.printers.reset();  // the queue, as Qt lists it
    ui.printDialogResults = {CPrintUi::DialogResult::Ok};
    const QString name = queue;
    ui.choosePrinter = [name](QPrinter& printer) {
        printer.setOutputFormat(QPrinter::NativeFormat);
        printer.setPrinterName(name);
    };
    frame.ToolBar()->m_wndStartPage->setText("1");
    frame.ToolBar()->m_wndEndPage->setText("2");

    const QString outDir = QDir::homePath() + QStringLiteral("/PDF");
    const QDateTime started = QDateTime::currentDateTime().addSecs(-1);
    frame.ToolBar()->Action(cmd::kPrint)->trigger();
    ASSERT_EQ(ui.questions.size(), 1u);
    EXPECT_EQ(ui.questions[0].first, "Print from page 1 to 2 ");
    EXPECT_EQ(ui.printDialogs, 1);
    EXPECT_TRUE(ui.messages.empty());

    const QString pdf = WaitForPdf(outDir, started, 60000);
    ASSERT_FALSE(pdf.isEmpty()) << "cups-pdf wrote no file into " << outDir.toStdString();
    const QString kept = test::TestOutputDir() + QStringLiteral("/cups_report.pdf");
    QFile::remove(kept);
    QFile::copy(pdf, kept);
    QFile::remove(pdf);

    int rc = 0;
    const std::string info = test::RunAndRead(QStringLiteral("pdfinfo"), {kept}, &rc);
    ASSERT_EQ(rc, 0) << "pdfinfo is missing (poppler-utils)";
    EXPECT_EQ(test::PdfPageCount(info), 2) << info;
    const std::string text = test::RunAndRead(QStringLiteral("pdftotext"), {"-layout", kept, "-"});
    EXPECT_NE(text.find("Measurement Result"), std::string::npos) << text;
    EXPECT_NE(text.find("Model:V208 S/N:0000042"), std::string::npos);
    EXPECT_NE(text.find("Reocrd"), std::string::npos);
    EXPECT_NE(text.find("Print Date:"), std::string::npos);
    EXPECT_NE(text.find("Page 1 of 2"), std::string::npos);
    EXPECT_NE(text.find("Page 2 of 2"), std::string::npos);
    EXPECT_NE(text.find("R1C0"), std::string::npos);
    EXPECT_NE(text.find("R24C15"), std::string::npos);
    EXPECT_NE(text.find("R30C9"), std::string::npos);
    // Page 2 starts with line 25.
    const auto page2 = text.find('\f');
    ASSERT_NE(page2, std::string::npos);
    EXPECT_EQ(text.find("R25C0"), text.find("R25C0", page2));
    EXPECT_LT(text.find("R24C0"), page2);
}

TEST_F(CupsPrintTest, ReportCommandPrintsToANamedQueue) {
    const LineReport store = test::NumberedReport(49);
    ReportPrintOptions options;
    options.printerName = queue.toStdString();
    options.firstPage = 3;
    options.lastPage = 3;
    const QString outDir = QDir::homePath() + QStringLiteral("/PDF");
    const QDateTime started = QDateTime::currentDateTime().addSecs(-1);
    std::string error;
    ASSERT_TRUE(PrintReportToDevice(store, options, error)) << error;
    const QString pdf = WaitForPdf(outDir, started, 60000);
    ASSERT_FALSE(pdf.isEmpty()) << "cups-pdf wrote no file into " << outDir.toStdString();
    const std::string info = test::RunAndRead(QStringLiteral("pdfinfo"), {pdf});
    const std::string text = test::RunAndRead(QStringLiteral("pdftotext"), {"-layout", pdf, "-"});
    QFile::remove(pdf);
    EXPECT_EQ(test::PdfPageCount(info), 1) << info;
    EXPECT_NE(text.find("Page 3 of 3"), std::string::npos) << text;
    EXPECT_NE(text.find("R49C15"), std::string::npos);
    EXPECT_EQ(text.find("R48C0"), std::string::npos);
}

// A queue that refuses jobs: CUPS answers the job with its reason only when
// the document ends, and both print runs pass that answer on.
TEST_F(CupsPrintTest, RefusedJobSaysWhy) {
    int rc = 0;
    test::RunAndRead(QStringLiteral("cupsreject"), {queue}, &rc);
    ASSERT_EQ(rc, 0) << "cupsreject failed";
    struct Accept {
        ~Accept() { test::RunAndRead(QStringLiteral("cupsaccept"), {queue}); }
    } acceptAgain;
    const LineReport store = test::NumberedReport(30);
    PrintRequest request;
    request.nRowCount = store.ReportLineCount();
    request.nCurrentPage = 1;
    CPrintPreViewParent frame(request, MakeReportCallback(store));
    test::ScriptedPrintUi ui;
    ui.printers.reset();
    ui.printDialogResults = {CPrintUi::DialogResult::Ok};
    const QString name = queue;
    ui.choosePrinter = [name](QPrinter& printer) {
        printer.setOutputFormat(QPrinter::NativeFormat);
        printer.setPrinterName(name);
    };
    frame.ToolBar()->Action(cmd::kPrint)->trigger();
    ASSERT_EQ(ui.messages.size(), 1u);
    const std::string shown = ui.messages[0].text.toStdString();
    EXPECT_EQ(shown.rfind("Printing failed! (", 0), 0u) << shown;
    EXPECT_NE(shown.find("not accepting jobs"), std::string::npos) << shown;
    EXPECT_EQ(ui.messages[0].caption, "Error");

    ReportPrintOptions options;
    options.printerName = queue.toStdString();
    std::string error;
    EXPECT_FALSE(PrintReportToDevice(store, options, error));
    EXPECT_EQ(error, shown);
}

}  // namespace
}  // namespace oront
