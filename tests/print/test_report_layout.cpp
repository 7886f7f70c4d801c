// The report layout on a recording surface: positions in device dots on a
// 96-dpi screen and a 600-dpi printer, pagination, texts and the print run's
// document calls and failures.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "print/LineReport.h"
#include "print/RecordingSurface.h"
#include "print/ReportLayout.h"
#include "records/CFormat.h"
#include "support/StoreBuilders.h"

namespace oront {
namespace {

using Op = RecordingSurface::Op;

using test::NumberedReport;

PrintRequest PreviewRequest(int rows, int page) {
    PrintRequest rq;
    rq.nRowCount = rows;
    rq.nPageCount = ReportPageCount(rows);
    rq.nCurrentPage = page;
    rq.nRowsPerPage = kRowsPerPage;
    const PageRows pr = RowsOfPage(page, rq.nPageCount, rows);
    rq.nFirstRow = pr.first;
    rq.nLastRow = pr.last;
    return rq;
}

PrintRequest PrintRange(int rows, int first, int last) {
    PrintRequest rq;
    rq.nRowCount = rows;
    rq.nPageCount = ReportPageCount(rows);
    rq.nMode = 1;
    rq.nStartPage = first;
    rq.nEndPage = last;
    rq.nRowsPerPage = kRowsPerPage;
    return rq;
}

// x positions of the vertical lines between y0 and y1.
std::vector<int> VerticalLinesIn(const RecordingSurface& s, int y0, int y1) {
    std::vector<int> xs;
    for (const auto& e : s.Lines())
        if (e.rect.left == e.rect.right && e.rect.top == y0 && e.rect.bottom == y1) xs.push_back(e.rect.left);
    return xs;
}

std::vector<RecordingSurface::Entry> HorizontalLines(const RecordingSurface& s) {
    std::vector<RecordingSurface::Entry> out;
    for (const auto& e : s.Lines())
        if (e.rect.top == e.rect.bottom) out.push_back(e);
    return out;
}

class ReportLayoutTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_nPageWidthMM = kDefaultPageWidthMM;
        g_nPageHeightMM = kDefaultPageHeightMM;
    }
    void TearDown() override { SetUp(); }
};

TEST_F(ReportLayoutTest, PageCountAndRowsOfPage) {
    EXPECT_EQ(ReportPageCount(0), 1);
    EXPECT_EQ(ReportPageCount(24), 1);
    EXPECT_EQ(ReportPageCount(25), 2);
    EXPECT_EQ(ReportPageCount(48), 2);
    EXPECT_EQ(ReportPageCount(49), 3);
    EXPECT_EQ(ReportPageCount(40000), 1667);
    EXPECT_EQ(RowsOfPage(2, 2, 25).first, 25);
    EXPECT_EQ(RowsOfPage(2, 2, 25).last, 25);
    EXPECT_EQ(RowsOfPage(2, 3, 49).first, 25);
    EXPECT_EQ(RowsOfPage(2, 3, 49).last, 48);
    // A page past the report never reaches lines past the counter.
    const PageRows beyond = RowsOfPage(4, 3, 49);
    EXPECT_GT(beyond.first, beyond.last);
}

TEST_F(ReportLayoutTest, PreviewGridOnA96DpiScreen) {
    const LineReport store = NumberedReport(2);
    RecordingSurface s(96, 96, false);
    DrawReportPage(s, PreviewRequest(2, 1), store, 0);

    // Header band 20..27 mm = 60..81 dots, table bands 81..102 and 102..123.
    const std::vector<int> expected{30, 67, 98, 120, 149, 193, 302, 357, 407, 451, 515, 559, 623, 667, 731, 760, 792};
    EXPECT_EQ(VerticalLinesIn(s, 60, 81), expected);
    EXPECT_EQ(VerticalLinesIn(s, 81, 102), expected);
    EXPECT_EQ(VerticalLinesIn(s, 102, 123), expected);

    const auto rules = HorizontalLines(s);
    ASSERT_EQ(rules.size(), 4u);  // header top and bottom, one per line
    std::vector<int> ys;
    for (const auto& r : rules) {
        EXPECT_EQ(r.rect.left, 30);
        EXPECT_EQ(r.rect.right, 792);
        EXPECT_EQ(r.penWidth, 1);
        ys.push_back(r.rect.top);
    }
    EXPECT_EQ(ys, (std::vector<int>{60, 81, 102, 123}));

    // The first cell starts left of the page and is centred between the
    // first two separators' neighbourhood.
    const auto* first = s.FindText("R1C0");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->rect, (DeviceRect{-5, 81, 102, 102}));
    EXPECT_EQ(first->align, TextAlign::Center);
    EXPECT_EQ(first->fontHeight, -11);

    // Page frame: 2-dot pen, the whole page, and the pen restored afterwards.
    const auto rects = s.Filter(Op::Rectangle);
    ASSERT_EQ(rects.size(), 1u);
    EXPECT_EQ(rects[0].rect, (DeviceRect{0, 0, 891, 630}));
    EXPECT_EQ(rects[0].penWidth, 2);
    EXPECT_EQ(s.CurrentPen(), 0);
    EXPECT_EQ(s.CurrentFont(), 0);
    EXPECT_EQ(s.LiveObjects(), 0);
    EXPECT_EQ(s.Count(Op::StartDoc), 0);
}

