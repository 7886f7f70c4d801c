// The print preview on the offscreen platform: navigation, page fields,
// keyboard, wheel, the print command, the print job's dialogs, the page's
// picture and printer setup.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPdfWriter>
#include <QProcess>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QWheelEvent>
#include <memory>
#include <vector>

#include "PrintTestSupport.h"
#include "print/qt/PrintPreViewParent.h"
#include "print/qt/QtReportSurface.h"
#include "records/TableBuild.h"
#include "support/InstrumentBuilders.h"
#include "support/TestEnvironment.h"
#include "support/gtest/SkipOrFail.h"

namespace oront {
namespace {

using test::ScriptedPrintUi;
using DialogResult = CPrintUi::DialogResult;

class PreviewTest : public ::testing::Test {
protected:
    void Open(int lines, int width = 958, int height = 717) {
        store = test::NumberedReport(lines);
        PrintRequest request;
        request.nRowCount = store.ReportLineCount();
        request.nCurrentPage = 1;
        request.hOwnerWnd = &owner;
        const ReportCallbackFn real = MakeReportCallback(store);
        frame = std::make_unique<CPrintPreViewParent>(
            request,
            [this, real](ReportSurface& dc, const PrintRequest& rq) {
                requests.push_back(rq);
                real(dc, rq);
            },
            nullptr);
        frame->resize(width, height);
        frame->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
        bar = frame->ToolBar();
        view = frame->View();
        ASSERT_NE(bar, nullptr);
        ASSERT_NE(view, nullptr);
    }
    void TearDown() override {
        frame.reset();
        g_nPageWidthMM = kDefaultPageWidthMM;
        g_nPageHeightMM = kDefaultPageHeightMM;
    }

    bool Enabled(int id) const { return bar->Action(id)->isEnabled(); }
    void Press(int id) const { bar->Action(id)->trigger(); }
    // Repaints the page window now and returns the request it drew.
    PrintRequest Painted() {
        requests.clear();
        view->viewport()->repaint();
        EXPECT_FALSE(requests.empty());
        return requests.empty() ? PrintRequest{} : requests.back();
    }
    void TypeInto(QLineEdit* field, const QString& text) {
        field->setFocus();
        field->selectAll();
        QTest::keyClicks(field, text);
    }

