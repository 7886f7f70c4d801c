#include "CliCommands.h"

#include <iostream>

namespace oront::cli {

const char* ResolveRecordRange(const RecordStore& store, const std::string& first, const std::string& last,
                               int& startIndex, int& endIndex) {
    (void)store;
    (void)first;
    (void)last;
    startIndex = 0;
    endIndex = -1;
    return "save-range is not available yet";
}

#ifndef ORONT_HAVE_QT
int RunReport(const RecordStore&, const std::string&, int, int, const std::string&) {
    std::cerr << "oront-v208-cli: this build has no printing support\n";
    return 1;
}
#endif

}  // namespace oront::cli
