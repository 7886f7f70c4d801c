#include "print/qt/ReportPrinter.h"

#include <QBuffer>
#include <QByteArray>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QPrinter>
#include <QPrinterInfo>
#include <algorithm>

#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
#include <dlfcn.h>
#endif

#include "base/Messages.h"
#include "base/OutputFile.h"
#include "print/ReportLayout.h"
#include "print/qt/QtReportSurface.h"

namespace oront {

namespace {
constexpr int kPrinterDpi = 600;
constexpr const char* kRangeMessage = "The startpage number should not be greater than the endpage number.";
constexpr const char* kNoPrinter = "Failed to initiate the printer!";

// Pages first..last on the device, as a print run from the preview prints
// them; false with the run's message when it fails.
bool PrintPages(const ReportCallbackFn& callback, int rowCount, QPagedPaintDevice* device, QPrinter* printer, int first,
                int last, int pageCount, int rowsPerPage, void* owner, std::string& errorMessage) {
    bool failed = false;
    QtReportSurface surface(device, printer);
    surface.SetErrorBox([&](void*, std::string_view text, std::string_view) {
        failed = true;
        errorMessage.assign(text);
    });
    PrintRequest request;
    request.nRowCount = rowCount;
    request.nPageCount = pageCount;
    request.nCurrentPage = 1;
    request.nMode = 1;
    request.nStartPage = first;
    request.nEndPage = last;
    request.nRowsPerPage = rowsPerPage;
    request.hOwnerWnd = owner;
    callback(surface, request);
    if (failed) return false;
    const std::string failure = PrintRunFailure(surface, printer);
    if (failure.empty()) return true;
    errorMessage = std::string(report::kPrintFailed) + " (" + failure + ")";
    return false;
}

#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
// The answer of CUPS to the last request of this thread, when it refused it:
// Qt's print engine hands the finished document to CUPS without looking at
// the answer. libcups is the one Qt's printing plugin loaded; without it
// nothing went to CUPS.
std::string CupsRefusal() {
    void* cups = dlopen("libcups.so.2", RTLD_LAZY | RTLD_NOLOAD);
    if (cups == nullptr) return {};
    using StatusFn = int (*)();
    using TextFn = const char* (*)();
    const auto status = reinterpret_cast<StatusFn>(dlsym(cups, "cupsLastError"));
    const auto text = reinterpret_cast<TextFn>(dlsym(cups, "cupsLastErrorString"));
    std::string refusal;
    constexpr int kFirstIppError = 0x0400;  // IPP_STATUS_ERROR_BAD_REQUEST and above
    if (status != nullptr && status() >= kFirstIppError) {
        const char* reason = text != nullptr ? text() : nullptr;
        refusal = reason != nullptr && *reason != 0 ? reason : "CUPS refused the job";
    }
    dlclose(cups);
    return refusal;
}
#else
std::string CupsRefusal() {
    return {};
}
#endif

// The page sizes printer setup gives, by their sides in millimetres.
QPageSize::PageSizeId PageSizeIdForMM(int widthMM, int heightMM) {
    const int shortSide = std::min(widthMM, heightMM);
    const int longSide = std::max(widthMM, heightMM);
    struct Known {
        int w, h;
        QPageSize::PageSizeId id;
    };
    for (const Known k :
         {Known{297, 420, QPageSize::A3}, Known{210, 297, QPageSize::A4}, Known{148, 210, QPageSize::A5},
          Known{250, 354, QPageSize::B4}, Known{182, 257, QPageSize::JisB5}, Known{105, 148, QPageSize::A6}}) {
        if (k.w == shortSide && k.h == longSide) return k.id;
    }
    return QPageSize::Custom;
}

}  // namespace

std::string PrintRunFailure(const QtReportSurface& surface, const QPrinter* printer) {
    if (surface.PagesStarted() <= 0) return {};  // the document never started
    if (printer != nullptr && printer->outputFormat() == QPrinter::NativeFormat) {
        std::string refusal = CupsRefusal();
        if (!refusal.empty()) return refusal;
    }
    if (surface.EndDocFailed() || (printer != nullptr && printer->printerState() == QPrinter::Error))
        return printer != nullptr && !printer->printerName().isEmpty()
                   ? "the printer " + printer->printerName().toStdString() + " did not take the document"
                   : std::string("the document could not be ended");
    return {};
}

QPageSize ReportPageSize() {
    const QPageSize::PageSizeId id = PageSizeIdForMM(g_nPageWidthMM, g_nPageHeightMM);
    if (id != QPageSize::Custom) return QPageSize(id);
    return QPageSize(QSizeF(std::min(g_nPageWidthMM, g_nPageHeightMM), std::max(g_nPageWidthMM, g_nPageHeightMM)),
                     QPageSize::Millimeter);
}

QPageLayout::Orientation ReportOrientation() {
    return g_nPageWidthMM > g_nPageHeightMM ? QPageLayout::Landscape : QPageLayout::Portrait;
}

bool PrintReportToDevice(const ReportSource& report, const ReportPrintOptions& options, std::string& errorMessage) {
    return PrintReportToDevice(MakeReportCallback(report), report.ReportLineCount(), options, errorMessage);
}

bool PrintReportToDevice(const ReportCallbackFn& callback, int rowCount, const ReportPrintOptions& options,
                         std::string& errorMessage) {
    errorMessage.clear();
    if (rowCount <= 0) {
        errorMessage = msg::kNoData;
        return false;
    }
    const int rowsPerPage = FitReportToPage(g_nPageWidthMM, g_nPageHeightMM).rowsPerPage;
    const int pageCount = ReportPageCount(rowCount, rowsPerPage);
    // The page fields' rules: a page past the end means the last page.
    int first = options.firstPage <= 0 ? 1 : std::min(options.firstPage, pageCount);
    int last = options.lastPage <= 0 ? pageCount : std::min(options.lastPage, pageCount);
    if (last < first) {
        errorMessage = kRangeMessage;
        return false;
    }

    if (options.printerName.empty()) {
        // The PDF is drawn into memory and then written through OutputFile:
        // the file is opened first, so that a name that cannot be written
        // fails before anything is drawn.
        OutputFile file;
        const auto fileFailure = [&] {
            errorMessage = std::string(report::kConnectFailed) + " (" + file.Result().Describe() + ")";
            return false;
        };
        if (options.outPdf.empty()) {
            errorMessage = report::kConnectFailed;
            return false;
        }
        if (!file.Open(options.outPdf)) return fileFailure();
        QByteArray pdf;
        {
            QBuffer buffer(&pdf);
            buffer.open(QIODevice::WriteOnly);
            QPdfWriter writer(&buffer);
            writer.setResolution(kPrinterDpi);
            writer.setTitle(QString::fromLatin1(report::kDocName));
            QPageLayout layout(ReportPageSize(), ReportOrientation(), QMarginsF(), QPageLayout::Point);
            layout.setMode(QPageLayout::FullPageMode);  // page coordinates from the paper's corner
            writer.setPageLayout(layout);
            if (!PrintPages(callback, rowCount, &writer, nullptr, first, last, pageCount, rowsPerPage, options.owner,
                            errorMessage))
                return false;
        }
        if (!file.Write(pdf.constData(), static_cast<std::size_t>(pdf.size())) || !file.Commit()) return fileFailure();
        return true;
    }

    const QString name = QString::fromStdString(options.printerName);
    if (QPrinterInfo::printerInfo(name).isNull()) {
        errorMessage = kNoPrinter;
        return false;
    }
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::NativeFormat);
    printer.setPrinterName(name);
    printer.setFullPage(true);
    printer.setPageSize(ReportPageSize());
    printer.setPageOrientation(ReportOrientation());
    printer.setResolution(kPrinterDpi);
    if (!printer.isValid()) {
        errorMessage = kNoPrinter;
        return false;
    }
    return PrintPages(callback, rowCount, &printer, &printer, first, last, pageCount, rowsPerPage, options.owner,
                      errorMessage);
}

}  // namespace oront
