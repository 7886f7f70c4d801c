#include "print/qt/ReportPrinter.h"

#include <QPageLayout>
#include <QPageSize>
#include <QPrinter>
#include <QPrinterInfo>
#include <algorithm>
#include <filesystem>
#include <system_error>

#include "app/Messages.h"
#include "print/ReportLayout.h"
#include "print/qt/QtReportSurface.h"

namespace oront {

namespace {
constexpr int kPrinterDpi = 600;
constexpr const char* kRangeMessage = "The startpage number should not be greater than the endpage number.";
constexpr const char* kNoPrinter = "Failed to initiate the printer!";
}  // namespace

bool PrintReportToDevice(const RecordStore& store, const ReportPrintOptions& options, std::string& errorMessage) {
    errorMessage.clear();
    if (store.m_nRecordCount <= 0) {
        errorMessage = msg::kNoData;
        return false;
    }
    const int pageCount = ReportPageCount(store.m_nReportLineCount);
    // The page fields' rules: a page past the end means the last page.
    int first = options.firstPage <= 0 ? 1 : std::min(options.firstPage, pageCount);
    int last = options.lastPage <= 0 ? pageCount : std::min(options.lastPage, pageCount);
    if (last < first) {
        errorMessage = kRangeMessage;
        return false;
    }

    const bool toFile = options.printerName.empty();
    std::filesystem::path target;
    std::filesystem::path partial;
    QPrinter printer(QPrinter::HighResolution);
    if (toFile) {
        if (options.outPdf.empty()) {
            errorMessage = report::kConnectFailed;
            return false;
        }
        target = std::filesystem::path(options.outPdf);
        partial = target;
        partial += ".part";
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString::fromStdString(partial.string()));
    } else {
        const QString name = QString::fromStdString(options.printerName);
        if (QPrinterInfo::printerInfo(name).isNull()) {
            errorMessage = kNoPrinter;
            return false;
        }
        printer.setOutputFormat(QPrinter::NativeFormat);
        printer.setPrinterName(name);
    }
    printer.setFullPage(true);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setPageOrientation(QPageLayout::Landscape);
    printer.setResolution(kPrinterDpi);
    if (!printer.isValid()) {
        errorMessage = kNoPrinter;
        return false;
    }

    bool failed = false;
    {
        QtReportSurface surface(&printer, &printer);
        surface.SetErrorBox([&](void*, std::string_view text, std::string_view) {
            failed = true;
            errorMessage.assign(text);
        });
        PrintRequest request;
        request.nRowCount = store.m_nReportLineCount;
        request.nPageCount = pageCount;
        request.nCurrentPage = 1;
        request.nMode = 1;
        request.nStartPage = first;
        request.nEndPage = last;
        request.nRowsPerPage = kRowsPerPage;
        ReportCallback(surface, request, store);
    }

    if (!toFile) return !failed;
    std::error_code ec;
    if (failed) {
        std::filesystem::remove(partial, ec);
        return false;
    }
    std::filesystem::rename(partial, target, ec);
    if (ec) {
        std::filesystem::remove(partial, ec);
        errorMessage = report::kConnectFailed;
        return false;
    }
    return true;
}

}  // namespace oront