    int owner = 0;
    LineReport store;
    std::unique_ptr<CPrintPreViewParent> frame;
    CPrintToolBar* bar = nullptr;
    CPreView* view = nullptr;
    std::vector<PrintRequest> requests;
};

TEST_F(PreviewTest, FrameAndToolbarAsBuilt) {
    Open(49);
    EXPECT_EQ(frame->windowTitle(), "Print Preview");
    EXPECT_EQ(g_nPageWidthMM, 297);
    EXPECT_EQ(g_nPageHeightMM, 210);
    EXPECT_EQ(frame->m_nPageCount, 3);
    EXPECT_EQ(frame->Request().nEndPage, 3);
    EXPECT_EQ(frame->Request().nStartPage, 1);
    EXPECT_EQ(frame->Request().nRowsPerPage, 24);

    struct Tip {
        int id;
        const char* text;
    };
    for (const Tip t : {Tip{cmd::kTopPage, "Top Page"}, Tip{cmd::kPrePage, "Pre Page"},
                        Tip{cmd::kNextPage, "Next Page"}, Tip{cmd::kLastPage, "Last Page"}, Tip{cmd::kPrint, "Print"},
                        Tip{cmd::kPrintSetup, "Print Setup"}, Tip{cmd::kExit, "Exit"}}) {
        ASSERT_NE(bar->Button(t.id), nullptr) << t.id;
        EXPECT_EQ(bar->Action(t.id)->toolTip(), t.text);
        EXPECT_EQ(bar->Button(t.id)->objectName(), QString::number(t.id));
    }
    EXPECT_EQ(bar->m_wndGotoPage->toolTip(), "Goto Page");
    EXPECT_EQ(bar->m_wndStartPage->toolTip(), "Start Page");
    EXPECT_EQ(bar->m_wndEndPage->toolTip(), "End Page");
    EXPECT_EQ(bar->m_wndGotoPage->width(), 80);
    EXPECT_EQ(bar->m_wndStartLabel->text(), "Start Page");
    EXPECT_EQ(bar->m_wndStartLabel->width(), 68);
    EXPECT_EQ(bar->m_wndEndLabel->text(), "End Page");
    EXPECT_EQ(bar->m_wndStartPage->width(), 40);
    EXPECT_EQ(bar->m_wndStartPage->text(), "1");
    EXPECT_EQ(bar->m_wndEndPage->text(), "3");
    ASSERT_EQ(bar->m_wndGotoPage->count(), 3);
    EXPECT_EQ(bar->m_wndGotoPage->itemText(0), "001");
    EXPECT_EQ(bar->m_wndGotoPage->itemText(2), "003");
    EXPECT_NE(frame->findChild<QWidget*>("1007"), nullptr);
    EXPECT_NE(frame->findChild<QWidget*>("1029"), nullptr);

    // Layout: toolbar on top, 2-dot separator, page window below.
    EXPECT_EQ(frame->findChild<QWidget*>("1029")->geometry(), QRect(0, frame->m_nToolBarHeight, frame->width(), 2));
    EXPECT_EQ(view->geometry().top(), frame->m_nToolBarHeight + 2);
    EXPECT_EQ(view->geometry().bottom(), frame->rect().bottom());
}

TEST_F(PreviewTest, SinglePageReport) {
    Open(24);
    for (int id : {cmd::kTopPage, cmd::kPrePage, cmd::kNextPage, cmd::kLastPage}) EXPECT_FALSE(Enabled(id)) << id;
    ASSERT_EQ(bar->m_wndGotoPage->count(), 1);
    EXPECT_EQ(bar->m_wndGotoPage->itemText(0), "001");
    EXPECT_EQ(bar->m_wndEndPage->text(), "1");
    emit bar->m_wndGotoPage->activated(0);
    EXPECT_TRUE(view->hasFocus());
    EXPECT_EQ(frame->m_nCurPage, 1);
    const PrintRequest rq = Painted();
    EXPECT_EQ(rq.nFirstRow, 1);
    EXPECT_EQ(rq.nLastRow, 24);
    EXPECT_EQ(rq.nMode, 0);
}

TEST_F(PreviewTest, NavigationThroughThreePages) {
    Open(49);
    EXPECT_FALSE(Enabled(cmd::kTopPage));
    EXPECT_FALSE(Enabled(cmd::kPrePage));
    EXPECT_TRUE(Enabled(cmd::kNextPage));
    EXPECT_TRUE(Enabled(cmd::kLastPage));

    Press(cmd::kNextPage);
    EXPECT_EQ(frame->m_nCurPage, 2);
    EXPECT_TRUE(Enabled(cmd::kTopPage));
    EXPECT_TRUE(Enabled(cmd::kPrePage));
    EXPECT_TRUE(Enabled(cmd::kNextPage));
    EXPECT_EQ(bar->m_wndGotoPage->currentIndex(), 1);
    PrintRequest rq = Painted();
    EXPECT_EQ(rq.nCurrentPage, 2);
    EXPECT_EQ(rq.nFirstRow, 25);
    EXPECT_EQ(rq.nLastRow, 48);

    Press(cmd::kNextPage);
    EXPECT_EQ(frame->m_nCurPage, 3);
    EXPECT_FALSE(Enabled(cmd::kNextPage));
    EXPECT_FALSE(Enabled(cmd::kLastPage));
    rq = Painted();
    EXPECT_EQ(rq.nFirstRow, 49);
    EXPECT_EQ(rq.nLastRow, 49);
    Press(cmd::kNextPage);  // disabled: nothing happens
    EXPECT_EQ(frame->m_nCurPage, 3);

    Press(cmd::kPrePage);
    EXPECT_EQ(frame->m_nCurPage, 2);
    EXPECT_TRUE(Enabled(cmd::kPrePage));
    Press(cmd::kPrePage);
    EXPECT_EQ(frame->m_nCurPage, 1);
    EXPECT_FALSE(Enabled(cmd::kPrePage));
    EXPECT_FALSE(Enabled(cmd::kTopPage));
    EXPECT_TRUE(Enabled(cmd::kNextPage));

    Press(cmd::kLastPage);
    EXPECT_EQ(frame->m_nCurPage, 3);
    EXPECT_EQ(bar->m_wndGotoPage->currentIndex(), 2);
    // Choosing "001" in the list on page 3 is Top Page.
    bar->m_wndGotoPage->setCurrentIndex(0);
    emit bar->m_wndGotoPage->activated(0);
    EXPECT_EQ(frame->m_nCurPage, 1);
    EXPECT_FALSE(Enabled(cmd::kTopPage));
    EXPECT_FALSE(Enabled(cmd::kPrePage));
    EXPECT_TRUE(Enabled(cmd::kNextPage));
    EXPECT_TRUE(view->hasFocus());
    EXPECT_EQ(Painted().nFirstRow, 1);

    // A page in the middle enables all four and Next goes on from it.
    bar->m_wndGotoPage->setCurrentIndex(1);
    emit bar->m_wndGotoPage->activated(1);
    for (int id : {cmd::kTopPage, cmd::kPrePage, cmd::kNextPage, cmd::kLastPage}) EXPECT_TRUE(Enabled(id)) << id;
    Press(cmd::kNextPage);
    EXPECT_EQ(frame->m_nCurPage, 3);

    // The wheel passing over the Goto Page list turns no page; only a choice
    // in the list does.
    Press(cmd::kTopPage);
    QComboBox* list = bar->m_wndGotoPage;
    const QPointF at = list->rect().center();
    for (int delta : {-120, -120, 120}) {
        QWheelEvent wheel(at, list->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(list, &wheel);
        EXPECT_EQ(list->currentIndex(), 0);
        EXPECT_EQ(frame->m_nCurPage, 1);
    }
    EXPECT_EQ(Painted().nCurrentPage, 1);
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Down);  // a keyboard choice does
    EXPECT_EQ(frame->m_nCurPage, 2);
}

TEST_F(PreviewTest, PageFieldsAreClampedToThePageCount) {
    Open(49);
    TypeInto(bar->m_wndEndPage, "9");
    EXPECT_EQ(bar->m_wndEndPage->text(), "3");
    EXPECT_EQ(frame->m_nEndPage, 3);
    EXPECT_EQ(view->m_nEndPage, 3);
    TypeInto(bar->m_wndStartPage, "2");
    EXPECT_EQ(view->m_nStartPage, 2);
    // No lower bound while typing: an empty field stores 0.
    bar->m_wndStartPage->clear();
    EXPECT_EQ(view->m_nStartPage, 0);
    TypeInto(bar->m_wndStartPage, "x-");
    EXPECT_EQ(bar->m_wndStartPage->text(), "");
}

TEST_F(PreviewTest, PrintCommandChecksTheRange) {
    Open(49);
    ScriptedPrintUi ui;
    ui.answerYes = false;

    // An emptied Start Page prints from page 1 and shows "1" again.
    bar->m_wndStartPage->clear();
    Press(cmd::kPrint);
    ASSERT_EQ(ui.questions.size(), 1u);
    EXPECT_EQ(ui.questions[0].first, "Print from page 1 to 3 ");
    EXPECT_EQ(ui.questions[0].second, "Print the prompt?");
    EXPECT_EQ(bar->m_wndStartPage->text(), "1");
    EXPECT_EQ(ui.printDialogs, 0);  // No ends the job

    for (const char* zero : {"0", "00", "000"}) {
        bar->m_wndEndPage->setText(zero);
        Press(cmd::kPrint);
        EXPECT_EQ(bar->m_wndEndPage->text(), "1");
        EXPECT_EQ(ui.questions.back().first, "Print from page 1 to 1 ");
    }

    // Start 3, end 2: the message and no job.
    ui.questions.clear();
    bar->m_wndStartPage->setText("3");
    bar->m_wndEndPage->setText("2");
    Press(cmd::kPrint);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "The startpage number should not be greater than the endpage number.");
    EXPECT_EQ(ui.messages[0].caption, "Oront V208 Software");
    EXPECT_EQ(ui.messages[0].icon, CPrintUi::Icon::None);
    EXPECT_TRUE(ui.questions.empty());
    EXPECT_EQ(bar->m_wndStartPage->text(), "3");
    EXPECT_EQ(bar->m_wndEndPage->text(), "2");
}

TEST_F(PreviewTest, PrinterDialogOutcomes) {
    Open(49);
    ScriptedPrintUi ui;
    bar->m_wndStartPage->setText("2");
    bar->m_wndEndPage->setText("3");

    // Cancel: no message, and the dialog state goes back to 0.
    ui.printDialogResults = {DialogResult::Cancel};
    Press(cmd::kPrint);
    EXPECT_EQ(ui.questions.back().first, "Print from page 2 to 3 ");
    EXPECT_EQ(ui.printDialogs, 1);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(view->m_nDialogState, 0);

    // A dialog error: the message, the dialog again, and when that gives no
    // printer either, "Failed to initiate the printer!".
    ui.printDialogs = 0;
    ui.printDialogResults = {DialogResult::Error, DialogResult::Cancel};
    Press(cmd::kPrint);
    EXPECT_EQ(ui.printDialogs, 2);
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[0].text, "Failed to read the printer information, please select manually!");
    EXPECT_EQ(ui.messages[0].caption, "");
    EXPECT_EQ(ui.messages[1].text, "Failed to initiate the printer!");
    EXPECT_EQ(ui.messages[1].caption, "Error.");
    EXPECT_EQ(ui.messages[1].icon, CPrintUi::Icon::Error);
}

