#pragma once

#include <cstddef>
#include <string>

// UTF-8 text (the library's 8-bit text, and file names) in UTF-16; a byte that cannot start a
// character becomes '?', a sequence cut short ends where it stops.
std::u16string utf8ToUtf16(const char *text, size_t length);