TEST_F(ReportLayoutTest, PreviewTextsFontsAndFooter) {
    LineReport store = NumberedReport(2);
    RecordingSurface s(96, 96, false);
    PrintRequest rq = PreviewRequest(2, 1);
    rq.nPageCount = 7;  // the footer shows what the request says
    DrawReportPage(s, rq, store, 0);

    const auto* title = s.FindText("Measurement Result");
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(title->rect, (DeviceRect{0, 30, 891, 60}));
    EXPECT_EQ(title->align, TextAlign::Center);
    EXPECT_EQ(title->fontHeight, -19);

    const auto* model = s.FindText("Model:V208 S/N:0000042");
    ASSERT_NE(model, nullptr);
    EXPECT_EQ(model->rect, (DeviceRect{60, 30, 891, 60}));
    EXPECT_EQ(model->align, TextAlign::Left);
    EXPECT_EQ(model->fontHeight, -13);

    // Header titles, exactly, in column order.
    const std::vector<std::string> titles{"Reocrd",     "Mode",       "Loc.",    "Points",   "Cycles",  "DateTime",
                                          " Samp Time", " Hold Time", "CH1Size", "CH1 Data", "CH2Size", "CH2 Data",
                                          "CH3Size",    "CH3 Data",   "Unit",    "Status"};
    std::vector<std::string> header;
    for (const auto& e : s.Texts())
        if (e.rect.top == 60 && e.rect.bottom == 81) header.push_back(e.text);
    EXPECT_EQ(header, titles);

    // Two lines: footer at 39..51 mm.
    const auto* page = s.FindText("Page 1 of 7");
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->rect, (DeviceRect{702, 117, 792, 153}));
    EXPECT_EQ(page->align, TextAlign::Right);
    const auto texts = s.Texts();
    const auto date =
        std::find_if(texts.begin(), texts.end(), [](const auto& e) { return e.text.rfind("Print Date:", 0) == 0; });
    ASSERT_NE(date, texts.end());
    EXPECT_EQ(date->rect, (DeviceRect{30, 117, 162, 153}));
    EXPECT_EQ(date->align, TextAlign::Left);
    EXPECT_EQ(date->fontHeight, -11);
}

TEST_F(ReportLayoutTest, FooterFollowsTheLastBand) {
    const LineReport store = NumberedReport(25);
    {
        RecordingSurface s(96, 96, false);
        DrawReportPage(s, PreviewRequest(25, 1), store, 0);
        const auto* page = s.FindText("Page 1 of 2");
        ASSERT_NE(page, nullptr);
        EXPECT_EQ(page->rect.top, 193 * 3);
        EXPECT_EQ(page->rect.bottom, 205 * 3);
        EXPECT_NE(s.FindText("R24C15"), nullptr);
        EXPECT_EQ(s.FindText("R25C0"), nullptr);
    }
    {
        // Page 2 holds line 25 alone; its footer stands at 32 to 44 mm.
        RecordingSurface s(96, 96, false);
        DrawReportPage(s, PreviewRequest(25, 2), store, 0);
        const auto* page = s.FindText("Page 2 of 2");
        ASSERT_NE(page, nullptr);
        EXPECT_EQ(page->rect.top, 32 * 3);
        EXPECT_EQ(page->rect.bottom, 44 * 3);
        EXPECT_NE(s.FindText("R25C0"), nullptr);
        EXPECT_EQ(s.FindText("R24C0"), nullptr);
    }
    {
        // No table lines: the footer follows the column header.
        RecordingSurface s(96, 96, false);
        PrintRequest rq = PreviewRequest(25, 2);
        rq.nFirstRow = 26;
        rq.nLastRow = 25;
        DrawReportPage(s, rq, store, 0);
        const auto* page = s.FindText("Page 2 of 2");
        ASSERT_NE(page, nullptr);
        EXPECT_EQ(page->rect.top, 25 * 3);
        EXPECT_EQ(page->rect.bottom, 37 * 3);
        EXPECT_EQ(HorizontalLines(s).size(), 2u);
    }
}

