// Base64 text of the enciphered password: the RFC 4648 alphabet with "=" padding,
// and a decoder that skips every byte outside the alphabet.
#pragma once

#include <string>
#include <string_view>

namespace vantle {

// An empty input gives "="; otherwise four characters per three bytes, the input zero-filled to
// a whole group and the characters of the added bytes shown as "=". With lineLength 0 (what the
// system uses) the text is one line; with lineLength > 0 a CR LF follows every lineLength
// characters except at the very end. Raises vantle::Error "Unable to allocate N bytes of memory"
// when the output buffer (4 per 3 bytes plus 4096) cannot be had.
std::string Base64Encode(std::string_view bytes, int lineLength);

// Groups of four alphabet or "=" characters, everything else skipped; decoding ends at the first
// "=" in a group's third or fourth place. Raises vantle::Error "Premature end of base64 data"
// when the text ends inside a group (a single character after a whole group is ignored) and
// "Premature padding of base64 data" for "=" in a group's first or second place. A text with
// no alphabet or "=" character at all (the empty text too) gives an empty byte string.
std::string Base64Decode(std::string_view text);

} // namespace vantle
