// The program's text is single bytes of the Windows-1252 code page; fldigi's text methods
// and log fields take and give UTF-8. These convert at that edge, byte for byte both ways
// for every byte 1..255 (the five bytes that Windows-1252 leaves undefined stand for the
// control characters U+0081, U+008D, U+008F, U+0090 and U+009D, as Windows maps them).
#pragma once

#include <string>
#include <string_view>

namespace qsopad {

std::string Cp1252ToUtf8(std::string_view text);
// A character that Windows-1252 cannot show becomes '?'. A byte that does not begin a
// well-formed UTF-8 sequence is taken as a Windows-1252 byte of its own: text received
// from an older PSK31 program arrives that way.
std::string Utf8ToCp1252(std::string_view text);

}  // namespace qsopad
