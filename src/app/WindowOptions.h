// The command line of the window program:
//
//   oront-v208 [--demo | --demo-full | --simulate IMAGE] [--archive PATH | --no-archive] [FILE]
//   oront-v208 --help | --version
//
// Without --demo, --demo-full or --simulate the window reads the instrument
// on USB. FILE is a memory image that the window opens once it is shown, as
// it opens one from its file dialog. --archive names the download archive
// (else ORONT_ARCHIVE or the default), --no-archive keeps this run's
// downloads out of it. Every argument is either understood or
// an error with a one-line reason that names it.
#pragma once

#include <string>
#include <vector>

namespace oront {

enum class WindowInstrument { Usb, Demo, DemoFull, Image };

struct WindowOptions {
    WindowInstrument instrument = WindowInstrument::Usb;
    std::string simulate;  // the image played as the instrument (WindowInstrument::Image)
    std::string open;      // the memory image opened at start; empty for none
    std::string archive;   // the archive file; empty for the default
    bool noArchive = false;
    bool help = false;
    bool version = false;
};

struct ParsedWindowOptions {
    WindowOptions options;
    std::string error;  // why the command line is not understood; empty when it is
};

// The arguments after the program name.
ParsedWindowOptions ParseWindowArguments(const std::vector<std::string>& args);

// The usage text printed for --help.
const char* WindowUsageText();

}  // namespace oront
