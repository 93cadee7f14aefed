#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// The lexical rules of XML as the store's DOM reader applies them, for the store's fast readers (the
// pugixml tree and the report search's digest scanner). What these rules take, the DOM reader takes
// and reads the same way; whatever they do not take, the fast readers leave to the DOM reader, so
// no fast reader ever shows a file that the store itself finds unreadable.
class CXmlSyntax
{
public:
    // XML's blanks: a vertical tab or a form feed is none (the DOM reader refuses them as characters).
    static bool isBlank(uchar c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

    static bool isXmlChar(uint u)
    {
        return u == 0x9 || u == 0xA || u == 0xD || (u >= 0x20 && u <= 0xD7FF) || (u >= 0xE000 && u <= 0xFFFD)
            || (u >= 0x10000 && u <= 0x10FFFF);
    }

    // Length of the XML character at p in well-formed UTF-8 (shortest form, no surrogate), 0 when
    // there is none. p < end.
    static int charLength(const uchar *p, const uchar *end)
    {
        const uchar c = *p;
        if (c < 0x80)
            return isXmlChar(c) ? 1 : 0;
        int n;
        uint u;
        if (c >= 0xC2 && c <= 0xDF) {
            n = 2;
            u = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            n = 3;
            u = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            n = 4;
            u = c & 0x07;
        } else {
            return 0;
        }
        if (end - p < n)
            return 0;
        for (int i = 1; i < n; ++i) {
            if ((p[i] & 0xC0) != 0x80)
                return 0;
            u = (u << 6) | (p[i] & 0x3F);
        }
        static const uint least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (u < least[n] || (u >= 0xD800 && u <= 0xDFFF) || !isXmlChar(u))
            return 0;
        return n;
    }

    // UTF-8 text of a value to a string, keeping a leading U+FEFF: QString::fromUtf8 drops it as a
    // byte order mark, where inside a value it is a character like any other (the DOM reader keeps it).
    static QString text(const char *p, qsizetype n);
    static QString text(const char *p) { return text(p, qsizetype(qstrlen(p))); }

    // Length of the reference at p ('&' up to its ';'): one of the five predefined entities or a
    // character reference to an XML character; 0 for anything else (an entity of a document type is
    // the DOM reader's). value (if given) receives the character.
    static int reference(const char *p, const char *end, uint *value);

    // The XML declaration at the start of a file (after any byte order mark).
    struct Declaration
    {
        const char *end = nullptr; // just past its "?>"
        QByteArray encoding; // as written; empty when not given
        bool standalone = false; // standalone="yes"
    };
    enum DeclarationState {
        NoDeclaration, // the file does not start with "<?xml" and a blank
        Taken, // version 1.0, UTF-8 or no encoding, in the order and form the DOM reader takes
        LeftToDom // anything else: the DOM reader decides (another encoding, or it refuses the file)
    };
    static DeclarationState declaration(const char *begin, const char *end, Declaration *out);
};