TEST_F(PreviewTest, PrintsTheRangeIntoAPdfFile) {
    Open(49);
    ScriptedPrintUi ui;
    const QString pdf = test::TestOutputDir() + "/preview_pages_2_3.pdf";
    QFile::remove(pdf);
    ui.printDialogResults = {DialogResult::Ok};
    ui.choosePrinter = test::ChoosePdfFile(pdf);
    bar->m_wndStartPage->setText("2");
    bar->m_wndEndPage->setText("3");
    requests.clear();
    Press(cmd::kPrint);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(view->m_nDialogState, CPreView::kDialogDone);
    ASSERT_FALSE(requests.empty());
    const PrintRequest rq = requests.back();
    EXPECT_EQ(rq.nMode, 1);
    EXPECT_EQ(rq.nStartPage, 2);
    EXPECT_EQ(rq.nEndPage, 3);
    EXPECT_EQ(rq.nPageCount, 3);
    EXPECT_EQ(rq.hOwnerWnd, &owner);
    ASSERT_TRUE(QFileInfo::exists(pdf));

    int rc = 0;
    const std::string info = test::RunAndRead("pdfinfo", {pdf}, &rc);
    if (rc != 0) ORONT_SKIP_OR_FAIL("pdfinfo is not installed; the PDF was written");
    EXPECT_EQ(test::PdfPageCount(info), 2) << info;
    EXPECT_NE(info.find("842 x 595 pts (A4)"), std::string::npos) << info;  // A4 landscape
    const std::string text = test::RunAndRead("pdftotext", {"-layout", pdf, "-"});
    EXPECT_NE(text.find("Measurement Result"), std::string::npos);
    EXPECT_NE(text.find("Page 2 of 3"), std::string::npos);
    EXPECT_NE(text.find("Page 3 of 3"), std::string::npos);
    EXPECT_EQ(text.find("Page 1 of 3"), std::string::npos);
    EXPECT_NE(text.find("R25C0"), std::string::npos);
    EXPECT_NE(text.find("R49C15"), std::string::npos);
    EXPECT_EQ(text.find("R24C0"), std::string::npos);

    // A file that cannot be written: the print job says why, and writes
    // nothing.
    const QString missing = test::TestOutputDir() + "/missing-folder/x.pdf";
    ui.printDialogResults = {DialogResult::Ok};
    ui.printDialogs = 0;
    ui.choosePrinter = test::ChoosePdfFile(missing);
    Press(cmd::kPrint);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text.toStdString(),
              "Failed to connect the Print! (No such file or directory: " + missing.toStdString() + ")");
    EXPECT_EQ(ui.messages[0].caption, "Error");
    EXPECT_EQ(ui.messages[0].icon, CPrintUi::Icon::Error);
    EXPECT_FALSE(QFileInfo::exists(missing));
}

