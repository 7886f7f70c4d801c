// The texts the program shows, and the shared message string.
//
// A caller puts the text of the next message into g_strMessage and then runs
// a message dialog, which shows it. "\n\r" is a line feed followed by a
// carriage return, as the instrument software has always written them.
#pragma once

#include <string>

namespace oront {

extern std::string g_strMessage;

// How grave a message is, which its icon shows.
enum class MessageIcon { Information, Warning, Error };

// What goes with the next message besides its text: the cause or another
// detail shown under the text ("Permission denied: /home/qa/out.csv"), its
// icon, and for a question whether Cancel is the default button (a question
// whose OK cannot be undone). A caller sets them with g_strMessage; the
// dialog that shows the message clears them, so that they never stay for
// the next one.
struct MessageExtras {
    std::string detail;
    MessageIcon icon = MessageIcon::Information;
    bool cancelIsDefault = false;
};
extern MessageExtras g_messageExtras;

// Sets g_strMessage and g_messageExtras for the next message.
void SetMessage(const char* text, std::string detail = {}, MessageIcon icon = MessageIcon::Information,
                bool cancelIsDefault = false);

// The program's version, as the build gives it ("2.61").
inline constexpr const char* kProgramVersion = ORONT_VERSION;

namespace msg {
inline constexpr const char* kAppTitle = "Oront V208 Software";
inline constexpr const char* kConnectFailed = "Failed to connect USB device!";
inline constexpr const char* kReadFailed = "Failed to read records!";
inline constexpr const char* kNoData = "No data!";
inline constexpr const char* kDeleted = "Records have been deleted successfully!";
inline constexpr const char* kDeleteFailed = "Failed to delete records!";
inline constexpr const char* kSaveFailed = "Failed to save records!";
inline constexpr const char* kFormatError = "Data format is error, Please input data again!";
inline constexpr const char* kInputNull = "The input data can't be null,Please input data!";
inline constexpr const char* kQuitUnsaved = "Data are not saved yet! \n\r Are you sure you want to exit now?";
inline constexpr const char* kCloseUnsaved = "Data are not saved yet! \n\rAre you sure to exit now?";
// Escape while saved records are listed: Escape alone never ends the window.
inline constexpr const char* kExitListed = "Are you sure you want to exit now?";
// A read that would replace listed records that are neither saved nor in the
// archive.
inline constexpr const char* kReplaceUnsaved =
    "Data are not saved yet! \n\r Are you sure you want to replace them now?";
inline constexpr const char* kDeleteAsk1 = "Do you want to delete all data records now?";
inline constexpr const char* kDeleteAsk2 =
    "Warning!\n\r"
    "It will delete all the data from the device.\n\r"
    "Do you want to continue?";
inline constexpr const char* kDeleteAsk3 =
    "Unrecoverable operation!\n\r"
    "Are you sure you want to proceed?";
inline constexpr const char* kAboutVersion = "Oront V208 Software, Version 2.61(CE)";
inline constexpr const char* kAboutMenuEntry = "&About Oront V208 Software...";
}  // namespace msg

}  // namespace oront
