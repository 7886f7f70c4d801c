#include "base/Messages.h"

namespace oront {
std::string g_strMessage;
}  // namespace oront
