#include "ccomtext.h"

QString CComText::fromOle(const OLECHAR *text)
{
    if (!text)
        return QString();
    return QString::fromUtf16(text);
}

QString CComText::fromBstr(BSTR text)
{
    if (!text)
        return QString();
    return QString::fromUtf16(text, qsizetype(SysStringLen(text)));
}

BSTR CComText::toBstr(const QString &text)
{
    return SysAllocStringLen(reinterpret_cast<const OLECHAR *>(text.utf16()), UINT(text.size()));
}

QString CComText::guidText(const GUID &guid)
{
    QString text = QString::asprintf("{%08X-%04X-%04X-%02X%02X-", unsigned(guid.Data1), unsigned(guid.Data2),
        unsigned(guid.Data3), unsigned(guid.Data4[0]), unsigned(guid.Data4[1]));
    for (int i = 2; i < 8; ++i)
        text += QString::asprintf("%02X", unsigned(guid.Data4[i]));
    text += QLatin1Char('}');
    return text;
}

namespace {

int hexValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

bool parseHex(const QString &text, int from, int digits, uint64_t *out)
{
    uint64_t v = 0;
    for (int i = 0; i < digits; ++i) {
        const int d = hexValue(text.at(from + i));
        if (d < 0)
            return false;
        v = (v << 4) | uint64_t(d);
    }
    *out = v;
    return true;
}

} // namespace

bool CComText::parseGuid(const QString &text, GUID *guid)
{
    // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}
    // 0        9    14   19   24          37
    if (text.size() != 38 || text.at(0) != QLatin1Char('{') || text.at(37) != QLatin1Char('}'))
        return false;
    if (text.at(9) != QLatin1Char('-') || text.at(14) != QLatin1Char('-') || text.at(19) != QLatin1Char('-')
        || text.at(24) != QLatin1Char('-'))
        return false;
    GUID g;
    uint64_t v;
    if (!parseHex(text, 1, 8, &v))
        return false;
    g.Data1 = uint32_t(v);
    if (!parseHex(text, 10, 4, &v))
        return false;
    g.Data2 = uint16_t(v);
    if (!parseHex(text, 15, 4, &v))
        return false;
    g.Data3 = uint16_t(v);
    static const int offsets[8] = {20, 22, 25, 27, 29, 31, 33, 35};
    for (int i = 0; i < 8; ++i) {
        if (!parseHex(text, offsets[i], 2, &v))
            return false;
        g.Data4[i] = uint8_t(v);
    }
    *guid = g;
    return true;
}