// Without a printer, Print says so and offers Export PDF of the pages of the
// page fields; OK runs it, Cancel ends there.
TEST_F(PreviewTest, WithoutAPrinterPrintOffersThePdfExport) {
    Open(49);
    ScriptedPrintUi ui;
    ui.printers = QStringList{};
    bar->m_wndStartPage->setText("3");
    bar->m_wndEndPage->setText("2");
    Press(cmd::kPrint);  // the range is checked first
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_TRUE(ui.okCancelQuestions.empty());

    bar->m_wndStartPage->setText("2");
    bar->m_wndEndPage->setText("3");
    ui.answerOk = false;
    Press(cmd::kPrint);
    ASSERT_EQ(ui.okCancelQuestions.size(), 1u);
    EXPECT_EQ(ui.okCancelQuestions[0].first.toStdString(),
              "No printer is installed.\nExport pages 2 to 3 as a PDF file instead?");
    EXPECT_EQ(ui.okCancelQuestions[0].second, "Oront V208 Software");
    EXPECT_TRUE(ui.questions.empty());
    EXPECT_EQ(ui.printDialogs, 0);
    EXPECT_EQ(ui.saveFileDialogs, 0);

    ui.answerOk = true;
    const QString pdf = test::TestOutputDir() + "/no_printer_pages_2_3.pdf";
    QFile::remove(pdf);
    ui.saveFilePath = pdf;
    requests.clear();
    Press(cmd::kPrint);
    EXPECT_EQ(ui.okCancelQuestions.size(), 2u);
    EXPECT_EQ(ui.saveFileDialogs, 1);
    EXPECT_EQ(ui.printDialogs, 0);
    EXPECT_EQ(ui.messages.size(), 1u);
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests.back().nStartPage, 2);
    EXPECT_EQ(requests.back().nEndPage, 3);
    EXPECT_GT(QFileInfo(pdf).size(), 0);

    // With a printer, the print job as before.
    ui.printers = QStringList{"Any"};
    ui.answerYes = false;
    Press(cmd::kPrint);
    EXPECT_EQ(ui.okCancelQuestions.size(), 2u);
    ASSERT_EQ(ui.questions.size(), 1u);
    EXPECT_EQ(ui.questions[0].first, "Print from page 2 to 3 ");
}

TEST_F(PreviewTest, EnterNeverClosesEscapeAndCtrlWCloseAsExit) {
    Open(49);
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    // The hidden list box holds the focus at first.
    EXPECT_EQ(QApplication::focusWidget(), frame->findChild<QWidget*>("1007"));
    const std::vector<QWidget*> targets = {bar->m_wndStartPage, bar->m_wndGotoPage, view, frame.get()};
    for (QWidget* target : targets) {
        target->setFocus();
        QTest::keyClick(target, Qt::Key_Return);
        EXPECT_TRUE(frame->isVisible());
        EXPECT_TRUE(view->hasFocus()) << target->objectName().toStdString();
    }
    QTest::keyClick(bar->m_wndEndPage, Qt::Key_Enter);
    EXPECT_TRUE(frame->isVisible());

    // Tab goes between the two page fields and nowhere else.
    bar->m_wndStartPage->setFocus();
    QTest::keyClick(bar->m_wndStartPage, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), bar->m_wndEndPage);
    QTest::keyClick(bar->m_wndEndPage, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), bar->m_wndStartPage);
    view->setFocus();
    QTest::keyClick(view, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), view);

    // Exit, Escape and Ctrl+W close the frame, wherever the focus is.
    auto reopen = [this] {
        frame->show();
        frame->activateWindow();
        return QTest::qWaitForWindowActive(frame.get());
    };
    Press(cmd::kExit);
    EXPECT_FALSE(frame->isVisible());
    for (QWidget* target : targets) {
        ASSERT_TRUE(reopen());
        target->setFocus();
        QTest::keyClick(target, Qt::Key_Escape);
        EXPECT_FALSE(frame->isVisible()) << "Escape in " << target->objectName().toStdString();
        ASSERT_TRUE(reopen());
        target->setFocus();
        QTest::keyClick(target, Qt::Key_W, Qt::ControlModifier);
        EXPECT_TRUE(QTest::qWaitFor([this] { return !frame->isVisible(); }, 2000))
            << "Ctrl+W in " << target->objectName().toStdString();
    }
}

TEST_F(PreviewTest, WheelScrollsByLinesAndCanBeSwitchedOff) {
    Open(49, 600, 300);
    view->SetWheelScrollLines(3);
    EXPECT_EQ(view->m_nWheelUnit, 40);
    QScrollBar* v = view->verticalScrollBar();
    EXPECT_EQ(v->singleStep(), 15);
    EXPECT_EQ(v->pageStep(), view->viewport()->height());
    EXPECT_EQ(v->maximum(), view->m_nPageHeightPx + 20 - view->viewport()->height() + 1);
    EXPECT_EQ(view->horizontalScrollBar()->maximum(), view->m_nPageWidthPx + 48 - view->viewport()->width() + 1);

    const QPointF at(50, 50);
    QWheelEvent down(at, view->viewport()->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                     Qt::NoScrollPhase, false);
    QApplication::sendEvent(view->viewport(), &down);
    EXPECT_EQ(view->m_nScrollY, 45);  // one notch: three lines of 15 dots
    // Half notches add up.
    QWheelEvent half(at, view->viewport()->mapToGlobal(at), QPoint(), QPoint(0, 60), Qt::NoButton, Qt::NoModifier,
                     Qt::NoScrollPhase, false);
    QApplication::sendEvent(view->viewport(), &half);
    EXPECT_EQ(view->m_nScrollY, 30);
    QApplication::sendEvent(view->viewport(), &half);
    EXPECT_EQ(view->m_nScrollY, 0);

    // Qt's style hints treat 0 wheel lines as "the platform's default", so
    // the system value 0 is handed to the page window directly here.
    view->SetWheelScrollLines(0);
    EXPECT_EQ(view->m_nWheelUnit, 0);
    QApplication::sendEvent(view->viewport(), &down);
    QApplication::sendEvent(view->viewport(), &down);
    EXPECT_EQ(view->m_nScrollY, 0);
    // More lines than 120 make the unit 0 as well.
    view->SetWheelScrollLines(121);
    QApplication::sendEvent(view->viewport(), &down);
    EXPECT_EQ(view->m_nScrollY, 0);
}

