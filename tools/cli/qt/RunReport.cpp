#include <iostream>

#include "CliCommands.h"

namespace oront::cli {

int RunReport(const RecordStore&, const std::string&, int, int, const std::string&) {
    std::cerr << "oront-v208-cli: printing is not available yet\n";
    return 1;
}

}  // namespace oront::cli
