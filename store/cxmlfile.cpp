#include "cxmlfile.h"

#include "catomicfile.h"

#include <QDateTime>
#include <QDomProcessingInstruction>
#include <QFile>
#include <QRegularExpression>
#include <QStringEncoder>

CXmlFile::State CXmlFile::read(const QString &path, QByteArray &raw)
{
    raw.clear();
    QFile file(path);
    if (!file.exists())
        return Empty;
    if (!file.open(QIODevice::ReadOnly))
        return Unreadable;
    raw = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        raw.clear();
        return Unreadable;
    }
    return raw.isEmpty() ? Empty : Parsed;
}

CXmlFile::State CXmlFile::parse(const QByteArray &raw, QDomDocument &doc)
{
    doc = QDomDocument();
    if (raw.isEmpty())
        return Empty;
    if (!doc.setContent(raw, true)) {
        doc = QDomDocument();
        return Unreadable;
    }
    return Parsed;
}

CXmlFile::State CXmlFile::load(const QString &path, QDomDocument &doc, QByteArray *raw)
{
    QByteArray bytes;
    const State state = read(path, bytes);
    if (raw)
        *raw = bytes;
    if (state != Parsed) {
        doc = QDomDocument();
        return state;
    }
    return parse(bytes, doc);
}

QByteArray CXmlFile::serialize(const QDomDocument &doc, int indent)
{
    QString encoding;
    for (QDomNode n = doc.firstChild(); !n.isNull(); n = n.nextSibling()) {
        if (!n.isProcessingInstruction())
            continue;
        const QDomProcessingInstruction pi = n.toProcessingInstruction();
        if (pi.target() != QLatin1String("xml"))
            continue;
        static const QRegularExpression re(QStringLiteral("encoding\\s*=\\s*[\"']([^\"']*)[\"']"));
        const QRegularExpressionMatch m = re.match(pi.data());
        if (m.hasMatch())
            encoding = m.captured(1);
        break;
    }
    const QString text = doc.toString(indent);
    if (!encoding.isEmpty()) {
        QStringEncoder encoder(encoding.toLatin1().constData());
        if (encoder.isValid()) {
            QByteArray out = encoder.encode(text);
            if (!encoder.hasError())
                return out;
        }
    }
    return text.toUtf8();
}

bool CXmlFile::store(
    const QString &path, const QDomDocument &doc, int indent, const QByteArray &current, QByteArray *written)
{
    const QByteArray data = serialize(doc, indent);
    if (written)
        *written = data;
    if (data == current && QFile::exists(path))
        return true;
    return CAtomicFile::write(path, data);
}

QString CXmlFile::validText(const QString &text)
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

QString CXmlFile::timeStamp()
{
    return QDateTime::currentDateTime().toString(QStringLiteral("MMMM dd yyyy hh:mm:ss"));
}