TEST_F(ReportLayoutTest, PrintGridAt600Dpi) {
    const LineReport store = NumberedReport(1);
    RecordingSurface s(600, 600, true);
    PrintReportPages(s, PrintRange(1, 1, 1), store, 0);

    const int dY = 23;
    const std::vector<int> expected{430,  747,  961,  1163, 1355, 1690, 2390, 2845, 3195,
                                    3599, 4023, 4427, 4851, 5255, 5679, 5922, 6172};
    EXPECT_EQ(VerticalLinesIn(s, 20 * dY, 27 * dY), expected);
    EXPECT_EQ(VerticalLinesIn(s, 27 * dY, 34 * dY), expected);
    for (const auto& r : HorizontalLines(s)) {
        EXPECT_EQ(r.rect.left, 430);
        EXPECT_EQ(r.rect.right, 6164);
    }
    const auto* first = s.FindText("R1C0");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->rect.left, 395);
    EXPECT_EQ(first->rect.right, 782);
    EXPECT_EQ(first->fontHeight, -67);
    EXPECT_EQ(s.FindText("Measurement Result")->fontHeight, -117);
    EXPECT_EQ(s.FindText("Model:V208 S/N:0000042")->fontHeight, -83);

    // No page frame on paper; the footer uses the print positions and the
    // page text ends with a blank.
    EXPECT_EQ(s.Count(Op::Rectangle), 0);
    const auto* page = s.FindText("Page 1 of 1 ");
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->rect, (DeviceRect{224 * 23, 32 * dY, 269 * 23, 44 * dY}));
    EXPECT_EQ(s.FindText("Page 1 of 1"), nullptr);
    const auto texts = s.Texts();
    const auto date =
        std::find_if(texts.begin(), texts.end(), [](const auto& e) { return e.text.rfind("Print Date:", 0) == 0; });
    ASSERT_NE(date, texts.end());
    EXPECT_EQ(date->rect.left, 17 * 23);
    EXPECT_EQ(date->rect.right, 64 * 23);
    EXPECT_EQ(s.LiveObjects(), 0);
    EXPECT_EQ(s.CurrentFont(), 0);
}

TEST_F(ReportLayoutTest, PrintsExactlyTheRequestedPages) {
    const LineReport store = NumberedReport(49);
    RecordingSurface s(600, 600, true);
    PrintReportPages(s, PrintRange(49, 2, 2), store, 0);

    std::vector<Op> doc;
    for (const auto& e : s.entries)
        if (e.op != Op::Text && e.op != Op::Line) doc.push_back(e.op);
    EXPECT_EQ(doc, (std::vector<Op>{Op::StartDoc, Op::StartPage, Op::EndPage, Op::EndDoc}));
    EXPECT_EQ(s.entries.front().text, "Measurement Result");  // document name
    EXPECT_EQ(s.FindText("R24C0"), nullptr);
    EXPECT_NE(s.FindText("R25C0"), nullptr);
    EXPECT_NE(s.FindText("R48C15"), nullptr);
    EXPECT_EQ(s.FindText("R49C0"), nullptr);
    EXPECT_NE(s.FindText("Page 2 of 3 "), nullptr);

    // Each page repeats the title and model line; the date is one for the run.
    RecordingSurface all(600, 600, true);
    PrintReportPages(all, PrintRange(49, 1, 3), store, 0);
    EXPECT_EQ(all.Count(Op::StartPage), 3);
    int titles = 0;
    std::set<std::string> dates;
    for (const auto& e : all.Texts()) {
        if (e.text == "Measurement Result") ++titles;
        if (e.text.rfind("Print Date:", 0) == 0) dates.insert(e.text);
    }
    EXPECT_EQ(titles, 3);
    EXPECT_EQ(dates.size(), 1u);
    EXPECT_NE(all.FindText("R49C15"), nullptr);
    EXPECT_NE(all.FindText("Page 3 of 3 "), nullptr);

    // An empty range ends the document without a page.
    RecordingSurface none(600, 600, true);
    PrintReportPages(none, PrintRange(49, 3, 2), store, 0);
    EXPECT_EQ(none.Count(Op::StartDoc), 1);
    EXPECT_EQ(none.Count(Op::StartPage), 0);
    EXPECT_EQ(none.Count(Op::EndDoc), 1);
    EXPECT_EQ(none.LiveObjects(), 0);
}

