#include "base/Messages.h"

#include <utility>

namespace oront {
std::string g_strMessage;
MessageExtras g_messageExtras;

void SetMessage(const char* text, std::string detail, MessageIcon icon, bool cancelIsDefault) {
    g_strMessage = text;
    g_messageExtras = MessageExtras{std::move(detail), icon, cancelIsDefault};
}
}  // namespace oront