TEST_F(PreviewTest, MoreThan999Pages) {
    Open(40000);
    EXPECT_EQ(frame->m_nPageCount, 1667);
    ASSERT_EQ(bar->m_wndGotoPage->count(), 1667);
    EXPECT_EQ(bar->m_wndGotoPage->itemText(998), "999");
    EXPECT_EQ(bar->m_wndGotoPage->itemText(999), "1000");
    EXPECT_EQ(bar->m_wndGotoPage->itemText(1666), "1667");
    EXPECT_EQ(bar->m_wndEndPage->text(), "1667");
    TypeInto(bar->m_wndStartPage, "12345");
    EXPECT_EQ(bar->m_wndStartPage->text(), "123");
    bar->m_wndEndPage->setFocus();
    bar->m_wndEndPage->end(false);
    QTest::keyClick(bar->m_wndEndPage, Qt::Key_5);
    EXPECT_EQ(bar->m_wndEndPage->text(), "1667");

    Press(cmd::kLastPage);
    const PrintRequest rq = Painted();
    EXPECT_EQ(rq.nFirstRow, 39985);
    EXPECT_EQ(rq.nLastRow, 40000);
}

TEST_F(PreviewTest, PageImageAndPrintSetup) {
    Open(120);  // five pages of 24 lines on A4 landscape
    QApplication::processEvents();

    // The page image itself: white page with a black frame on black.
    const QImage page = view->RenderCurrentPage();
    EXPECT_EQ(page.size(), QSize(891, 630));
    EXPECT_EQ(page.pixelColor(400, 300), QColor(Qt::white));
    EXPECT_EQ(page.pixelColor(0, 300), QColor(Qt::black));
    // The background around the page is cyan.
    const QImage shot = view->viewport()->grab().toImage();
    EXPECT_EQ(shot.pixelColor(5, 5), QColor(0, 255, 255));
    EXPECT_FALSE(view->verticalScrollBar()->isVisible());  // the landscape page fits
    EXPECT_EQ(shot.pixelColor(23, 300), QColor(0, 255, 255));
    EXPECT_NE(shot.pixelColor(24, 300), QColor(0, 255, 255));

    // Printer setup starts from the report's paper, A4 landscape.
    ScriptedPrintUi ui;
    ui.choosePaper = test::ChoosePaper(QPageSize::A4, QPageLayout::Portrait);
    Press(cmd::kNextPage);  // lines 25..48
    Press(cmd::kPrintSetup);
    ASSERT_EQ(ui.pageSetupLayouts.size(), 1u);
    EXPECT_EQ(ui.pageSetupLayouts[0].pageSize().id(), QPageSize::A4);
    EXPECT_EQ(ui.pageSetupLayouts[0].orientation(), QPageLayout::Landscape);
    EXPECT_EQ(g_nPageWidthMM, 210);
    EXPECT_EQ(g_nPageHeightMM, 297);

    // Portrait: the pages are laid out anew at 54 lines, and the page that
    // held line 25 is shown.
    EXPECT_EQ(frame->m_nPageCount, 3);
    ASSERT_EQ(bar->m_wndGotoPage->count(), 3);
    EXPECT_EQ(bar->m_wndGotoPage->currentIndex(), 0);
    EXPECT_EQ(bar->m_wndStartPage->text(), "1");
    EXPECT_EQ(bar->m_wndEndPage->text(), "3");
    EXPECT_EQ(frame->m_nCurPage, 1);
    EXPECT_FALSE(Enabled(cmd::kPrePage));
    EXPECT_TRUE(Enabled(cmd::kNextPage));
    PrintRequest rq = Painted();
    EXPECT_EQ(rq.nPageCount, 3);
    EXPECT_EQ(rq.nRowsPerPage, 54);
    EXPECT_EQ(rq.nFirstRow, 1);
    EXPECT_EQ(rq.nLastRow, 54);
    Press(cmd::kNextPage);
    Press(cmd::kNextPage);
    rq = Painted();
    EXPECT_EQ(rq.nFirstRow, 109);
    EXPECT_EQ(rq.nLastRow, 120);
    EXPECT_FALSE(Enabled(cmd::kNextPage));

    // Every column on the paper: on the header band, just below its top rule,
    // the right-most dark dot is the grid's last separator at 792 x 210/297.
    const QImage portrait = view->RenderCurrentPage();
    ASSERT_EQ(portrait.size(), QSize(630, 891));
    const int y = 60 * 210 / 297 + 2;
    int right = -1;
    for (int x = 0; x < portrait.width() - 4; ++x)
        if (qGray(portrait.pixel(x, y)) < 128) right = x;
    EXPECT_NEAR(right, 560, 1);
    // The page is taller than the window: the scroll bar is there at once.
    QApplication::processEvents();
    QScrollBar* v = view->verticalScrollBar();
    EXPECT_TRUE(v->isVisible());
    EXPECT_EQ(v->maximum(), 891 + 20 - view->viewport()->height() + 1);
    EXPECT_EQ(view->m_nPageHeightPx, 891);
    // The portrait page stands in the middle of the window, 12 dots down;
    // the landscape page above stood at the left margin of 24 dots.
    auto pageColumns = [this](int y) {
        const QImage window = view->viewport()->grab().toImage();
        int first = -1, last = -1;
        for (int x = 0; x < window.width(); ++x) {
            if (window.pixelColor(x, y) == QColor(0, 255, 255)) continue;
            if (first < 0) first = x;
            last = x;
        }
        return std::make_pair(first, window.width() - 1 - last);
    };
    const auto [pageLeft, pageRight] = pageColumns(300);
    EXPECT_NEAR(pageLeft, pageRight, 1);
    EXPECT_EQ(pageLeft + 630 + pageRight, view->viewport()->width());
    EXPECT_EQ(pageColumns(11).first, -1);
    EXPECT_EQ(pageColumns(12).first, pageLeft);

    // The next setup starts from portrait.
    ui.choosePaper = test::ChoosePaper(QPageSize::A3, QPageLayout::Portrait);
    Press(cmd::kPrintSetup);
    EXPECT_EQ(ui.pageSetupLayouts[1].orientation(), QPageLayout::Portrait);
    EXPECT_EQ(g_nPageWidthMM, 297);
    EXPECT_EQ(g_nPageHeightMM, 420);
    EXPECT_EQ(ui.pageSetupLayouts.size(), 2u);
    ui.choosePaper = test::ChoosePaper(QPageSize::A4, QPageLayout::Landscape);
    Press(cmd::kPrintSetup);
    EXPECT_EQ(ui.pageSetupLayouts[2].pageSize().id(), QPageSize::A3);
    EXPECT_EQ(g_nPageWidthMM, 297);
    EXPECT_EQ(g_nPageHeightMM, 210);
    EXPECT_EQ(frame->m_nPageCount, 5);
    EXPECT_EQ(bar->m_wndEndPage->text(), "5");
    QApplication::processEvents();
    EXPECT_FALSE(v->isVisible());
    ui.choosePaper = test::ChoosePaper(QPageSize::Letter, QPageLayout::Portrait);
    Press(cmd::kPrintSetup);
    EXPECT_EQ(g_nPageWidthMM, 210);
    EXPECT_EQ(g_nPageHeightMM, 297);
    // Cancel keeps the page size.
    ui.pageSetupResult = DialogResult::Cancel;
    ui.choosePaper = test::ChoosePaper(QPageSize::A5, QPageLayout::Portrait);
    Press(cmd::kPrintSetup);
    EXPECT_EQ(g_nPageWidthMM, 210);
    EXPECT_EQ(g_nPageHeightMM, 297);
    EXPECT_EQ(frame->m_nPageCount, 3);
}