// Paper narrower than A4 landscape takes the whole page shrunk to its width
// (so every column stays on the paper) and as many lines as fit its height;
// A4 landscape stays as it is.
TEST_F(ReportLayoutTest, PaperOtherThanA4LandscapeIsLaidOutAnew) {
    struct Fit {
        int w, h, num, den, rows;
    };
    for (const Fit f :
         {Fit{297, 210, 1, 1, 24}, Fit{210, 297, 210, 297, 54}, Fit{420, 297, 1, 1, 37}, Fit{297, 420, 1, 1, 54},
          Fit{148, 210, 148, 297, 54}, Fit{257, 182, 257, 297, 24}, Fit{105, 10, 105, 297, 1}}) {
        const PageFit fit = FitReportToPage(f.w, f.h);
        EXPECT_EQ(fit.scaleNum * f.den, f.num * fit.scaleDen) << f.w << "x" << f.h;
        EXPECT_EQ(fit.rowsPerPage, f.rows) << f.w << "x" << f.h;
    }
    EXPECT_EQ(ReportPageCount(120, 54), 3);
    EXPECT_EQ(ReportPageCount(108, 54), 2);
    EXPECT_EQ(ReportPageCount(120, 24), ReportPageCount(120));

    g_nPageWidthMM = 210;
    g_nPageHeightMM = 297;
    const LineReport store = NumberedReport(60);
    RecordingSurface s(96, 96, false);
    PrintRequest rq = PreviewRequest(60, 1);
    rq.nRowsPerPage = 54;
    rq.nPageCount = 2;
    rq.nLastRow = 54;
    DrawReportPage(s, rq, store, 0);
    // The frame is the paper; everything on it is the landscape page times
    // 210/297, the grid ending at 792 * 210 / 297 = 560 of 630 dots.
    EXPECT_EQ(s.Filter(Op::Rectangle)[0].rect, (DeviceRect{0, 0, 630, 891}));
    const std::vector<int> header = VerticalLinesIn(s, 42, 57);
    ASSERT_EQ(header.size(), 17u);
    EXPECT_EQ(header.front(), 21);
    EXPECT_EQ(header.back(), 560);
    for (const auto& e : s.entries) {
        if (e.op != Op::Text && e.op != Op::Line) continue;
        EXPECT_LE(e.rect.right, 630) << e.text;
        EXPECT_LE(e.rect.bottom, 891) << e.text;
    }
    EXPECT_EQ(s.FindText("Measurement Result")->rect.right, 630);  // centred on the paper
    EXPECT_EQ(s.FindText("R1C0")->fontHeight, -8);
    EXPECT_NE(s.FindText("R54C15"), nullptr);
    EXPECT_EQ(s.FindText("Page 1 of 2")->rect.bottom, (37 + 7 * 54) * 3 * 210 / 297);
    EXPECT_EQ(s.LiveObjects(), 0);

    // A print run on portrait paper keeps its grid on the paper too.
    RecordingSurface printer(600, 600, true);
    PrintRequest range = PrintRange(60, 2, 2);
    range.nRowsPerPage = 54;
    range.nPageCount = 2;
    PrintReportPages(printer, range, store, 0);
    EXPECT_NE(printer.FindText("R55C0"), nullptr);
    EXPECT_NE(printer.FindText("R60C15"), nullptr);
    EXPECT_EQ(printer.FindText("R54C0"), nullptr);
    for (const auto& e : printer.Lines()) EXPECT_LE(e.rect.right, 210 * 23);
    EXPECT_EQ(printer.LiveObjects(), 0);
}

TEST_F(ReportLayoutTest, DocumentAndPageFailures) {
    const LineReport store = NumberedReport(49);
    int owner = 0;
    {
        RecordingSurface s(600, 600, true);
        s.failStartDoc = -1;
        PrintRequest rq = PrintRange(49, 1, 3);
        rq.hOwnerWnd = &owner;
        PrintReportPages(s, rq, store, 0);
        const auto boxes = s.Filter(Op::ErrorBox);
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, "Failed to connect the Print!");
        EXPECT_EQ(boxes[0].caption, "Error");
        EXPECT_EQ(boxes[0].owner, &owner);
        EXPECT_EQ(s.Count(Op::StartPage), 0);
        EXPECT_EQ(s.Count(Op::EndDoc), 0);
        EXPECT_EQ(s.Count(Op::Text), 0);
        EXPECT_EQ(s.LiveObjects(), 0);
    }
    {
        RecordingSurface s(600, 600, true);
        s.failStartPageAt = 2;
        PrintReportPages(s, PrintRange(49, 1, 3), store, 0);
        const auto boxes = s.Filter(Op::ErrorBox);
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, "Printing failed!");
        EXPECT_EQ(boxes[0].caption, "Error");
        EXPECT_EQ(s.Count(Op::EndPage), 1);  // page 1 stays with the spooler
        EXPECT_EQ(s.Count(Op::AbortDoc), 1);
        EXPECT_EQ(s.Count(Op::EndDoc), 0);
        EXPECT_EQ(s.entries.back().op, Op::AbortDoc);
        EXPECT_EQ(s.LiveObjects(), 0);
    }
    {
        // No device behind the surface: nothing at all.
        RecordingSurface s(600, 600, true);
        s.hasOutputDevice = false;
        PrintReportPages(s, PrintRange(49, 1, 3), store, 0);
        ReportCallback(s, PreviewRequest(49, 1), store);
        EXPECT_TRUE(s.entries.empty());
        EXPECT_EQ(s.LiveObjects(), 0);
    }
}

