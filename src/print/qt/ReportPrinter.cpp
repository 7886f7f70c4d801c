#include "print/qt/ReportPrinter.h"

#include <QBuffer>
#include <QByteArray>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QPrinter>
#include <QPrinterInfo>
#include <algorithm>

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
bool PrintPages(const ReportSource& report, QPagedPaintDevice* device, QPrinter* printer, int first, int last,
                int pageCount, std::string& errorMessage) {
    bool failed = false;
    QtReportSurface surface(device, printer);
    surface.SetErrorBox([&](void*, std::string_view text, std::string_view) {
        failed = true;
        errorMessage.assign(text);
    });
    PrintRequest request;
    request.nRowCount = report.ReportLineCount();
    request.nPageCount = pageCount;
    request.nCurrentPage = 1;
    request.nMode = 1;
    request.nStartPage = first;
    request.nEndPage = last;
    request.nRowsPerPage = kRowsPerPage;
    ReportCallback(surface, request, report);
    return !failed;
}

}  // namespace

bool PrintReportToDevice(const ReportSource& report, const ReportPrintOptions& options, std::string& errorMessage) {
    errorMessage.clear();
    if (report.ReportLineCount() <= 0) {
        errorMessage = msg::kNoData;
        return false;
    }
    const int pageCount = ReportPageCount(report.ReportLineCount());
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
            QPageLayout layout(QPageSize(QPageSize::A4), QPageLayout::Landscape, QMarginsF(), QPageLayout::Point);
            layout.setMode(QPageLayout::FullPageMode);  // page coordinates from the paper's corner
            writer.setPageLayout(layout);
            if (!PrintPages(report, &writer, nullptr, first, last, pageCount, errorMessage)) return false;
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
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setPageOrientation(QPageLayout::Landscape);
    printer.setResolution(kPrinterDpi);
    if (!printer.isValid()) {
        errorMessage = kNoPrinter;
        return false;
    }
    return PrintPages(report, &printer, &printer, first, last, pageCount, errorMessage);
}

}  // namespace oront
