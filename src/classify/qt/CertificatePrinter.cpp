#include "classify/qt/CertificatePrinter.h"

#include <QBuffer>
#include <QByteArray>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <utility>

#include "base/OutputFile.h"
#include "print/qt/QtReportSurface.h"

namespace oront::classify {

namespace {

constexpr int kPrinterDpi = 600;

QPageLayout CertificatePageLayout(const Certificate& certificate) {
    const PaperSize paper = certificate.Paper();
    const QPageSize size = paper.widthMM == 216 ? QPageSize(QPageSize::Letter) : QPageSize(QPageSize::A4);
    QPageLayout layout(size, QPageLayout::Portrait, QMarginsF(), QPageLayout::Point);
    layout.setMode(QPageLayout::FullPageMode);  // page coordinates from the paper's corner
    return layout;
}

}  // namespace

bool RenderCertificatePdf(const Certificate& certificate, std::string& pdf, std::string& error) {
    error.clear();
    pdf.clear();
    QByteArray bytes;
    {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QPdfWriter writer(&buffer);
        writer.setResolution(kPrinterDpi);
        writer.setTitle(QString::fromLatin1(kCertificateTitle));
        writer.setPageLayout(CertificatePageLayout(certificate));
        QtReportSurface surface(&writer, nullptr);
        if (!certificate.Print(surface)) {
            error = "the PDF could not be drawn";
            return false;
        }
    }
    pdf.assign(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    return true;
}

bool WriteCertificatePdf(const Certificate& certificate, const std::string& path, std::string& error,
                         std::string* written) {
    error.clear();
    OutputFile file;
    // Opened first, so that a name that cannot be written fails before
    // anything is drawn.
    if (path.empty() || !file.Open(path)) {
        error = path.empty() ? "no file name" : file.Result().Describe();
        return false;
    }
    std::string pdf;
    if (!RenderCertificatePdf(certificate, pdf, error)) return false;
    if (!file.Write(pdf.data(), pdf.size()) || !file.Commit()) {
        error = file.Result().Describe();
        return false;
    }
    if (written != nullptr) *written = std::move(pdf);
    return true;
}

bool PrintCertificate(const Certificate& certificate, QPrinter& printer, std::string& error) {
    error.clear();
    printer.setFullPage(true);
    printer.setPageLayout(CertificatePageLayout(certificate));
    QtReportSurface surface(&printer, &printer);
    if (!certificate.Print(surface)) {
        error = report::kPrintFailed;
        return false;
    }
    return true;
}

QImage RenderCertificatePage(const Certificate& certificate, int page, int dpi) {
    const PaperSize paper = certificate.Paper();
    // The layout places everything in whole dots per millimetre.
    QImage image(paper.widthMM * DotsPerMM(dpi), paper.heightMM * DotsPerMM(dpi), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    QtReportSurface surface(painter, dpi, dpi);
    certificate.DrawPage(surface, page);
    return image;
}

}  // namespace oront::classify
