// JSON strings for the commands that print or write JSON. Built by hand: a
// file of tens of thousands of elements makes hundreds of thousands of small
// appends, and printf-style formatting of each would cost more than the
// whole analysis.
#pragma once

#include <string>
#include <string_view>

// A JSON string of UTF-16 text, written as UTF-8; a lone surrogate becomes
// U+FFFD.
void AppendJsonString(std::string& out, std::u16string_view text);
// A JSON string of UTF-8 text.
void AppendJsonUtf8(std::string& out, const char* text);
