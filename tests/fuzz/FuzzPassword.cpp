// Fuzz entry: deciphering stored password bytes under the settings key.
#include "config/blowfish.h"
#include "config/configuration.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::string plain = vantle::BlowfishDecryptString(bytes, vantle::PasswordKey);
    if (plain.size() > bytes.size())
        std::abort();
    const std::string text = vantle::DecipherText(bytes, vantle::PasswordKey);
    if (text.find('\0') != std::string::npos)
        std::abort();
    // What was enciphered deciphers back.
    const std::string cut(bytes.substr(0, bytes.find('\0')));
    if (vantle::DecipherText(vantle::EncipherText(cut, vantle::PasswordKey, 64),
                             vantle::PasswordKey) != cut)
        std::abort();
    return 0;
}
