#include "cdigestreader.h"

#include "cdigestcache.h"
#include "cstorepath.h"
#include "cxmlfile.h"
#include "cxmlsyntax.h"

#include <QAtomicInt>
#include <QDomDocument>
#include <QDomElement>
#include <QDomNodeList>
#include <QFile>
#include <QThread>
#include <QVarLengthArray>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace {
const QString kLastUpdate = QStringLiteral("lastupdate");

QString filePath(const QString &uuid)
{
    return CStorePath::appDir() + QLatin1Char('/') + uuid + QStringLiteral(".xml");
}
} // namespace

// Fast path of CDigestReader::parse: a scanner of the well-formed UTF-8 documents the store writes,
// under the lexical rules the store's tree shares (CXmlSyntax). It answers only when it is sure:
// anything it does not fully check (a document type declaration, another encoding, namespaces,
// names beyond ASCII, an entity other than the five predefined ones, any error) hands the document
// to the store's document reader, which then decides. So both give the same summary for every
// document.
namespace {

inline bool isSpace(uchar c)
{
    return CXmlSyntax::isBlank(c);
}
inline bool isNameStart(uchar c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}
inline bool isNameChar(uchar c)
{
    return isNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

// One UTF-8 sequence at p (a byte >= 0x80) that is a character XML allows; advances p past it.
inline bool utf8Char(const uchar *&p, const uchar *e)
{
    const int n = CXmlSyntax::charLength(p, e);
    p += n;
    return n > 0;
}

// A reference at p ('&'); advances p past the ';'. out (if given) receives the character's UTF-8.
bool reference(const uchar *&p, const uchar *e, QByteArray *out)
{
    uint u = 0;
    const int n = CXmlSyntax::reference(reinterpret_cast<const char *>(p), reinterpret_cast<const char *>(e), &u);
    if (n == 0)
        return false;
    if (out) {
        if (u < 0x80) {
            out->append(char(u));
        } else if (u < 0x800) {
            out->append(char(0xC0 | (u >> 6)));
            out->append(char(0x80 | (u & 0x3F)));
        } else if (u < 0x10000) {
            out->append(char(0xE0 | (u >> 12)));
            out->append(char(0x80 | ((u >> 6) & 0x3F)));
            out->append(char(0x80 | (u & 0x3F)));
        } else {
            out->append(char(0xF0 | (u >> 18)));
            out->append(char(0x80 | ((u >> 12) & 0x3F)));
            out->append(char(0x80 | ((u >> 6) & 0x3F)));
            out->append(char(0x80 | (u & 0x3F)));
        }
    }
    p += n;
    return true;
}

// Character data from p up to e: allowed characters, references, no "]]>".
bool validText(const uchar *p, const uchar *e)
{
    while (p < e) {
        const uchar c = *p;
        if (c >= 0x80) {
            if (!utf8Char(p, e))
                return false;
            continue;
        }
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r')
            return false;
        if (c == '&') {
            if (!reference(p, e, nullptr))
                return false;
            continue;
        }
        if (c == ']' && e - p >= 3 && p[1] == ']' && p[2] == '>')
            return false;
        ++p;
    }
    return true;
}

// Plain characters only (comments, processing instructions, CDATA sections).
bool validChars(const uchar *p, const uchar *e)
{
    while (p < e) {
        const uchar c = *p;
        if (c >= 0x80) {
            if (!utf8Char(p, e))
                return false;
            continue;
        }
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r')
            return false;
        ++p;
    }
    return true;
}

// An attribute value between its quotes, checked and, when wanted, normalised as the XML rules say
// (references replaced, each tab, line feed, carriage return or CR LF pair read as one blank).
bool attributeValue(const uchar *p, const uchar *e, QString *out)
{
    QByteArray buf;
    bool plain = true;
    const uchar *start = p;
    while (p < e) {
        const uchar c = *p;
        if (c >= 0x80) {
            const uchar *from = p;
            if (!utf8Char(p, e))
                return false;
            if (!plain && out)
                buf.append(reinterpret_cast<const char *>(from), p - from);
            continue;
        }
        if (c == '<' || (c < 0x20 && c != '\t' && c != '\n' && c != '\r'))
            return false;
        if (c == '&' || c == '\t' || c == '\n' || c == '\r') {
            if (plain && out) {
                buf.append(reinterpret_cast<const char *>(start), p - start);
                plain = false;
            } else if (plain) {
                plain = false;
            }
            if (c == '&') {
                if (!reference(p, e, out ? &buf : nullptr))
                    return false;
                continue;
            }
            if (c == '\r' && p + 1 < e && p[1] == '\n')
                ++p;
            if (out)
                buf.append(' ');
            ++p;
            continue;
        }
        if (!plain && out)
            buf.append(char(c));
        ++p;
    }
    if (out) {
        if (plain)
            *out = CXmlSyntax::text(reinterpret_cast<const char *>(start), e - start);
        else
            *out = CXmlSyntax::text(buf.constData(), buf.size());
    }
    return true;
}

const uchar *find(const uchar *p, const uchar *e, const char *what)
{
    const size_t n = std::strlen(what);
    while (p < e) {
        const uchar *hit = static_cast<const uchar *>(std::memchr(p, uchar(what[0]), size_t(e - p)));
        if (!hit || size_t(e - hit) < n)
            return nullptr;
        if (std::memcmp(hit, what, n) == 0)
            return hit;
        p = hit + 1;
    }
    return nullptr;
}

bool fastParse(const QByteArray &raw, QMap<QString, QString> &out, QString &rootLastUpdate)
{
    const uchar *p = reinterpret_cast<const uchar *>(raw.constData());
    const uchar *const e = p + raw.size();
    if (e - p >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF)
        p += 3;
    CXmlSyntax::Declaration decl;
    switch (CXmlSyntax::declaration(reinterpret_cast<const char *>(p), reinterpret_cast<const char *>(e), &decl)) {
    case CXmlSyntax::LeftToDom:
        return false;
    case CXmlSyntax::Taken:
        p = reinterpret_cast<const uchar *>(decl.end);
        break;
    case CXmlSyntax::NoDeclaration:
        break;
    }
    struct Name
    {
        const uchar *p;
        qptrdiff n;
    };
    QVarLengthArray<Name, 16> stack;
    bool rootDone = false;
    bool rootSeen = false;
    QString cls;
    QString text;
    QVarLengthArray<Name, 8> attrs;
    while (p < e) {
        const uchar *lt = static_cast<const uchar *>(std::memchr(p, '<', size_t(e - p)));
        const uchar *textEnd = lt ? lt : e;
        if (stack.isEmpty()) {
            for (const uchar *q = p; q < textEnd; ++q) {
                if (!isSpace(*q))
                    return false;
            }
        } else if (!validText(p, textEnd)) {
            return false;
        }
        if (!lt)
            break;
        p = lt + 1;
        if (p >= e)
            return false;
        if (*p == '?') {
            const uchar *close = find(p, e, "?>");
            if (!close)
                return false;
            // A processing instruction; a declaration anywhere but at the start is refused.
            const uchar *q = p + 1;
            if (q >= close || !isNameStart(*q))
                return false;
            while (q < close && isNameChar(*q))
                ++q;
            if (q - (p + 1) == 3
                && QByteArrayView(reinterpret_cast<const char *>(p + 1), 3).compare("xml", Qt::CaseInsensitive) == 0)
                return false;
            if (q < close && !isSpace(*q))
                return false;
            if (!validChars(q, close))
                return false;
            p = close + 2;
            continue;
        }
        if (*p == '!') {
            if (e - p >= 3 && p[1] == '-' && p[2] == '-') {
                const uchar *body = p + 3;
                const uchar *dashes = find(body, e, "--");
                if (!dashes || dashes + 2 >= e || dashes[2] != '>')
                    return false;
                if (!validChars(body, dashes))
                    return false;
                p = dashes + 3;
                continue;
            }
            if (!stack.isEmpty() && e - p >= 8 && std::memcmp(p, "![CDATA[", 8) == 0) {
                const uchar *close = find(p + 8, e, "]]>");
                if (!close || !validChars(p + 8, close))
                    return false;
                p = close + 3;
                continue;
            }
            return false; // a document type declaration or something else: the toolkit decides
        }
        if (*p == '/') {
            const uchar *q = ++p;
            while (q < e && isNameChar(*q))
                ++q;
            if (stack.isEmpty() || q - p != stack.last().n || std::memcmp(p, stack.last().p, size_t(q - p)) != 0)
                return false;
            while (q < e && isSpace(*q))
                ++q;
            if (q >= e || *q != '>')
                return false;
            stack.removeLast();
            if (stack.size() == 1)
                out[cls] = text;
            else if (stack.isEmpty())
                rootDone = true;
            p = q + 1;
            continue;
        }
        // A start tag.
        if (!isNameStart(*p) || rootDone)
            return false;
        const uchar *nameStart = p;
        while (p < e && isNameChar(*p))
            ++p;
        if (p >= e || (!isSpace(*p) && *p != '>' && *p != '/'))
            return false; // ':' (a namespace prefix) or a name beyond ASCII: the toolkit decides
        const Name name {nameStart, p - nameStart};
        const int depth = int(stack.size());
        const bool isContent = depth >= 2 && name.n == 7 && std::memcmp(name.p, "content", 7) == 0;
        attrs.clear();
        QString digest;
        bool hasDigest = false;
        for (;;) {
            const uchar *before = p;
            while (p < e && isSpace(*p))
                ++p;
            if (p >= e)
                return false;
            if (*p == '>' || *p == '/')
                break;
            if (p == before || !isNameStart(*p))
                return false;
            const uchar *an = p;
            while (p < e && isNameChar(*p))
                ++p;
            const Name attr {an, p - an};
            if (attr.n >= 5 && std::memcmp(an, "xmlns", 5) == 0)
                return false;
            for (const Name &seen : attrs) {
                if (seen.n == attr.n && std::memcmp(seen.p, attr.p, size_t(attr.n)) == 0)
                    return false;
            }
            attrs.append(attr);
            while (p < e && isSpace(*p))
                ++p;
            if (p >= e || *p != '=')
                return false;
            ++p;
            while (p < e && isSpace(*p))
                ++p;
            if (p >= e || (*p != '"' && *p != '\''))
                return false;
            const uchar quote = *p++;
            const uchar *valueEnd = static_cast<const uchar *>(std::memchr(p, quote, size_t(e - p)));
            if (!valueEnd)
                return false;
            QString *value = nullptr;
            if (depth == 0 && attr.n == 10 && std::memcmp(an, "lastupdate", 10) == 0)
                value = &rootLastUpdate;
            else if (isContent && attr.n == 6 && std::memcmp(an, "digest", 6) == 0) {
                value = &digest;
                hasDigest = true;
            }
            if (!attributeValue(p, valueEnd, value))
                return false;
            p = valueEnd + 1;
        }
        const bool empty = *p == '/';
        if (empty && (p + 1 >= e || p[1] != '>'))
            return false;
        p += empty ? 2 : 1;
        if (depth == 0) {
            if (rootSeen)
                return false;
            rootSeen = true;
        } else if (depth == 1) {
            cls = QString::fromLatin1(reinterpret_cast<const char *>(name.p), name.n);
            text.clear();
        } else if (isContent) {
            if (hasDigest)
                text += digest;
            text += QLatin1Char('\n');
        }
        if (empty) {
            if (depth == 1)
                out[cls] = text;
            else if (depth == 0)
                rootDone = true;
        } else {
            stack.append(name);
        }
    }
    return rootDone && stack.isEmpty();
}

} // namespace

QMap<QString, QString> CDigestReader::parse(const QByteArray &raw)
{
    QMap<QString, QString> out;
    QString rootLastUpdate;
    if (!raw.isEmpty() && fastParse(raw, out, rootLastUpdate)) {
        out[kLastUpdate] = rootLastUpdate;
        return out;
    }
    out.clear();
    // What the scanner does not take is read by the store's own document reader, so the search
    // never takes a file the store refuses (nor refuses one it takes). Store files never get here.
    QDomDocument doc;
    CXmlFile::parse(raw, doc); // a file that does not parse is an empty document
    const QDomElement root = doc.documentElement();
    for (QDomElement cls = root.firstChildElement(); !cls.isNull(); cls = cls.nextSiblingElement()) {
        QString text;
        const QDomNodeList all = cls.elementsByTagName(QStringLiteral("content"));
        for (int i = 0; i < all.count(); ++i)
            text += all.item(i).toElement().attribute(QStringLiteral("digest")) + QLatin1Char('\n');
        out[cls.tagName()] = text;
    }
    out[kLastUpdate] = root.attribute(kLastUpdate);
    return out;
}

QMap<QString, QString> CDigestReader::read(const QString &uuid, CDigestCache *cache)
{
    if (!CStorePath::isSafeUuid(uuid))
        return parse(QByteArray());
    QFile file(filePath(uuid));
    if (!file.open(QIODevice::ReadOnly)) {
        // As the store's open: a listed client without a file gets an empty one.
        if (!file.exists())
            file.open(QIODevice::ReadWrite);
        return parse(QByteArray());
    }
    // The identity is taken from the open file, so it names exactly the version read below even when
    // the store replaces the file meanwhile.
    CDigestCache::Key key;
    const bool keyed = cache && cache->keyOf(file.handle(), key);
    QMap<QString, QString> digests;
    if (keyed && cache->find(file.fileName(), key, digests))
        return digests;
    const QByteArray raw = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return parse(QByteArray());
    digests = parse(raw);
    if (keyed)
        cache->insert(file.fileName(), key, digests);
    return digests;
}

QList<QMap<QString, QString>> CDigestReader::readAll(const QStringList &uuids, CDigestCache *cache)
{
    QList<QMap<QString, QString>> out(uuids.size());
    if (cache) {
        // Clients no longer listed leave the cache: it never holds more than the list.
        QStringList paths;
        paths.reserve(uuids.size());
        for (const QString &uuid : uuids)
            paths.append(filePath(uuid));
        cache->retain(paths);
    }
    if (uuids.isEmpty())
        return out;
    const int workers = std::max(1, std::min<int>(QThread::idealThreadCount(), int(uuids.size())));
    QAtomicInt next(0);
    QMap<QString, QString> *results = out.data(); // detached once here; each worker writes its own entries
    const auto work = [&]() {
        for (int i = next.fetchAndAddRelaxed(1); i < uuids.size(); i = next.fetchAndAddRelaxed(1))
            results[i] = read(uuids.at(i), cache);
    };
    // Threads of our own, not a pool: a pool never tells of a thread the system could not start,
    // and would wait for its share for ever. One that does not start is left out; this thread
    // works too, so every file is read whatever starts.
    std::vector<std::unique_ptr<QThread>> helpers;
    for (int w = 1; w < workers; ++w) {
        std::unique_ptr<QThread> helper(QThread::create(work));
        helper->start();
        if (helper->isRunning() || helper->isFinished())
            helpers.push_back(std::move(helper));
    }
    work();
    for (const auto &helper : helpers)
        helper->wait();
    return out;
}
