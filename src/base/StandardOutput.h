// Standard output of the command-line programs, written so that a failure is
// seen: a full disk, a reader that has gone (with SIGPIPE ignored) or a
// closed descriptor fails the command instead of passing for success.
#pragma once

#include <string_view>

namespace oront {

// Writes every byte to descriptor 1, again after an interrupted or partial
// write. false with the errno value of the first failure in `error`.
bool WriteStandardOutput(std::string_view bytes, int& error);

// The same; a failure is printed on standard error as
// "<program>: cannot write to standard output (No space left on device)",
// the same in every locale.
bool PrintStandardOutput(std::string_view bytes, std::string_view program);

}  // namespace oront
