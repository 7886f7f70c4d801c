// The printed report: page geometry, the two renderers (screen preview and
// printer) and the drawing surface they draw on.
//
// Every position is given in millimetres and turned into device dots with
// the receiving device's own whole dots per millimetre, dX = floor(dpi * 10 /
// 254); a few positions add a fixed number of unscaled dots. So the same page
// gives different pictures on a 96-dpi screen (dX = 3) and on a 600-dpi
// printer (dX = 23), and both renderers work exactly this way.
//
// Nothing here depends on a window toolkit: the Qt surface lives in
// print/qt, the tests use RecordingSurface.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <string_view>

#include "records/RecordStore.h"

namespace oront {

// Page size of the report in millimetres. The preview resets it to A4
// landscape each time it opens; printer setup may change it.
extern int g_nPageWidthMM;
extern int g_nPageHeightMM;

inline constexpr int kDefaultPageWidthMM = 297;
inline constexpr int kDefaultPageHeightMM = 210;
inline constexpr int kRowsPerPage = 24;

// The request handed to the report callback.
struct PrintRequest {
    std::int32_t nRowCount = 0;     // report lines to print
    std::int32_t nPageCount = 0;    // pages of the report
    std::int32_t nCurrentPage = 0;  // page shown by the preview, 1-based
    std::int32_t nMode = 0;         // 0: draw nCurrentPage; otherwise print nStartPage..nEndPage
    void* hOwnerWnd = nullptr;      // owner of the print run's message boxes (a QWidget* in the program)
    std::int32_t nStartPage = 0;
    std::int32_t nEndPage = 0;
    std::int32_t nFirstRow = 0;  // first report line of nCurrentPage, 1-based
    std::int32_t nLastRow = 0;   // last report line of nCurrentPage, inclusive
    std::int32_t nRowsPerPage = 0;
};

enum class TextAlign { Left, Center, Right };

struct DeviceRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    friend bool operator==(const DeviceRect&, const DeviceRect&) = default;
};

// Font parameters the report uses.
inline constexpr int kFontWeightNormal = 400;
inline constexpr int kFontQualityDraft = 1;
inline constexpr int kFontFamilySwiss = 32;
inline constexpr const char* kReportFontFace = "Arial";

// What the renderers need of a device. Font and pen ids are the surface's
// own; id 0 stands for the object the surface started with (its stock font
// and its default pen: solid, black, one dot).
class ReportSurface {
public:
    using FontId = int;
    using PenId = int;

    virtual ~ReportSurface() = default;

    // False for a device context without a device behind it: nothing is
    // drawn and nothing is reported.
    [[nodiscard]] virtual bool HasOutputDevice() const = 0;
    [[nodiscard]] virtual int DpiX() const = 0;
    [[nodiscard]] virtual int DpiY() const = 0;
    // Vertical resolution of the attribute device, which fonts are scaled for.
    [[nodiscard]] virtual int AttributeDpiY() const { return DpiY(); }

    // height < 0: character height in dots; weight 400 normal.
    virtual FontId CreateFont(int height, int weight, std::string_view face, int quality, int pitchAndFamily) = 0;
    virtual FontId SelectFont(FontId font) = 0;  // returns the font it replaces
    virtual void DeleteFont(FontId font) = 0;
    virtual PenId CreatePen(int width) = 0;  // solid, black
    virtual PenId SelectPen(PenId pen) = 0;  // returns the pen it replaces
    virtual void DeletePen(PenId pen) = 0;

    // One line of text in the rectangle with the current font: vertically
    // centred, aligned as given and clipped to the rectangle.
    virtual void DrawText(std::string_view text, const DeviceRect& rect, TextAlign align) = 0;
    virtual void MoveTo(int x, int y) = 0;
    virtual void LineTo(int x, int y) = 0;  // with the current pen
    // Outlined with the current pen, filled with the current brush (white).
    virtual void Rectangle(const DeviceRect& rect) = 0;

    // Document control of a printer; a negative result is a failure. A
    // surface that is no printer refuses to start a document.
    virtual int StartDoc(std::string_view /*docName*/) { return -1; }
    virtual int EndDoc() { return -1; }
    virtual int StartPage() { return -1; }
    virtual int EndPage() { return -1; }
    virtual int AbortDoc() { return -1; }

    // The print run's failure messages (error icon, OK button).
    virtual void ErrorBox(void* /*owner*/, std::string_view /*text*/, std::string_view /*caption*/) {}
};

// The report callback as the preview frame holds it: the store is bound by
// whoever builds it (MakeReportCallback).
using ReportCallbackFn = std::function<void(ReportSurface&, const PrintRequest&)>;

// Page count for R report lines, 24 a page (1 for R <= 24), or
// rowsPerPage a page.
[[nodiscard]] int ReportPageCount(int rowCount);
[[nodiscard]] int ReportPageCount(int rowCount, int rowsPerPage);

