#include "print/ReportLayout.h"

#include <algorithm>
#include <array>

#include "records/CFormat.h"

namespace oront {

int g_nPageWidthMM = kDefaultPageWidthMM;
int g_nPageHeightMM = kDefaultPageHeightMM;

namespace {

struct ColumnDef {
    const char* title;
    int edgePreview;  // E(k) in mm
    int edgePrint;
    int cellInset;       // c(k) in dots
    int separatorInset;  // s(k) in dots
};

// Index 0 is column 1; index 16 is the closing edge E(17).
constexpr std::array<ColumnDef, kReportColumns + 1> kColumns{{
    {"Reocrd", 20, 20, 65, 30},
    {"Mode", 34, 34, 60, 35},
    {"Loc.", 42, 43, 60, 28},
    {"Points", 51, 52, 60, 33},
    {"Cycles", 58, 60, 60, 25},
    {"DateTime", 76, 75, 60, 35},
    {" Samp Time", 109, 105, 60, 25},
    {" Hold Time", 129, 125, 60, 30},
    {"CH1Size", 144, 140, 60, 25},
    {"CH1 Data", 162, 158, 60, 35},
    {"CH2Size", 180, 176, 60, 25},
    {"CH2 Data", 198, 194, 60, 35},
    {"CH3Size", 216, 212, 60, 25},
    {"CH3 Data", 234, 230, 60, 35},
    {"Unit", 252, 248, 60, 25},
    {"Status", 265, 259, 50, 35},
    {nullptr, 269, 269, 0, 15},
}};

// Vertical bands in millimetres.
constexpr int kTitleTopMM = 10;
constexpr int kTitleBottomMM = 20;
constexpr int kHeaderTopMM = 20;
constexpr int kHeaderBottomMM = 27;
constexpr int kLineHeightMM = 7;
constexpr int kFooterTopGapMM = 5;
constexpr int kFooterBottomGapMM = 10;

constexpr int kTitlePoints = 14;
constexpr int kModelPoints = 10;
constexpr int kTablePoints = 8;
constexpr int kFramePenWidth = 2;

const ColumnDef& Column(int k) {
    return kColumns[static_cast<std::size_t>(std::clamp(k, 1, kReportColumns + 1) - 1)];
}

struct ReportFonts {
    ReportSurface::FontId title = 0;
    ReportSurface::FontId model = 0;
    ReportSurface::FontId table = 0;
};

ReportFonts CreateReportFonts(ReportSurface& dc) {
    const int dpiY = dc.AttributeDpiY();
    auto make = [&](int points) {
        return dc.CreateFont(FontHeightForPoints(points, dpiY), kFontWeightNormal, kReportFontFace, kFontQualityDraft,
                             kFontFamilySwiss);
    };
    return {make(kTitlePoints), make(kModelPoints), make(kTablePoints)};
}

void DeleteReportFonts(ReportSurface& dc, const ReportFonts& fonts) {
    dc.DeleteFont(fonts.title);
    dc.DeleteFont(fonts.model);
    dc.DeleteFont(fonts.table);
}

void HorizontalRule(ReportSurface& dc, ReportGrid grid, int dX, int y) {
    dc.MoveTo(RuleLeftX(dX), y);
    dc.LineTo(RuleRightX(grid, dX), y);
}

void Separators(ReportSurface& dc, ReportGrid grid, int dX, int top, int bottom) {
    for (int k = 1; k <= kReportColumns + 1; ++k) {
        const int x = SeparatorX(grid, k, dX);
        dc.MoveTo(x, top);
        dc.LineTo(x, bottom);
    }
}

// Passes the drawing on to another surface with every position and font
// height scaled by num / den: the page laid out for A4 landscape, drawn on
// narrower paper.
class ScaledSurface : public ReportSurface {
public:
    ScaledSurface(ReportSurface& inner, int num, int den) : m_inner(inner), m_num(num), m_den(den) {}

    [[nodiscard]] bool HasOutputDevice() const override { return m_inner.HasOutputDevice(); }
    [[nodiscard]] int DpiX() const override { return m_inner.DpiX(); }
    [[nodiscard]] int DpiY() const override { return m_inner.DpiY(); }
    [[nodiscard]] int AttributeDpiY() const override { return m_inner.AttributeDpiY(); }

    FontId CreateFont(int height, int weight, std::string_view face, int quality, int pitchAndFamily) override {
        return m_inner.CreateFont(Scale(height), weight, face, quality, pitchAndFamily);
    }
    FontId SelectFont(FontId font) override { return m_inner.SelectFont(font); }
    void DeleteFont(FontId font) override { m_inner.DeleteFont(font); }
    PenId CreatePen(int width) override { return m_inner.CreatePen(width); }
    PenId SelectPen(PenId pen) override { return m_inner.SelectPen(pen); }
    void DeletePen(PenId pen) override { m_inner.DeletePen(pen); }

