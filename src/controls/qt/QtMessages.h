// Qt's own start-up and run-time chatter (for example that XDG_RUNTIME_DIR is
// not set, or that a platform plugin lacks a feature) is not for the user of
// a desktop or command-line program: only critical and fatal messages reach
// stderr. ORONT_QT_MESSAGES=1 lets every message through, for debugging.
#pragma once

namespace oront {

// Installs the message filter; call before the application object exists.
void QuietQtMessages();

}  // namespace oront