// How the report goes onto a page of widthMM x heightMM. The page is laid
// out for A4 landscape; on narrower paper everything but the page frame is
// drawn scaled by scaleNum / scaleDen (the paper's width over 297 mm), so
// that every column stays on the paper. rowsPerPage is the number of table
// lines whose footer still ends on the paper (24 on A4 landscape, at least
// 1); contentWidthMM is the width the page is laid out for before scaling.
struct PageFit {
    int scaleNum = 1;
    int scaleDen = 1;
    int rowsPerPage = kRowsPerPage;
    int contentWidthMM = kDefaultPageWidthMM;
};
[[nodiscard]] PageFit FitReportToPage(int widthMM, int heightMM);

// First and last report line (1-based, inclusive) of page p.
struct PageRows {
    int first = 0;
    int last = 0;
};
[[nodiscard]] PageRows RowsOfPage(int page, int pageCount, int rowCount, int rowsPerPage = kRowsPerPage);

// Windows' MulDiv: a * b / c rounded to the nearest integer (halves away
// from zero); -1 when c is 0.
[[nodiscard]] int MulDiv(int a, int b, int c);
// Whole dots per millimetre of a device: floor(dpi * 10 / 254).
[[nodiscard]] inline int DotsPerMM(int dpi) {
    return dpi * 10 / 254;
}
// Font height for a point size: -MulDiv(points, dpiY, 72).
[[nodiscard]] inline int FontHeightForPoints(int points, int dpiY) {
    return -MulDiv(points, dpiY, 72);
}

// "Print Date:%Y-%m-%d" of the local time of t; empty when the time cannot
// be converted.
[[nodiscard]] std::string FormatPrintDate(std::time_t t);

// The report texts.
namespace report {
inline constexpr const char* kTitle = "Measurement Result";
inline constexpr const char* kDocName = "Measurement Result";
inline constexpr const char* kErrorCaption = "Error";
inline constexpr const char* kConnectFailed = "Failed to connect the Print!";
inline constexpr const char* kPrintFailed = "Printing failed!";
std::string ModelLine(std::int32_t serialNumber);      // "Model:V208 S/N:%.7d"
std::string PreviewPageText(int page, int pageCount);  // "Page %i of %i"
std::string PrintPageText(int page, int pageCount);    // "Page %i of %i "
}  // namespace report

// The column grid. Column k = 1..16 shows report column k - 1; E(17) closes
// the grid. Values in millimetres except the insets, which are device dots.
enum class ReportGrid { Preview, Print };
inline constexpr int kReportColumns = 16;
[[nodiscard]] const char* ColumnTitle(int k);                                            // k = 1..16
[[nodiscard]] int ColumnEdgeMM(ReportGrid grid, int k);                                  // k = 1..17
[[nodiscard]] int SeparatorX(ReportGrid grid, int k, int dX);                            // k = 1..17
[[nodiscard]] DeviceRect CellRect(ReportGrid grid, int k, int dX, int top, int bottom);  // k = 1..16
[[nodiscard]] int RuleLeftX(int dX);                                                     // 20 mm - 30
[[nodiscard]] int RuleRightX(ReportGrid grid, int dX);                                   // 264 mm preview, 268 mm print

// One preview page on a screen surface (the page frame included).
void DrawReportPage(ReportSurface& dc, const PrintRequest& request, const ReportSource& source);
void DrawReportPage(ReportSurface& dc, const PrintRequest& request, const ReportSource& source, std::time_t now);

// A whole print run from nStartPage to nEndPage on a printer surface.
void PrintReportPages(ReportSurface& dc, const PrintRequest& request, const ReportSource& source);
void PrintReportPages(ReportSurface& dc, const PrintRequest& request, const ReportSource& source, std::time_t now);

// nMode 0 draws the preview page, any other value prints; nothing at all
// when the surface has no output device.
void ReportCallback(ReportSurface& dc, const PrintRequest& request, const ReportSource& source);

// The callback bound to a report (the record store), as the preview frame is
// handed it. The report must outlive the callback.
[[nodiscard]] ReportCallbackFn MakeReportCallback(const ReportSource& source);

// Placement of the preview frame on a screen of sw x sh dots with px x py
// dots per inch, for a page of widthMM x heightMM.
struct FrameRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};
[[nodiscard]] FrameRect PlaceFrameWindow(int px, int py, int sw, int sh, int widthMM, int heightMM);

// Printer paper codes and the page size printer setup takes from them.
namespace paper {
inline constexpr int kA3 = 8;
inline constexpr int kA4 = 9;
inline constexpr int kA4Small = 10;
inline constexpr int kA5 = 11;
inline constexpr int kB4 = 12;
inline constexpr int kB5 = 13;
inline constexpr int kA6 = 70;
inline constexpr int kPortrait = 1;
inline constexpr int kLandscape = 2;
}  // namespace paper

// Sets g_nPageWidthMM x g_nPageHeightMM to the portrait size of the paper
// (210 x 297 for an unknown code).
void SetPageSizeFromPaper(int paperCode);
// SetPageSizeFromPaper, then swaps the two sides for landscape (2).
void ApplyPrinterPaper(int paperCode, int orientation);

}  // namespace oront