    void DrawText(std::string_view text, const DeviceRect& rect, TextAlign align) override {
        m_inner.DrawText(text, Scale(rect), align);
    }
    void MoveTo(int x, int y) override { m_inner.MoveTo(Scale(x), Scale(y)); }
    void LineTo(int x, int y) override { m_inner.LineTo(Scale(x), Scale(y)); }
    void Rectangle(const DeviceRect& rect) override { m_inner.Rectangle(Scale(rect)); }

private:
    [[nodiscard]] int Scale(int v) const { return MulDiv(v, m_num, m_den); }
    [[nodiscard]] DeviceRect Scale(const DeviceRect& r) const {
        return {Scale(r.left), Scale(r.top), Scale(r.right), Scale(r.bottom)};
    }

    ReportSurface& m_inner;
    int m_num;
    int m_den;
};

// Title, model line, column header and the table lines first..last of one
// page. Returns the last drawn band (top and bottom in mm) for the footer.
struct BandMM {
    int top;
    int bottom;
};

BandMM DrawPageBody(ReportSurface& dc, ReportGrid grid, const ReportFonts& fonts, const ReportSource& source, int first,
                    int last, int dX, int dY, int contentWidthMM) {
    // The caller has selected the title font (remembering the one it replaced).
    const int pageRight = contentWidthMM * dX;
    dc.DrawText(report::kTitle, {0, kTitleTopMM * dY, pageRight, kTitleBottomMM * dY}, TextAlign::Center);

    dc.SelectFont(fonts.model);
    dc.DrawText(report::ModelLine(source.ReportSerialNumber()),
                {20 * dX, kTitleTopMM * dY, pageRight, kTitleBottomMM * dY}, TextAlign::Left);

    dc.SelectFont(fonts.table);
    const int headerTop = kHeaderTopMM * dY;
    const int headerBottom = kHeaderBottomMM * dY;
    HorizontalRule(dc, grid, dX, headerTop);
    for (int k = 1; k <= kReportColumns; ++k)
        dc.DrawText(ColumnTitle(k), CellRect(grid, k, dX, headerTop, headerBottom), TextAlign::Center);
    Separators(dc, grid, dX, headerTop, headerBottom);
    HorizontalRule(dc, grid, dX, headerBottom);

    BandMM lastBand{kHeaderTopMM, kHeaderBottomMM};
    int band = 0;
    for (int row = first; row <= last; ++row, ++band) {
        const int topMM = kHeaderBottomMM + kLineHeightMM * band;
        const int bottomMM = topMM + kLineHeightMM;
        const int top = topMM * dY;
        const int bottom = bottomMM * dY;
        const ReportLine line = source.ReportLineAt(row - 1);
        for (int k = 1; k <= kReportColumns; ++k)
            dc.DrawText(line.cell[static_cast<std::size_t>(k - 1)].view(), CellRect(grid, k, dX, top, bottom),
                        TextAlign::Center);
        Separators(dc, grid, dX, top, bottom);
        HorizontalRule(dc, grid, dX, bottom);
        lastBand = {topMM, bottomMM};
    }
    return lastBand;
}

}  // namespace

int ReportPageCount(int rowCount) {
    return ReportPageCount(rowCount, kRowsPerPage);
}

int ReportPageCount(int rowCount, int rowsPerPage) {
    if (rowsPerPage <= 0) rowsPerPage = kRowsPerPage;
    if (rowCount <= rowsPerPage) return 1;
    const int q = (rowCount - rowsPerPage) / rowsPerPage;
    const int r = (rowCount - rowsPerPage) % rowsPerPage;
    return r == 0 ? q + 1 : q + 2;
}

PageFit FitReportToPage(int widthMM, int heightMM) {
    PageFit fit;
    if (widthMM > 0 && widthMM < kDefaultPageWidthMM) {
        fit.scaleNum = widthMM;
        fit.scaleDen = kDefaultPageWidthMM;
        fit.contentWidthMM = kDefaultPageWidthMM;
    } else {
        fit.contentWidthMM = widthMM;
    }
    // n lines end with the footer at 27 + 7n + 10 mm of the unscaled page,
    // which must lie within heightMM * den / num.
    const long long room = static_cast<long long>(heightMM) * fit.scaleDen -
                           static_cast<long long>(kHeaderBottomMM + kFooterBottomGapMM) * fit.scaleNum;
    const long long rows = room / (static_cast<long long>(kLineHeightMM) * fit.scaleNum);
    fit.rowsPerPage = static_cast<int>(std::clamp<long long>(rows, 1, 1000000));
    return fit;
}

PageRows RowsOfPage(int page, int pageCount, int rowCount, int rowsPerPage) {
    if (rowsPerPage <= 0) rowsPerPage = kRowsPerPage;
    PageRows rows;
    rows.first = rowsPerPage * (page - 1) + 1;
    rows.last = page == pageCount ? rowCount : rowsPerPage * page;
    // Never reach past the report table's counter or before its first line:
    // lines there are left over from an earlier download.
    rows.first = std::max(rows.first, 1);
    rows.last = std::min(rows.last, rowCount);
    return rows;
}

int MulDiv(int a, int b, int c) {
    if (c == 0) return -1;
    const long long num = static_cast<long long>(a) * b;
    long long den = c;
    const bool neg = (num < 0) != (den < 0);
    unsigned long long n = num < 0 ? 0ULL - static_cast<unsigned long long>(num) : static_cast<unsigned long long>(num);
    unsigned long long d = den < 0 ? 0ULL - static_cast<unsigned long long>(den) : static_cast<unsigned long long>(den);
    const unsigned long long q = (n + d / 2) / d;
    const long long v = neg ? -static_cast<long long>(q) : static_cast<long long>(q);
    if (v > 2147483647LL || v < -2147483648LL) return -1;
    return static_cast<int>(v);
}

std::string FormatPrintDate(std::time_t t) {
    std::tm tm{};
#ifdef _WIN32
    if (localtime_s(&tm, &t) != 0) return {};
#else
    if (localtime_r(&t, &tm) == nullptr) return {};
#endif
    std::string s = "Print Date:";
    s += FormatInt(static_cast<long long>(tm.tm_year) + 1900);
    s += '-';
    s += FormatZeroPad(tm.tm_mon + 1, 2);
    s += '-';
    s += FormatZeroPad(tm.tm_mday, 2);
    return s;
}

namespace report {
std::string ModelLine(std::int32_t serialNumber) {
    return "Model:V208 S/N:" + FormatMinDigits(serialNumber, 7);
}
std::string PreviewPageText(int page, int pageCount) {
    return "Page " + FormatInt(page) + " of " + FormatInt(pageCount);
}
std::string PrintPageText(int page, int pageCount) {
    return PreviewPageText(page, pageCount) + " ";
}
}  // namespace report

const char* ColumnTitle(int k) {
    return k >= 1 && k <= kReportColumns ? Column(k).title : "";
}

int ColumnEdgeMM(ReportGrid grid, int k) {
    const ColumnDef& c = Column(k);
    return grid == ReportGrid::Preview ? c.edgePreview : c.edgePrint;
}

int SeparatorX(ReportGrid grid, int k, int dX) {
    return ColumnEdgeMM(grid, k) * dX - Column(k).separatorInset;
}

DeviceRect CellRect(ReportGrid grid, int k, int dX, int top, int bottom) {
    return {ColumnEdgeMM(grid, k) * dX - Column(k).cellInset, top, ColumnEdgeMM(grid, k + 1) * dX, bottom};
}

int RuleLeftX(int dX) {
    return 20 * dX - 30;
}
int RuleRightX(ReportGrid grid, int dX) {
    return (grid == ReportGrid::Preview ? 264 : 268) * dX;
}

void DrawReportPage(ReportSurface& dc, const PrintRequest& request, const ReportSource& source) {
    DrawReportPage(dc, request, source, std::time(nullptr));
}

void DrawReportPage(ReportSurface& dc, const PrintRequest& request, const ReportSource& source, std::time_t now) {
    const std::string dateText = FormatPrintDate(now);
    const std::string pageText = report::PreviewPageText(request.nCurrentPage, request.nPageCount);

    // Everything but the page frame goes through `page`, scaled onto paper
    // narrower than A4 landscape.
    const PageFit fit = FitReportToPage(g_nPageWidthMM, g_nPageHeightMM);
    ScaledSurface scaled(dc, fit.scaleNum, fit.scaleDen);
    ReportSurface& page = fit.scaleNum == fit.scaleDen ? dc : scaled;

    const ReportFonts fonts = CreateReportFonts(page);
    const ReportSurface::PenId framePen = dc.CreatePen(kFramePenWidth);
    const int dX = DotsPerMM(dc.DpiX());
    const int dY = DotsPerMM(dc.DpiY());

    const ReportSurface::PenId oldPen = dc.SelectPen(framePen);
    dc.Rectangle({0, 0, g_nPageWidthMM * dX, g_nPageHeightMM * dY});
    dc.SelectPen(oldPen);

    const ReportSurface::FontId oldFont = page.SelectFont(fonts.title);
    const BandMM last = DrawPageBody(page, ReportGrid::Preview, fonts, source, request.nFirstRow, request.nLastRow, dX,
                                     dY, fit.contentWidthMM);

    const int footerTop = (last.top + kFooterTopGapMM) * dY;
    const int footerBottom = (last.bottom + kFooterBottomGapMM) * dY;
    page.DrawText(dateText, {10 * dX, footerTop, 54 * dX, footerBottom}, TextAlign::Left);
    page.DrawText(pageText, {234 * dX, footerTop, 264 * dX, footerBottom}, TextAlign::Right);

    page.SelectFont(oldFont);
    DeleteReportFonts(page, fonts);
    dc.DeletePen(framePen);
}

void PrintReportPages(ReportSurface& dc, const PrintRequest& request, const ReportSource& source) {
    PrintReportPages(dc, request, source, std::time(nullptr));
}

void PrintReportPages(ReportSurface& dc, const PrintRequest& request, const ReportSource& source, std::time_t now) {
    if (!dc.HasOutputDevice()) return;
    const std::string dateText = FormatPrintDate(now);
    // The document calls go to the printer, the drawing through `sheet`,
    // scaled onto paper narrower than A4 landscape.
    const PageFit fit = FitReportToPage(g_nPageWidthMM, g_nPageHeightMM);
    ScaledSurface scaled(dc, fit.scaleNum, fit.scaleDen);
    ReportSurface& sheet = fit.scaleNum == fit.scaleDen ? dc : scaled;
    const ReportFonts fonts = CreateReportFonts(sheet);
    const int dX = DotsPerMM(dc.DpiX());
    const int dY = DotsPerMM(dc.DpiY());

    if (dc.StartDoc(report::kDocName) < 0) {
        dc.ErrorBox(request.hOwnerWnd, report::kConnectFailed, report::kErrorCaption);
        DeleteReportFonts(dc, fonts);
        return;
    }
    for (int page = request.nStartPage; page <= request.nEndPage; ++page) {
        if (dc.StartPage() < 0) {
            dc.ErrorBox(request.hOwnerWnd, report::kPrintFailed, report::kErrorCaption);
            dc.AbortDoc();
            DeleteReportFonts(dc, fonts);
            return;
        }
        const PageRows rows = RowsOfPage(page, request.nPageCount, request.nRowCount, request.nRowsPerPage);
        const ReportSurface::FontId oldFont = sheet.SelectFont(fonts.title);
        const BandMM last =
            DrawPageBody(sheet, ReportGrid::Print, fonts, source, rows.first, rows.last, dX, dY, fit.contentWidthMM);
        const int footerTop = (last.top + kFooterTopGapMM) * dY;
        const int footerBottom = (last.bottom + kFooterBottomGapMM) * dY;
        sheet.DrawText(dateText, {17 * dX, footerTop, 64 * dX, footerBottom}, TextAlign::Left);
        sheet.DrawText(report::PrintPageText(page, request.nPageCount), {224 * dX, footerTop, 269 * dX, footerBottom},
                       TextAlign::Right);
        dc.EndPage();
        dc.SelectFont(oldFont);
    }
    dc.EndDoc();
    DeleteReportFonts(dc, fonts);
}

void ReportCallback(ReportSurface& dc, const PrintRequest& request, const ReportSource& source) {
    if (!dc.HasOutputDevice()) return;
    if (request.nMode != 0)
        PrintReportPages(dc, request, source);
    else
        DrawReportPage(dc, request, source);
}

ReportCallbackFn MakeReportCallback(const ReportSource& source) {
    return [&source](ReportSurface& dc, const PrintRequest& request) { ReportCallback(dc, request, source); };
}

FrameRect PlaceFrameWindow(int px, int py, int sw, int sh, int widthMM, int heightMM) {
    const int wpx = widthMM * px * 10 / 254;
    const int hpx = heightMM * py * 10 / 254;
    FrameRect r;
    r.x = (sw - wpx) / 2 - 4;
    r.y = 10;
    r.width = wpx - (3 * px) / 2 - 20;
    r.height = std::min(sh, hpx) - py + 20;
    return r;
}

void SetPageSizeFromPaper(int paperCode) {
    int w = 210;
    int h = 297;
    switch (paperCode) {
        case paper::kA3:
            w = 297, h = 420;
            break;
        case paper::kA4:
        case paper::kA4Small:
            w = 210, h = 297;
            break;
        case paper::kA5:
            w = 148, h = 210;
            break;
        case paper::kB4:
            w = 250, h = 354;
            break;
        case paper::kB5:
            w = 182, h = 257;
            break;
        case paper::kA6:
            w = 105, h = 148;
            break;
        default:
            break;
    }
    g_nPageWidthMM = w;
    g_nPageHeightMM = h;
}

void ApplyPrinterPaper(int paperCode, int orientation) {
    SetPageSizeFromPaper(paperCode);
    if (orientation == paper::kLandscape) std::swap(g_nPageWidthMM, g_nPageHeightMM);
}

}  // namespace oront
