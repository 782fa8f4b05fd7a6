// Text conversions of the platform layer: UTF-16 inside the system, UTF-8 and
// the ANSI code page outside it, and lossless file-system paths.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace plat {

// Converts 8-bit text of the ANSI code page to UTF-16, as MultiByteToWideChar
// with CP_ACP does. The code page is GB18030 (a superset of GBK) unless the
// environment variable TESMER_CODEPAGE names another iconv encoding. Bytes
// that do not convert become U+FFFD. Zero bytes convert to U+0000.
std::u16string MultiByteToWide(const uint8_t* bytes, size_t count);

// Appends 8-bit text of the named iconv encoding ("ISO-8859-7", "EUC-KR", …)
// to `out` as UTF-16. Bytes that do not convert become U+FFFD; with
// `dropIncompleteTail` a character cut off at the very end (a text clipped at
// a byte count) is left out instead. False when the encoding is unknown.
bool ConvertToWide(const char* encoding, const uint8_t* bytes, size_t count, std::u16string& out,
                   bool dropIncompleteTail = false);

// Converts UTF-16 text to the ANSI code page, as WideCharToMultiByte with
// CP_ACP does. Characters that do not convert become '?'.
std::string WideToMultiByte(std::u16string_view text);

// UTF-8 <-> UTF-16 for texts that are known to be Unicode (command line output,
// the font layer). Invalid input never fails: it becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);
std::u16string Utf8ToUtf16(std::string_view text);

// Appends the UTF-8 form of `text` to `out` (the allocation-free form for
// writers that build large outputs).
void AppendUtf8(std::string& out, std::u16string_view text);

// File-system paths are byte strings on this platform. Inside the system they
// are UTF-16; bytes that are not valid UTF-8 map to U+DC80..U+DCFF and back,
// so that every name the file system can hold survives the round trip.
std::u16string PathFromNative(std::string_view native);
std::string PathToNative(std::u16string_view path);

}  // namespace plat
