// Bytes as text and back: the escapes scripts are written in and logs and messages are shown in.
#pragma once

#include <string>
#include <string_view>

namespace sim {

// Decodes \r \n \t \0 \e (ESC) \\ \" \' and \xNN (exactly two hex digits). false with *error set
// on an unknown or cut-off escape.
bool unescape(std::string_view text, std::string* out, std::string* error);

// Shows bytes on one line: printable ASCII as itself, backslash as \\, CR, LF and TAB as \r \n
// \t, anything else as \xNN. A space at the very end becomes \x20 so that it stays visible.
std::string escape_bytes(std::string_view bytes);
// The same in double quotes, with " escaped too (for messages).
std::string quote_bytes(std::string_view bytes);

}  // namespace sim
