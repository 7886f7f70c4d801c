// oront-v208: the main program.
//
//   oront-v208 [--demo | --demo-full | --simulate IMAGE] [--archive PATH | --no-archive] [FILE]
//   oront-v208 --help | --version
//
// Normally it talks to the instrument over USB. For demonstrations and tests
// it can play a memory image instead:
//   --demo            a few hundred mixed records
//   --demo-full       a full, wrapped memory of 8000 records
//   --simulate IMAGE  the memory image in the file IMAGE
// FILE, a memory image, is opened once the window shows, as Ctrl+O opens
// one (the desktop entry passes the file it is asked to open).
// Downloads are archived (--archive PATH chooses the archive file, as
// ORONT_ARCHIVE does; --no-archive keeps this run's downloads out of it).
//
// --help and --version print and end without a window; a command line that
// is not understood, or a malformed ORONT_USB_ID for the instrument on USB,
// ends with a one-line reason on stderr and exit status 2.
#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/WindowOptions.h"
#include "app/qt/DataTransferDlg.h"
#include "base/Messages.h"
#include "base/StandardOutput.h"
#include "controls/qt/QtMessages.h"
#include "controls/qt/Resources.h"
#include "controls/qt/WindowFit.h"
#include "device/MemoryImage.h"
#include "device/SimulatedInstrument.h"
#include "device/UsbBackend.h"

namespace {

int UsageError(const std::string& why) {
    std::fprintf(stderr, "oront-v208: %s (--help shows the usage)\n", why.c_str());
    return 2;
}

// A program started from a desktop launcher has no terminal: the reason it
// cannot start is shown in a message box too, where there is a screen to
// show it on.
void ShowStartFailure(int& argc, char** argv, const QString& text) {
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        return;
#endif
    QApplication app(argc, argv);
    QMessageBox box(QMessageBox::Critical, QString::fromLatin1(oront::msg::kAppTitle), text, QMessageBox::Ok);
    box.exec();
}

}  // namespace

int main(int argc, char** argv) {
    // Qt's start-up chatter (XDG_RUNTIME_DIR and the like) is not for the
    // user; it is filtered before any application object exists.
    oront::QuietQtMessages();

    // Understand the command line and choose the backend before any window
    // exists, so a wrong command line ends without touching the display.
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    const oront::ParsedWindowOptions parsed = oront::ParseWindowArguments(args);
    if (!parsed.error.empty()) return UsageError(parsed.error);
    const oront::WindowOptions& options = parsed.options;
    // What is printed must arrive: a full disk or a closed pipe is a failure.
    if (options.help) return oront::PrintStandardOutput(oront::WindowUsageText(), "oront-v208") ? 0 : 1;
    if (options.version)
        return oront::PrintStandardOutput(std::string("oront-v208 ") + oront::kProgramVersion + "\n", "oront-v208") ? 0
                                                                                                                    : 1;

    std::unique_ptr<oront::DeviceBackend> backend;
    switch (options.instrument) {
        case oront::WindowInstrument::Usb:
            // Another USB id that cannot be understood would look for the
            // wrong instrument without a word: it is an error.
            if (const std::string error = oront::UsbIdEnvironmentError(); !error.empty()) {
                std::fprintf(stderr, "oront-v208: %s\n", error.c_str());
                ShowStartFailure(argc, argv, QString::fromStdString(error));
                return 2;
            }
            backend = oront::CreateUsbBackend();
            break;
        case oront::WindowInstrument::Demo:
            backend = std::make_unique<oront::SimulatedInstrument>(oront::MakeDemoImage());
            break;
        case oront::WindowInstrument::DemoFull:
            backend = std::make_unique<oront::SimulatedInstrument>(oront::MakeFullDemoImage());
            break;
        case oront::WindowInstrument::Image: {
            oront::MemoryImage image;
            std::string reason;
            if (!oront::LoadMemoryImage(options.simulate, image, &reason)) {
                std::fprintf(stderr, "oront-v208: cannot read the memory image %s: %s\n", options.simulate.c_str(),
                             reason.c_str());
                ShowStartFailure(argc, argv,
                                 oront::CDataTransferDlg::ImageFailureText(
                                     QFile::decodeName(QByteArray::fromStdString(options.simulate)), reason));
                return 2;
            }
            backend = std::make_unique<oront::SimulatedInstrument>(std::move(image));
            break;
        }
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Oront V208 Software"));
    QApplication::setWindowIcon(oront::ResourceIcon(oront::res::kIconApp));
    // Every window opens within the screen, at any scale factor.
    oront::InstallWindowFit();

    // The main window runs as a modal dialog; when it ends, the program ends.
    oront::CDataTransferDlg dialog(std::move(backend));
    dialog.SetArchive(options.archive, options.noArchive);
    if (!options.open.empty()) dialog.OpenImageLater(QFile::decodeName(QByteArray::fromStdString(options.open)));
    dialog.exec();
    return 0;
}
