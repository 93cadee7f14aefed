#include "cxmlsyntax.h"

#include <cstring>

int CXmlSyntax::reference(const char *p, const char *end, uint *value)
{
    struct Named
    {
        const char *text;
        size_t length;
        char ch;
    };
    static const Named amp {"&amp;", 5, '&'}, apos {"&apos;", 6, '\''}, lt {"&lt;", 4, '<'}, gt {"&gt;", 4, '>'},
        quot {"&quot;", 6, '"'};
    const auto is = [&](const Named &n) {
        return size_t(end - p) >= n.length && std::memcmp(p, n.text, n.length) == 0 ? &n : nullptr;
    };
    const Named *named = nullptr;
    switch (end - p > 1 ? p[1] : 0) {
    case 'a':
        named = is(amp) ? &amp : is(apos);
        break;
    case 'l':
        named = is(lt);
        break;
    case 'g':
        named = is(gt);
        break;
    case 'q':
        named = is(quot);
        break;
    default:
        break;
    }
    if (named) {
        if (value)
            *value = uint(uchar(named->ch));
        return int(named->length);
    }
    if (end - p < 4 || p[1] != '#')
        return 0;
    const char *s = p + 2;
    const bool hex = *s == 'x';
    if (hex)
        ++s;
    uint u = 0;
    const char *digits = s;
    for (; s < end && *s != ';'; ++s) {
        int d;
        if (*s >= '0' && *s <= '9')
            d = *s - '0';
        else if (hex && *s >= 'a' && *s <= 'f')
            d = *s - 'a' + 10;
        else if (hex && *s >= 'A' && *s <= 'F')
            d = *s - 'A' + 10;
        else
            return 0;
        u = u * (hex ? 16 : 10) + uint(d);
        if (u > 0x10FFFF)
            return 0;
    }
    if (s == end || s == digits || !isXmlChar(u))
        return 0;
    if (value)
        *value = u;
    return int(s - p + 1);
}

namespace {

// A cursor over the declaration: every test either consumes what it names or leaves the cursor.
struct Cursor
{
    const char *p;
    const char *end;

    bool blanks()
    {
        const char *from = p;
        while (p < end && CXmlSyntax::isBlank(uchar(*p)))
            ++p;
        return p != from;
    }
    bool literal(const char *text)
    {
        const size_t n = std::strlen(text);
        if (size_t(end - p) < n || std::memcmp(p, text, n) != 0)
            return false;
        p += n;
        return true;
    }
    // name, blanks, '=', blanks, then a quoted value; the value's bytes in value.
    bool pseudoAttribute(const char *name, const char **value, size_t *size)
    {
        const char *from = p;
        if (!literal(name)) {
            p = from;
            return false;
        }
        blanks();
        if (!literal("=")) {
            p = from;
            return false;
        }
        blanks();
        if (p >= end || (*p != '"' && *p != '\'')) {
            p = from;
            return false;
        }
        const char quote = *p++;
        const char *close = static_cast<const char *>(std::memchr(p, quote, size_t(end - p)));
        if (!close) {
            p = from;
            return false;
        }
        *value = p;
        *size = size_t(close - p);
        p = close + 1;
        return true;
    }
};

bool isEncodingName(const char *s, size_t n)
{
    const auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
    if (n == 0 || !letter(s[0]))
        return false;
    for (size_t i = 1; i < n; ++i) {
        const char c = s[i];
        if (!letter(c) && !(c >= '0' && c <= '9') && c != '.' && c != '_' && c != '-')
            return false;
    }
    return true;
}

} // namespace

CXmlSyntax::DeclarationState CXmlSyntax::declaration(const char *begin, const char *end, Declaration *out)
{
    if (end - begin < 6 || std::memcmp(begin, "<?xml", 5) != 0 || !isBlank(uchar(begin[5])))
        return NoDeclaration;
    // The DOM reader's keywords are case-sensitive and in this order: version, encoding, standalone,
    // each after a blank; it knows no others.
    Cursor c {begin + 5, end};
    const char *value;
    size_t size;
    c.blanks();
    if (!c.pseudoAttribute("version", &value, &size) || size != 3 || std::memcmp(value, "1.0", 3) != 0)
        return LeftToDom;
    QByteArray encoding;
    bool standalone = false;
    bool blank = c.blanks();
    if (blank && c.pseudoAttribute("encoding", &value, &size)) {
        if (!isEncodingName(value, size))
            return LeftToDom;
        encoding = QByteArray(value, qsizetype(size));
        if (encoding.compare("UTF-8", Qt::CaseInsensitive) != 0)
            return LeftToDom;
        blank = c.blanks();
    }
    if (blank && c.pseudoAttribute("standalone", &value, &size)) {
        if (size == 3 && std::memcmp(value, "yes", 3) == 0)
            standalone = true;
        else if (!(size == 2 && std::memcmp(value, "no", 2) == 0))
            return LeftToDom;
        c.blanks();
    }
    if (!c.literal("?>"))
        return LeftToDom;
    if (out) {
        out->end = c.p;
        out->encoding = encoding;
        out->standalone = standalone;
    }
    return Taken;
}

QString CXmlSyntax::text(const char *p, qsizetype n)
{
    qsizetype marks = 0;
    while (n - 3 * marks >= 3 && std::memcmp(p + 3 * marks, "\xEF\xBB\xBF", 3) == 0)
        ++marks;
    if (marks == 0)
        return QString::fromUtf8(p, n);
    return QString(marks, QChar(0xFEFF)) + QString::fromUtf8(p + 3 * marks, n - 3 * marks);
}