TEST_F(ReportLayoutTest, CallbackDispatchesOnMode) {
    const LineReport store = NumberedReport(30);
    const ReportCallbackFn callback = MakeReportCallback(store);
    RecordingSurface screen(96, 96, false);
    callback(screen, PreviewRequest(30, 2));
    EXPECT_EQ(screen.Count(Op::Rectangle), 1);
    EXPECT_NE(screen.FindText("Page 2 of 2"), nullptr);
    EXPECT_NE(screen.FindText("R30C3"), nullptr);

    RecordingSurface printer(600, 600, true);
    callback(printer, PrintRange(30, 1, 2));
    EXPECT_EQ(printer.Count(Op::StartPage), 2);
    EXPECT_EQ(printer.Count(Op::Rectangle), 0);
}

TEST_F(ReportLayoutTest, TextsAndNumbers) {
    EXPECT_EQ(report::ModelLine(42), "Model:V208 S/N:0000042");
    EXPECT_EQ(report::ModelLine(123456789), "Model:V208 S/N:123456789");
    EXPECT_EQ(report::PreviewPageText(3, 12), "Page 3 of 12");
    EXPECT_EQ(report::PrintPageText(3, 12), "Page 3 of 12 ");

    EXPECT_EQ(MulDiv(14, 96, 72), 19);
    EXPECT_EQ(MulDiv(8, 600, 72), 67);
    EXPECT_EQ(MulDiv(-3, 1, 2), -2);  // halves away from zero
    EXPECT_EQ(MulDiv(1, 1, 0), -1);
    EXPECT_EQ(DotsPerMM(96), 3);
    EXPECT_EQ(DotsPerMM(600), 23);

    std::tm tm{};
    tm.tm_year = 2024 - 1900;
    tm.tm_mon = 2;
    tm.tm_mday = 5;
    tm.tm_hour = 12;
    tm.tm_isdst = -1;
    EXPECT_EQ(FormatPrintDate(std::mktime(&tm)), "Print Date:2024-03-05");
    // A time that cannot be converted gives an empty date and the page is
    // still drawn.
    const std::time_t huge = static_cast<std::time_t>(0x7fffffffffffffffLL);
    EXPECT_EQ(FormatPrintDate(huge), "");
    const LineReport store = NumberedReport(1);
    RecordingSurface s(96, 96, false);
    DrawReportPage(s, PreviewRequest(1, 1), store, huge);
    EXPECT_NE(s.FindText(""), nullptr);
    EXPECT_NE(s.FindText("Page 1 of 1"), nullptr);
}

TEST_F(ReportLayoutTest, FramePlacementAndPaperSizes) {
    const FrameRect r = PlaceFrameWindow(96, 96, 1920, 1080, 297, 210);
    EXPECT_EQ(r.x, 395);
    EXPECT_EQ(r.y, 10);
    EXPECT_EQ(r.width, 958);
    EXPECT_EQ(r.height, 717);

    struct Case {
        int code, orientation, w, h;
    };
    for (const Case c : {Case{8, 1, 297, 420}, Case{9, 1, 210, 297}, Case{9, 2, 297, 210}, Case{10, 1, 210, 297},
                         Case{11, 1, 148, 210}, Case{12, 1, 250, 354}, Case{13, 2, 257, 182}, Case{70, 1, 105, 148},
                         Case{1, 1, 210, 297}, Case{0, 2, 297, 210}}) {
        ApplyPrinterPaper(c.code, c.orientation);
        EXPECT_EQ(g_nPageWidthMM, c.w) << c.code;
        EXPECT_EQ(g_nPageHeightMM, c.h) << c.code;
    }
}

}  // namespace
}  // namespace oront
