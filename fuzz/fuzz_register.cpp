// The site register's file on arbitrary input: it never crashes; a refused
// file has a reason; an accepted one keeps every rule of the register, and
// what is written of it reads back to the same register and is written again
// byte for byte.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "Check.h"
#include "site/Register.h"
#include "site/RegisterJson.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 16384) return 0;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    oront::site::Register reg;
    std::string error;
    if (!oront::site::ParseRegisterJson(text, reg, error)) {
        FUZZ_CHECK(!error.empty());
        FUZZ_CHECK(reg.Empty());
        return 0;
    }
    FUZZ_CHECK(oront::site::ValidationError(reg).empty());
    const std::string written = oront::site::RegisterJson(reg);
    oront::site::Register again;
    FUZZ_CHECK(oront::site::ParseRegisterJson(written, again, error));
    FUZZ_CHECK(oront::site::RegisterJson(again) == written);
    (void)oront::site::RegisterText(reg);
    return 0;
}
