#include "cxmlfile.h"

#include "catomicfile.h"
#include "cxmlwriter.h"

#include <QDateTime>
#include <QFile>

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
    return CXmlWriter::serialize(doc, indent);
}

bool CXmlFile::prepareFill(const QString &path, QByteArray &current)
{
    const State state = read(path, current);
    if (state == Unreadable)
        return false;
    QDomDocument doc;
    if (state == Empty || parse(current, doc) == Parsed)
        return true;
    QString aside = path + QStringLiteral(".broken");
    for (int n = 2; QFile::exists(aside); ++n)
        aside = path + QStringLiteral(".%1.broken").arg(n);
    if (!QFile::rename(path, aside))
        return false;
    current.clear();
    return true;
}

bool CXmlFile::store(
    const QString &path, const QDomDocument &doc, int indent, const QByteArray &current, QByteArray *written)
{
    const QByteArray data = serialize(doc, indent);
    if (written)
        *written = data;
    return storeBytes(path, data, current);
}

bool CXmlFile::storeBytes(const QString &path, const QByteArray &data, const QByteArray &current)
{
    if (data == current && QFile::exists(path))
        return true;
    return CAtomicFile::write(path, data);
}

QString CXmlFile::validText(const QString &text)
{
    return CXmlWriter::validText(text);
}

QString CXmlFile::timeStamp()
{
    return QDateTime::currentDateTime().toString(QStringLiteral("MMMM dd yyyy hh:mm:ss"));
}
