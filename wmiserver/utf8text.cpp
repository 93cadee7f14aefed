#include "utf8text.h"

#include <cstdint>

std::u16string utf8ToUtf16(const char *text, size_t length)
{
    std::u16string out;
    out.reserve(length);
    size_t i = 0;
    while (i < length) {
        const unsigned char b = text[i];
        uint32_t c;
        int extra;
        if (b < 0x80) {
            c = b;
            extra = 0;
        } else if ((b & 0xE0) == 0xC0) {
            c = b & 0x1F;
            extra = 1;
        } else if ((b & 0xF0) == 0xE0) {
            c = b & 0x0F;
            extra = 2;
        } else if ((b & 0xF8) == 0xF0) {
            c = b & 0x07;
            extra = 3;
        } else {
            out += u'?';
            ++i;
            continue;
        }
        ++i;
        for (int k = 0; k < extra && i < length && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80; ++k, ++i)
            c = (c << 6) | (static_cast<unsigned char>(text[i]) & 0x3F);
        if (c >= 0x10000) {
            c -= 0x10000;
            out += char16_t(0xD800 + (c >> 10));
            out += char16_t(0xDC00 + (c & 0x3FF));
        } else {
            out += char16_t(c);
        }
    }
    return out;
}
