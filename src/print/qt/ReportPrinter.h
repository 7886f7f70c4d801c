// The report without a window: printed exactly as a print run from the
// preview does (PrintReportPages), on a 600-dpi A4 landscape printer, into a
// PDF file or to a named printer queue.
#pragma once

#include <QPageLayout>
#include <QPageSize>
#include <string>

#include "print/ReportLayout.h"
#include "records/RecordStore.h"

class QPrinter;

namespace oront {

class QtReportSurface;

struct ReportPrintOptions {
    std::string outPdf;       // PDF file to write (when no printer is named)
    std::string printerName;  // a printer queue; empty: write outPdf
    int firstPage = 0;        // 0: from page 1
    int lastPage = 0;         // 0: to the last page; beyond it: the last page
    void* owner = nullptr;    // the request's hOwnerWnd
};

// Needs a QGuiApplication. A report without lines is "No data!". On failure returns false with the message the
// program shows for it, and leaves no output file behind (an existing file
// of that name stays as it was): the PDF is drawn in memory and written
// through OutputFile. A file that cannot be written gives "Failed to connect
// the Print! (<cause>: <path>)", a job the printer queue refuses "Printing
// failed! (<cause>)" (PrintRunFailure). The path is used as the bytes it is, also
// when they are not UTF-8.
bool PrintReportToDevice(const ReportSource& report, const ReportPrintOptions& options, std::string& errorMessage);
// The same for a report drawn by `callback` (rowCount report lines), as the
// preview holds it: the preview's Export PDF writes what the command-line
// tool writes. Both print on the report's paper (g_nPageWidthMM x
// g_nPageHeightMM, A4 landscape unless printer setup chose another) with
// the lines a page it takes.
bool PrintReportToDevice(const ReportCallbackFn& callback, int rowCount, const ReportPrintOptions& options,
                         std::string& errorMessage);

// Why a print run whose pages were all drawn did not reach `printer` (a
// printer queue, or nullptr for a file), or empty when it did: the device
// refused to end the document, or the printing system refused the job. CUPS
// receives the job only when the document ends and Qt does not pass its
// answer on, so the answer is read from CUPS itself.
std::string PrintRunFailure(const QtReportSurface& surface, const QPrinter* printer);

// The report's paper and its orientation (landscape when the page is wider
// than high).
QPageSize ReportPageSize();
QPageLayout::Orientation ReportOrientation();

}  // namespace oront