// Zoom: the buttons after Exit, the steps, Ctrl with the wheel and the keys,
// Fit Page and Fit Width; a screenshot at 200 % shows the zoomed page.
TEST_F(PreviewTest, ZoomStepsAndFits) {
    Open(49, 958, 500);
    QApplication::processEvents();
    const QList<QAction*> items = bar->actions();
    const qsizetype exit = items.indexOf(bar->Action(cmd::kExit));
    struct Tip {
        int id;
        const char* text;
    };
    for (const Tip t : {Tip{cmd::kZoomOut, "Zoom Out"}, Tip{cmd::kZoomIn, "Zoom In"}, Tip{cmd::kFitPage, "Fit Page"},
                        Tip{cmd::kFitWidth, "Fit Width"}, Tip{cmd::kExportPdf, "Export PDF..."}}) {
        ASSERT_NE(bar->Button(t.id), nullptr) << t.id;
        EXPECT_GT(items.indexOf(bar->Action(t.id)), exit) << t.id;
        EXPECT_GT(bar->Button(t.id)->x(), bar->Button(cmd::kExit)->x()) << t.id;
        EXPECT_EQ(bar->Action(t.id)->toolTip().toStdString(), t.text);
    }
    auto shownZoom = [this] { return bar->m_wndZoom->text().toStdString(); };
    EXPECT_EQ(shownZoom(), "100%");
    EXPECT_EQ(view->ShownPageSize(), QSize(891, 630));

    // Steps: 100, 125, 150 %, and down to 25 % at most.
    Press(cmd::kZoomIn);
    EXPECT_EQ(shownZoom(), "125%");
    EXPECT_EQ(view->ShownPageSize(), QSize(1114, 788));
    EXPECT_EQ(view->RenderCurrentPage().size(), QSize(1114, 788));
    Press(cmd::kZoomIn);
    EXPECT_EQ(shownZoom(), "150%");
    for (const char* expected : {"125%", "100%", "75%", "50%", "25%", "25%"}) {
        Press(cmd::kZoomOut);
        EXPECT_EQ(shownZoom(), expected);
    }

    // Ctrl and the wheel: a step a notch; the plain wheel scrolls.
    view->SetZoom(1.0);
    auto wheel = [this](int delta, Qt::KeyboardModifiers modifiers) {
        const QPointF at(200, 150);
        QWheelEvent event(at, view->viewport()->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, modifiers,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(view->viewport(), &event);
    };
    wheel(120, Qt::ControlModifier);
    EXPECT_EQ(shownZoom(), "125%");
    wheel(-240, Qt::ControlModifier);
    EXPECT_EQ(shownZoom(), "75%");
    wheel(-120, Qt::NoModifier);
    EXPECT_EQ(shownZoom(), "75%");

    // Ctrl++ and Ctrl+-.
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    view->setFocus();
    QTest::keyClick(view, Qt::Key_Plus, Qt::ControlModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return shownZoom() == "100%"; }, 2000)) << shownZoom();
    QTest::keyClick(view, Qt::Key_Minus, Qt::ControlModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return shownZoom() == "75%"; }, 2000)) << shownZoom();

    // Fit Page: the whole page with its margins in the window, no bars.
    QScrollBar* h = view->horizontalScrollBar();
    QScrollBar* v = view->verticalScrollBar();
    Press(cmd::kFitPage);
    QApplication::processEvents();
    QSize shown = view->ShownPageSize();
    EXPECT_LE(shown.height() + 20, view->height() - 1);
    EXPECT_GE(shown.height() + 20, view->height() - 2);  // the height decides on this window
    EXPECT_LE(shown.width() + 48, view->width() - 1);
    EXPECT_FALSE(h->isVisible());
    EXPECT_FALSE(v->isVisible());
    EXPECT_EQ(shownZoom(), QString("%1%").arg(qRound(view->Zoom() * 100)).toStdString());

    // Fit Width: the width fills the window beside the vertical bar, and
    // keeps filling it when the window grows.
    Press(cmd::kFitWidth);
    QApplication::processEvents();
    EXPECT_TRUE(v->isVisible());
    EXPECT_FALSE(h->isVisible());
    EXPECT_EQ(view->ShownPageSize().width() + 48, view->viewport()->width() - 1);
    frame->resize(1200, 600);
    QApplication::processEvents();
    EXPECT_EQ(view->ShownPageSize().width() + 48, view->viewport()->width() - 1);
    EXPECT_FALSE(h->isVisible());

    // 200 %: the window shows the page rendered at twice its size, pixel for
    // pixel; the screenshot goes to the test output folder.
    view->SetZoom(2.0);
    QApplication::processEvents();
    EXPECT_EQ(shownZoom(), "200%");
    EXPECT_TRUE(h->isVisible());
    const QImage zoomed = view->RenderCurrentPage();
    ASSERT_EQ(zoomed.size(), QSize(1782, 1260));
    // The second separator (67 dots) runs down the grid at twice its x.
    const int separator = 2 * SeparatorX(ReportGrid::Preview, 2, 3);
    int onLine = 0;
    for (int y = 125; y < 1160; ++y) {
        bool dark = false;
        for (int x = separator - 2; x <= separator + 2; ++x) dark = dark || qGray(zoomed.pixel(x, y)) < 128;
        onLine += dark ? 1 : 0;
    }
    EXPECT_GT(onLine, (1160 - 125) * 95 / 100);
    h->setValue(300);
    v->setValue(200);
    QApplication::processEvents();
    const QImage shot = view->viewport()->grab().toImage();
    int checked = 0;
    for (int y = 0; y < shot.height(); y += 5)
        for (int x = 0; x < shot.width(); x += 7, ++checked)
            ASSERT_EQ(shot.pixel(x, y), zoomed.pixel(x + 300 - 24, y + 200 - 12)) << x << "," << y;
    EXPECT_GT(checked, 5000);
    const QString file = QString::fromStdString((test::TestOutputFolder() / "print_preview_zoom_200.png").string());
    QFile::remove(file);
    const QImage window = frame->grab().toImage();
    ASSERT_TRUE(window.save(file));
    const QImage saved(file);
    EXPECT_EQ(saved.size(), window.size());
    EXPECT_EQ(saved.pixel(view->geometry().center()), window.pixel(view->geometry().center()));
}

