#include "cedid.h"

#include <cstring>

namespace {

const int blockSize = 128;
const int firstDescriptor = 54;
const int descriptorSize = 18;
const unsigned char monitorNameTag = 0xFC;

// Descriptor text: up to 13 bytes, ended by a line feed and padded with blanks.
QString descriptorText(const unsigned char *p)
{
    QByteArray text;
    for (int i = 5; i < descriptorSize && p[i] != 0x0A; ++i)
        text.append(char(p[i]));
    return QString::fromLatin1(text).trimmed();
}

} // namespace

CEdid CEdid::parse(const QByteArray &data)
{
    CEdid edid;
    static const unsigned char header[8] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
    if (data.size() < blockSize)
        return edid;
    const auto *b = reinterpret_cast<const unsigned char *>(data.constData());
    unsigned char sum = 0;
    for (int i = 0; i < blockSize; ++i)
        sum = static_cast<unsigned char>(sum + b[i]);
    if (sum != 0 || memcmp(b, header, sizeof header) != 0)
        return edid;
    edid.m_valid = true;

    // Bytes 8-9, big-endian: three 5-bit letters, 1 = 'A'.
    const uint id = (uint(b[8]) << 8) | b[9];
    for (int shift : {10, 5, 0}) {
        const uint letter = (id >> shift) & 0x1F;
        if (letter >= 1 && letter <= 26)
            edid.m_manufacturer.append(QLatin1Char(char('A' + letter - 1)));
    }
    if (edid.m_manufacturer.size() != 3)
        edid.m_manufacturer.clear();
    edid.m_product = uint(b[10]) | (uint(b[11]) << 8);

    bool timingSeen = false;
    for (int d = 0; d < 4; ++d) {
        const unsigned char *p = b + firstDescriptor + d * descriptorSize;
        if (p[0] != 0 || p[1] != 0) {
            // A detailed timing; the first one is the preferred mode.
            if (!timingSeen) {
                timingSeen = true;
                edid.m_width = int(p[2]) | ((int(p[4]) & 0xF0) << 4);
                edid.m_height = int(p[5]) | ((int(p[7]) & 0xF0) << 4);
            }
        } else if (p[2] == 0 && p[3] == monitorNameTag && edid.m_name.isEmpty()) {
            edid.m_name = descriptorText(p);
        }
    }
    return edid;
}
