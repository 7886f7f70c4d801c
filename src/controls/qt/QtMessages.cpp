#include "controls/qt/QtMessages.h"

#include <QtGlobal>
#include <cstdio>

namespace oront {
namespace {

QtMessageHandler g_defaultHandler = nullptr;

void FilterMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtDebugMsg || type == QtInfoMsg || type == QtWarningMsg) return;
    if (g_defaultHandler) g_defaultHandler(type, context, text);
}

}  // namespace

void QuietQtMessages() {
    if (qEnvironmentVariableIntValue("ORONT_QT_MESSAGES") != 0) return;
    g_defaultHandler = qInstallMessageHandler(FilterMessage);
}

}  // namespace oront
