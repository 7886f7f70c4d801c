// The command-line tool's report command: the report printed as the
// preview's print run prints it, on a 600-dpi A4 landscape page, into a PDF
// file or to a printer queue.
#pragma once

#include <memory>
#include <string>

#include "records/RecordStore.h"

class QGuiApplication;

namespace oront {

// The GUI application object that fonts, PDF writing and printing need (a
// QApplication with `widgets`, for charts), made on the offscreen platform
// unless another is chosen (no display is needed), with Qt's chatter
// filtered; null when one exists already.
std::unique_ptr<QGuiApplication> MakeHeadlessGuiApplication(bool widgets = false);

// Pages firstPage..lastPage (0 and 0: the whole report; a last page past the
// end means the last page). With a printer name the report goes to that
// queue and outPdf is not used. Returns 0, or 1 with the program's message
// for the failure in errorMessage; a failed run leaves no output file.
int RunReportCommand(const RecordStore& store, const std::string& outPdf, int firstPage, int lastPage,
                     const std::string& printerName, std::string& errorMessage);

}  // namespace oront