// Export PDF writes the pages of the page fields as the command-line tool's
// report does, through the same file writer.
TEST(PreviewExport, ExportPdfWritesWhatTheCommandLineToolWrites) {
    if (qEnvironmentVariableIsEmpty("ORONT_CLI")) ORONT_SKIP_OR_FAIL("ORONT_CLI does not name the command-line tool");
    int rc = 0;
    test::RunAndRead("pdftotext", {"-v"}, &rc);
    if (rc != 0) ORONT_SKIP_OR_FAIL("pdftotext (poppler-utils) is not installed");
    auto store = std::make_unique<RecordStore>();
    ASSERT_TRUE(test::ReadRecordsFromImage(MakeDemoImage(), *store));
    PrintRequest request;
    request.nRowCount = store->m_nReportLineCount;
    request.nCurrentPage = 1;
    CPrintPreViewParent frame(request, MakeReportCallback(*store));
    frame.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
    ASSERT_GE(frame.m_nPageCount, 3);
    CPrintToolBar* bar = frame.ToolBar();
    const QString dir = QString::fromStdString(test::FreshTestFolder("export_pdf").string());
    ScriptedPrintUi ui;
    ui.saveFilePath = dir + "/preview.pdf";
    bar->m_wndStartPage->setText("2");
    bar->m_wndEndPage->setText("3");
    bar->Action(cmd::kExportPdf)->trigger();
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(ui.saveFileDialogs, 1);
    EXPECT_EQ(ui.saveFileFilter.toStdString(), "PDF file (*.pdf)");

    QProcess cli;
    cli.start(qEnvironmentVariable("ORONT_CLI"), {"--demo", "report", dir + "/cli.pdf", "--pages", "2-3"});
    ASSERT_TRUE(cli.waitForFinished(60000));
    ASSERT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
    const std::string exported = test::RunAndRead("pdftotext", {"-layout", dir + "/preview.pdf", "-"});
    const std::string printed = test::RunAndRead("pdftotext", {"-layout", dir + "/cli.pdf", "-"});
    EXPECT_NE(exported.find("Page 2 of " + std::to_string(frame.m_nPageCount)), std::string::npos) << exported;
    EXPECT_EQ(exported, printed);
    EXPECT_EQ(test::PdfPageCount(test::RunAndRead("pdfinfo", {dir + "/preview.pdf"})), 2);

    // A folder that does not exist: the file writer's message, no file.
    ui.saveFilePath = dir + "/missing/x.pdf";
    bar->Action(cmd::kExportPdf)->trigger();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text.toStdString(),
              "Failed to connect the Print! (No such file or directory: " + ui.saveFilePath.toStdString() + ")");
    EXPECT_EQ(ui.messages[0].caption.toStdString(), "Error");
    EXPECT_EQ(test::FolderEntries(dir.toStdString()), (std::vector<std::string>{"cli.pdf", "preview.pdf"}));
    // Cancel writes nothing; an end before the start asks for no file.
    ui.saveFilePath.clear();
    bar->Action(cmd::kExportPdf)->trigger();
    EXPECT_EQ(ui.saveFileDialogs, 3);
    bar->m_wndStartPage->setText("3");
    bar->m_wndEndPage->setText("2");
    bar->Action(cmd::kExportPdf)->trigger();
    EXPECT_EQ(ui.saveFileDialogs, 3);
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[1].text.toStdString(), "The startpage number should not be greater than the endpage number.");
}

