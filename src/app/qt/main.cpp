// oront-v208: the main program.
//
// Normally it takes no arguments and talks to the instrument over USB. For
// demonstrations and tests it can play a memory image instead:
//   --demo            a few hundred mixed records
//   --demo-full       a full, wrapped memory of 8000 records
//   --simulate IMAGE  the memory image in the file IMAGE
#include <QApplication>
#include <QMessageBox>
#include <cstdio>
#include <memory>
#include <string>

#include "app/qt/DataTransferDlg.h"
#include "controls/qt/Resources.h"
#include "device/MemoryImage.h"
#include "device/SimulatedInstrument.h"
#include "device/UsbBackend.h"

namespace {

int Usage(const char* program) {
    std::fprintf(stderr,
                 "usage: %s [--demo | --demo-full | --simulate IMAGE]\n"
                 "  (no option)       read the instrument on USB\n"
                 "  --demo            play a built-in demo memory of a few hundred records\n"
                 "  --demo-full       play a built-in full memory of 8000 records\n"
                 "  --simulate IMAGE  play the instrument memory image in the file IMAGE\n",
                 program);
    return 2;
}

// A program started from a desktop launcher has no terminal: the reason an
// image cannot be played is shown in a message box too, where there is a
// screen to show it on.
void ShowImageFailure(int& argc, char** argv, const char* path, const std::string& reason) {
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        return;
#endif
    QApplication app(argc, argv);
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Oront V208 Software"),
                    QStringLiteral("The memory image %1 cannot be played:\n%2")
                        .arg(QString::fromLocal8Bit(path), QString::fromStdString(reason)),
                    QMessageBox::Ok);
    box.exec();
}

}  // namespace

int main(int argc, char** argv) {
    // Choose the backend before any window exists, so a wrong command line
    // ends without touching the display.
    const char* program = argc > 0 ? argv[0] : "oront-v208";
    std::unique_ptr<oront::DeviceBackend> backend;
    if (argc == 1) {
        backend = oront::CreateUsbBackend();
    } else if (argc == 2 && std::string(argv[1]) == "--demo") {
        backend = std::make_unique<oront::SimulatedInstrument>(oront::MakeDemoImage());
    } else if (argc == 2 && std::string(argv[1]) == "--demo-full") {
        backend = std::make_unique<oront::SimulatedInstrument>(oront::MakeFullDemoImage());
    } else if (argc == 3 && std::string(argv[1]) == "--simulate") {
        oront::MemoryImage image;
        std::string reason;
        if (!oront::LoadMemoryImage(argv[2], image, &reason)) {
            std::fprintf(stderr, "%s: cannot read the memory image %s: %s\n", program, argv[2], reason.c_str());
            ShowImageFailure(argc, argv, argv[2], reason);
            return 2;
        }
        backend = std::make_unique<oront::SimulatedInstrument>(std::move(image));
    } else {
        return Usage(program);
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Oront V208 Software"));
    QApplication::setWindowIcon(oront::ResourceIcon(oront::res::kIconApp));

    // The main window runs as a modal dialog; when it ends, the program ends.
    oront::CDataTransferDlg dialog(std::move(backend));
    dialog.exec();
    return 0;
}
