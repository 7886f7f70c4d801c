// The certificate through Qt: a PDF file, a printer, or page images for a
// preview. Needs a QGuiApplication.
#pragma once

#include <QImage>
#include <string>

#include "classify/CertificateLayout.h"

class QPrinter;

namespace oront::classify {

// Draws the certificate at 600 dpi as a PDF document into `pdf`, so that
// its bytes can be hashed and kept before they are written. False with the
// cause in `error`.
bool RenderCertificatePdf(const Certificate& certificate, std::string& pdf, std::string& error);
// RenderCertificatePdf, written to `path` through OutputFile, so a failed run
// leaves no file behind (an existing file stays as it was). False with the
// cause in `error`; `written`, when given, gets the bytes of the file.
bool WriteCertificatePdf(const Certificate& certificate, const std::string& path, std::string& error,
                         std::string* written = nullptr);
// Prints every page on the printer, on the certificate's paper.
bool PrintCertificate(const Certificate& certificate, QPrinter& printer, std::string& error);
// Page `page` (1-based) as an image of `dpi` dots per inch (whole dots per
// millimetre, as the layout places them).
QImage RenderCertificatePage(const Certificate& certificate, int page, int dpi);

}  // namespace oront::classify