// On a screen of device pixel ratio 2 the page is drawn with twice the
// pixels a side and copied to the screen pixel for pixel, not magnified from
// a picture at ratio 1. The test runs itself again under QT_SCALE_FACTOR=2.
TEST_F(PreviewTest, PageAtDevicePixelRatio2) {
    if (qApp->devicePixelRatio() != 2) {
        ASSERT_TRUE(qEnvironmentVariableIsEmpty("QT_SCALE_FACTOR")) << "the platform ignores QT_SCALE_FACTOR";
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_SCALE_FACTOR", "2");
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(), {"--gtest_filter=PreviewTest.PageAtDevicePixelRatio2"});
        ASSERT_TRUE(child.waitForFinished(120000));
        const QByteArray output = child.readAll();
        EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
        EXPECT_TRUE(output.contains("[  PASSED  ] 1 test")) << output.toStdString();
        return;
    }
    Open(49);
    QApplication::processEvents();
    const QImage page = view->RenderCurrentPage();
    EXPECT_EQ(page.devicePixelRatio(), 2.0);
    EXPECT_EQ(page.size(), QSize(1782, 1260));
    const QImage shot = view->viewport()->grab().toImage();
    ASSERT_EQ(shot.devicePixelRatio(), 2.0);
    // The page stands at (px / 4, py / 8) = (24, 12) logical dots.
    const QPoint origin(48, 24);
    int checked = 0;
    for (int y = 100; y < 400 && origin.y() + y < shot.height(); y += 7)
        for (int x = 50; x < 1500 && origin.x() + x < shot.width(); x += 13, ++checked)
            ASSERT_EQ(shot.pixel(origin + QPoint(x, y)), page.pixel(x, y)) << x << "," << y;
    EXPECT_GT(checked, 1000);
}

TEST_F(PreviewTest, DataPrintOpensTheFrameOnlyWithRecords) {
    RecordStore empty;
    OnDataPrint(empty, nullptr);  // returns at once: nothing to show

    test::StoreBuilder rows;  // 30 plain records: 30 report lines
    for (int i = 0; i < 30; ++i) rows.AddPlain("0");
    BuildReportTable(rows.store);
    const RecordStore& full = rows.store;
    g_nPageWidthMM = 210;  // an earlier printer setup is forgotten
    QString title;
    int pages = 0;
    QTimer::singleShot(0, [&] {
        auto* shown = qobject_cast<CPrintPreViewParent*>(QApplication::activeModalWidget());
        if (shown == nullptr) return;
        title = shown->windowTitle();
        pages = shown->m_nPageCount;
        shown->OnCommand(cmd::kExit);
    });
    OnDataPrint(full, nullptr);
    EXPECT_EQ(title, "Print Preview");
    EXPECT_EQ(pages, 2);
    EXPECT_EQ(g_nPageWidthMM, 297);
}

TEST(QtReportSurface, PrintRunOnAPdfWriter) {
    const QString pdf = test::TestOutputDir() + "/surface_failure.pdf";
    const LineReport store = test::NumberedReport(30);
    // A writer whose file cannot be opened refuses the document.
    QPdfWriter writer(QStringLiteral("/nonexistent-folder/x.pdf"));
    writer.setResolution(600);
    QtReportSurface surface(&writer, nullptr);
    std::vector<std::string> boxes;
    surface.SetErrorBox([&](void*, std::string_view text, std::string_view caption) {
        boxes.push_back(std::string(text) + "|" + std::string(caption));
    });
    PrintRequest rq;
    rq.nRowCount = 30;
    rq.nPageCount = 2;
    rq.nMode = 1;
    rq.nStartPage = 1;
    rq.nEndPage = 2;
    rq.nRowsPerPage = 24;
    EXPECT_EQ(surface.DpiX(), 600);
    ReportCallback(surface, rq, store);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "Failed to connect the Print!|Error");
}

}  // namespace
}  // namespace oront
