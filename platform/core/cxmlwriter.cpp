#include "cxmlwriter.h"

#include <QDomProcessingInstruction>
#include <QRegularExpression>
#include <QStringEncoder>
#include <QTextStream>

#include <optional>

namespace {

QDomProcessingInstruction declarationOf(const QDomDocument &doc)
{
    for (QDomNode n = doc.firstChild(); !n.isNull(); n = n.nextSibling()) {
        if (!n.isProcessingInstruction())
            continue;
        if (n.nodeName() != QLatin1String("xml"))
            break;
        return n.toProcessingInstruction();
    }
    return QDomProcessingInstruction();
}

// The declaration's data with its encoding name replaced.
QString withEncoding(QString data, const QString &name)
{
    static const QRegularExpression re(QStringLiteral("encoding\\s*=\\s*(?:\"[^\"]*\"|'[^']*')"));
    data.replace(re, QStringLiteral("encoding=\"") + name + QLatin1Char('"'));
    return data;
}

// The serialised document with characters above limit written as references where references
// mean characters: in character data and attribute values. Names, comments, processing
// instructions, CDATA sections and the document type are left as they are.
QString escapeAbove(const QString &text, char32_t limit)
{
    QString out;
    out.reserve(text.size());
    enum { Text, Tag, Value, Verbatim } state = Text;
    QChar quote;
    QString verbatimEnd;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        switch (state) {
        case Text:
            if (c == QLatin1Char('<')) {
                const QStringView rest = QStringView(text).mid(i);
                if (rest.startsWith(QLatin1String("<!--"))) {
                    verbatimEnd = QStringLiteral("-->");
                    state = Verbatim;
                } else if (rest.startsWith(QLatin1String("<![CDATA["))) {
                    verbatimEnd = QStringLiteral("]]>");
                    state = Verbatim;
                } else if (rest.startsWith(QLatin1String("<?")) || rest.startsWith(QLatin1String("<!"))) {
                    verbatimEnd = QStringLiteral(">");
                    state = Verbatim;
                } else {
                    state = Tag;
                }
                out += c;
                continue;
            }
            break;
        case Tag:
            if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
                quote = c;
                state = Value;
            } else if (c == QLatin1Char('>')) {
                state = Text;
            }
            out += c;
            continue;
        case Value:
            if (c == quote) {
                state = Tag;
                out += c;
                continue;
            }
            break;
        case Verbatim:
            out += c;
            if (c == verbatimEnd.back() && out.endsWith(verbatimEnd))
                state = Text;
            continue;
        }
        char32_t u = c.unicode();
        const bool pair = c.isHighSurrogate() && i + 1 < n && text.at(i + 1).isLowSurrogate();
        if (pair)
            u = QChar::surrogateToUcs4(c, text.at(i + 1));
        if (u > limit) {
            out += QStringLiteral("&#x%1;").arg(uint(u), 0, 16);
            if (pair)
                ++i;
        } else {
            out += c;
        }
    }
    return out;
}

// Whether the encoding writes ASCII as ASCII. A reader finds the declaration by reading the first
// bytes as ASCII, so an encoding that shifts markup into other bytes (UTF-7, EBCDIC) makes a file no
// reader can open.
bool keepsAscii(const QString &name)
{
    QString probe;
    for (char16_t c = 0x20; c < 0x7F; ++c)
        probe.append(QChar(c));
    probe.append(QStringLiteral("\t\n\r"));
    QStringEncoder encoder(name.toLatin1().constData());
    const QByteArray out = encoder.encode(probe);
    return !encoder.hasError() && out == probe.toLatin1();
}

} // namespace

QString CXmlWriter::declaredEncoding(const QDomDocument &doc)
{
    const QDomProcessingInstruction pi = declarationOf(doc);
    if (pi.isNull())
        return QString();
    static const QRegularExpression re(QStringLiteral("encoding\\s*=\\s*(?:\"([^\"]*)\"|'([^']*)')"));
    const QRegularExpressionMatch m = re.match(pi.data());
    return m.hasMatch() ? (m.captured(1).isEmpty() ? m.captured(2) : m.captured(1)) : QString();
}

QByteArray CXmlWriter::serialize(const QDomDocument &doc, int indent)
{
    const QDomProcessingInstruction declaration = declarationOf(doc);
    const QString name = declaredEncoding(doc);

    // The encoding is chosen here, not by the toolkit from the declaration (it warns about names it
    // lacks); it then writes a declaration naming its stream's encoding, which is replaced by the
    // document's own, or dropped when the document has none.
    QString text;
    {
        QTextStream stream(&text);
        doc.save(stream, indent, QDomNode::EncodingFromTextStream);
    }
    if (text.startsWith(QLatin1String("<?xml"))) {
        qsizetype end = text.indexOf(QLatin1String("?>"));
        if (end > 0) {
            end += 2;
            if (declaration.isNull()) {
                if (end < text.size() && text.at(end) == QLatin1Char('\n'))
                    ++end;
                text.remove(0, end);
            } else {
                text.replace(0, end, QStringLiteral("<?xml ") + declaration.data() + QStringLiteral("?>"));
            }
        }
    }
#ifdef Q_OS_WIN
    text.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
#endif

    const std::optional<QStringConverter::Encoding> builtIn
        = name.isEmpty() ? QStringConverter::Utf8 : QStringConverter::encodingForName(name.toLatin1().constData());
    if (builtIn) {
        if (*builtIn == QStringConverter::Latin1) {
            QStringEncoder encoder(QStringConverter::Latin1);
            const QByteArray out = encoder.encode(escapeAbove(text, 0xFF));
            if (!encoder.hasError())
                return out;
        } else {
            const bool bom = *builtIn != QStringConverter::Utf8 && *builtIn != QStringConverter::System;
            QStringEncoder encoder(*builtIn, bom ? QStringConverter::Flag::WriteBom : QStringConverter::Flag::Default);
            return encoder.encode(text);
        }
    } else {
        QStringEncoder encoder(name.toLatin1().constData());
        if (encoder.isValid() && keepsAscii(name)) {
            // Only ASCII and references in text and values: nothing the encoding might lack.
            const QByteArray out = encoder.encode(escapeAbove(text, 0x7F));
            if (!encoder.hasError())
                return out;
        }
    }
    // The named encoding cannot be written (unknown, or a name it cannot hold): UTF-8, declared so.
    if (!declaration.isNull()) {
        const QString old = QStringLiteral("<?xml ") + declaration.data() + QStringLiteral("?>");
        if (text.startsWith(old))
            text.replace(0, old.size(),
                QStringLiteral("<?xml ") + withEncoding(declaration.data(), QStringLiteral("UTF-8"))
                    + QStringLiteral("?>"));
    }
    return text.toUtf8();
}

QString CXmlWriter::validText(const QString &text)
{
    const auto allowed = [](char16_t u) { return u >= 0x20 ? u < 0xFFFE : u == 0x9 || u == 0xA || u == 0xD; };
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n && allowed(text.at(i).unicode()) && !text.at(i).isSurrogate())
        ++i;
    if (i == n)
        return text; // the usual case: nothing to drop, no copy
    QString out = text.left(i);
    for (; i < n; ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < n && text.at(i + 1).isLowSurrogate()) {
            out.append(c);
            out.append(text.at(++i));
        } else if (!c.isSurrogate() && allowed(c.unicode())) {
            out.append(c);
        }
    }
    return out;
}
