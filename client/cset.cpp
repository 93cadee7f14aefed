#include "cset.h"

#include "catomicfile.h"
#include "cglobal.h"
#include "cmessages.h"
#include "cwmiquery.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDomNodeList>
#include <QHostInfo>
#include <QRegularExpression>
#include <QStringEncoder>
#include <QTextStream>
#include <QUuid>

namespace {

const char kVersion[] = "2.1.20090713";

QString timeText()
{
    return QDateTime::currentDateTime().toString(QStringLiteral("MMMM dd yyyy hh:mm:ss"));
}

// The encoding named by the document's XML declaration; empty when it names none.
QString declaredEncoding(const QDomDocument &doc)
{
    for (QDomNode n = doc.firstChild(); !n.isNull(); n = n.nextSibling()) {
        if (!n.isProcessingInstruction())
            continue;
        if (n.nodeName() != QLatin1String("xml"))
            return QString();
        static const QRegularExpression re(QStringLiteral("encoding\\s*=\\s*(?:\"([^\"]*)\"|'([^']*)')"));
        const QRegularExpressionMatch m = re.match(n.nodeValue());
        return m.hasMatch() ? (m.captured(1).isEmpty() ? m.captured(2) : m.captured(1)) : QString();
    }
    return QString();
}

// Rewrites the declaration's encoding name; used when the named encoding cannot be written, so the
// bytes written and the declaration agree.
void setDeclaredEncoding(QDomDocument &doc, const QString &name)
{
    for (QDomNode n = doc.firstChild(); !n.isNull(); n = n.nextSibling()) {
        if (n.isProcessingInstruction() && n.nodeName() == QLatin1String("xml")) {
            QDomProcessingInstruction pi = n.toProcessingInstruction();
            static const QRegularExpression re(QStringLiteral("encoding\\s*=\\s*(?:\"[^\"]*\"|'[^']*')"));
            QString data = pi.data();
            data.replace(re, QStringLiteral("encoding=\"") + name + QLatin1Char('"'));
            pi.setData(data);
            return;
        }
    }
}

// Characters above limit as character references, so an 8-bit encoding loses none of them.
QString escapeAbove(const QString &text, char32_t limit)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t c = text.at(i).unicode();
        if (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            c = QChar::surrogateToUcs4(text.at(i), text.at(i + 1));
        if (c > limit) {
            out += QStringLiteral("&#x%1;").arg(uint(c), 0, 16);
            if (c > 0xFFFF)
                ++i;
        } else {
            out += text.at(i);
        }
    }
    return out;
}

// The document as bytes in the encoding its declaration names (UTF-8 without one), indentation 2,
// lines ended the platform's way.
QByteArray serialise(QDomDocument &doc)
{
    const QString name = declaredEncoding(doc);
    const std::optional<QStringConverter::Encoding> builtIn
        = name.isEmpty() ? QStringConverter::Utf8 : QStringConverter::encodingForName(name.toLatin1().constData());
    QStringEncoder encoder;
    if (builtIn) {
        const bool unicode = *builtIn != QStringConverter::Latin1 && *builtIn != QStringConverter::System;
        const bool bom = unicode && *builtIn != QStringConverter::Utf8;
        encoder = QStringEncoder(*builtIn, bom ? QStringConverter::Flag::WriteBom : QStringConverter::Flag::Default);
    } else {
        encoder = QStringEncoder(name.toLatin1().constData());
        if (!encoder.isValid()) {
            setDeclaredEncoding(doc, QStringLiteral("UTF-8"));
            encoder = QStringEncoder(QStringConverter::Utf8);
        }
    }
    // The encoding is chosen here, so the toolkit is not asked to pick one from the declaration; it
    // then writes a declaration naming its stream's encoding, which is put back as the document has it.
    QString text;
    {
        QTextStream stream(&text);
        doc.save(stream, 2, QDomNode::EncodingFromTextStream);
    }
    const QDomNode first = doc.firstChild();
    if (first.isProcessingInstruction() && first.nodeName() == QLatin1String("xml")
        && text.startsWith(QLatin1String("<?xml"))) {
        const qsizetype end = text.indexOf(QLatin1String("?>"));
        if (end > 0)
            text.replace(
                0, end + 2, QStringLiteral("<?xml ") + first.toProcessingInstruction().data() + QStringLiteral("?>"));
    }
    if (builtIn == QStringConverter::Latin1)
        text = escapeAbove(text, 0xFF);
    else if (!builtIn && declaredEncoding(doc) == name)
        text = escapeAbove(text, 0x7F); // only ASCII and references: nothing the encoding might lack
#ifdef Q_OS_WIN
    text.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
#endif
    return encoder.encode(text);
}

} // namespace

CSet::CSet()
    : QObject(nullptr)
{ }

CSet::CSet(QObject *parent)
    : QObject(parent)
{ }

CSet::~CSet()
{
    m_file.close();
}

int CSet::init()
{
    m_file.setFileName(getDir(QCoreApplication::applicationFilePath()) + QStringLiteral("/set.xml"));
    // Opening for writing creates a missing file, empty, which then fails to parse.
    if (!m_file.open(QIODevice::ReadWrite))
        throw "Open set.xml error in CSet::init";
    const QByteArray content = m_file.readAll();
    // Saves replace the file by renaming a new one over it; a handle kept open would refer to the
    // replaced file, so none is kept.
    m_file.close();
    if (!m_doc.setContent(content, true))
        throw "Xml file format error in CSet::init";
    return 0;
}

int CSet::save()
{
    // A failed write leaves the previous file whole; like every save, it is not reported.
    writeDocument(m_file.fileName(), m_doc);
    return 0;
}

bool CSet::writeDocument(const QString &path, QDomDocument &doc)
{
    return CAtomicFile::write(path, serialise(doc));
}

bool CSet::hasSetRoot() const
{
    return m_doc.documentElement().tagName() == QLatin1String("set");
}

QDomElement CSet::newTextElement(const QString &tag, const QString &text)
{
    QDomElement e = m_doc.createElement(tag);
    e.appendChild(m_doc.createTextNode(text));
    return e;
}

void CSet::checkVersion()
{
    if (!hasSetRoot())
        return;
    QDomElement root = m_doc.documentElement();
    const QDomElement old = root.firstChildElement(QStringLiteral("version"));
    if (old.text() == QLatin1String(kVersion))
        return;
    if (!old.isNull())
        root.removeChild(old);
    root.appendChild(newTextElement(QStringLiteral("version"), QLatin1String(kVersion)));
    save();
}

QString CSet::getUUID()
{
    if (!hasSetRoot())
        return QString();
    return m_doc.documentElement().firstChildElement(QStringLiteral("UUID")).text();
}

QString CSet::getServer()
{
    if (!hasSetRoot())
        return QString();
    return m_doc.documentElement().firstChildElement(QStringLiteral("server")).text();
}

int CSet::setServer(const QString &address)
{
    if (!hasSetRoot())
        return -1;
    QDomElement root = m_doc.documentElement();
    const QDomElement old = root.firstChildElement(QStringLiteral("server"));
    const QDomElement server = newTextElement(QStringLiteral("server"), address);
    if (!old.isNull())
        root.removeChild(old);
    root.appendChild(server);
    return save();
}

int CSet::getContents(QString classKey, QStringList &rows)
{
    if (!hasSetRoot())
        return -1;
    const QDomElement classElement = m_doc.documentElement().firstChildElement(classKey);
    if (classElement.isNull())
        return 0;
    const QDomNodeList contents = classElement.elementsByTagName(QStringLiteral("content"));
    for (int i = 0; i < contents.size(); ++i)
        rows.append(contents.at(i).toElement().text());
    return 0;
}

QString CSet::getDir(const QString &path)
{
    // Latin-1 keeps one byte per character, so a position in the 8-bit text is one in the path.
    const QByteArray bytes = path.toLatin1();
    qsizetype cut = bytes.lastIndexOf('/');
    if (cut < 0)
        cut = bytes.lastIndexOf('\\');
    return cut < 0 ? path : path.left(cut);
}

int CSet::setUUID_config()
{
    if (!hasSetRoot())
        throw "Xml file format error,no set node found in CSet::setUUID_config";
    QDomElement root = m_doc.documentElement();
    const QDomElement old = root.firstChildElement(QStringLiteral("UUID"));
    if (!old.isNull() && !old.text().isEmpty())
        return 0;

    const QDomElement uuid = newTextElement(QStringLiteral("UUID"), QUuid::createUuid().toString());
    if (!old.isNull())
        root.replaceChild(uuid, old);
    else
        root.appendChild(uuid);

    const QString name = QHostInfo::localHostName();
    const QString address = CMessages::clientAddress();
    QDomElement pcname = root.firstChildElement(QStringLiteral("pcname"));
    if (!pcname.isNull()) {
        pcname.appendChild(m_doc.createTextNode(name));
        root.appendChild(pcname);
    }
    QDomElement ip = root.firstChildElement(QStringLiteral("ip"));
    if (!ip.isNull()) {
        ip.appendChild(m_doc.createTextNode(address));
        root.appendChild(ip);
    }

    CGlobal table;
    table.init();
    CWmiQuery bridge;
    for (const auto &entry : table.m_classMap) {
        const QString key = QString::fromLatin1(entry.first.c_str());
        const QStringList rows = bridge.query(key);
        QDomElement classElement = root.firstChildElement(key);
        if (classElement.isNull())
            continue; // nothing of a class without its element is stored
        for (const QString &row : rows)
            classElement.appendChild(newTextElement(QStringLiteral("content"), row));
        classElement.setAttribute(QStringLiteral("lastupdate"), timeText());
    }
    return save();
}

QDomElement CSet::newRecord(const QString &row, const QString &type, const QString &time)
{
    QDomElement record = newTextElement(QStringLiteral("record"), row);
    record.setAttribute(QStringLiteral("time"), time);
    record.setAttribute(QStringLiteral("type"), type);
    record.setAttribute(QStringLiteral("notice"), QStringLiteral("no"));
    record.setAttribute(QStringLiteral("ID"), QUuid::createUuid().toString());
    return record;
}

QDomElement CSet::changelogOf(QDomElement classElement, QDomDocument &doc)
{
    QDomElement changelog = classElement.firstChildElement(QStringLiteral("changelog"));
    if (changelog.isNull()) {
        changelog = doc.createElement(QStringLiteral("changelog"));
        classElement.appendChild(changelog);
    }
    return changelog;
}

int CSet::checkChange()
{
    CGlobal table;
    table.init();
    CWmiQuery bridge;
    QDomElement root = m_doc.documentElement();
    const QString time = timeText();
    QString lastType;

    for (const auto &entry : table.m_classMap) {
        const QString key = QString::fromLatin1(entry.first.c_str());
        const QStringList live = bridge.query(key);
        QStringList stored;
        getContents(key, stored);
        QDomElement classElement = root.firstChildElement(key);

        // Presence, not count, decides: a row is added when no stored row equals it, removed when no
        // live row equals it.
        for (const QString &row : live) {
            if (stored.contains(row))
                continue;
            lastType = QStringLiteral("add");
            if (classElement.isNull())
                continue; // the record has nowhere to go
            classElement.appendChild(newTextElement(QStringLiteral("content"), row));
            changelogOf(classElement, m_doc).appendChild(newRecord(row, lastType, time));
            classElement.setAttribute(QStringLiteral("lastupdate"), time);
        }
        for (const QString &row : std::as_const(stored)) {
            if (live.contains(row))
                continue;
            lastType = QStringLiteral("remove");
            const QDomNodeList contents = classElement.elementsByTagName(QStringLiteral("content"));
            for (int i = 0; i < contents.size(); ++i) {
                QDomElement content = contents.at(i).toElement();
                if (content.text() == row) {
                    content.parentNode().removeChild(content);
                    break;
                }
            }
            changelogOf(classElement, m_doc).appendChild(newRecord(row, lastType, time));
            classElement.setAttribute(QStringLiteral("lastupdate"), time);
        }
    }
    if (!lastType.isEmpty())
        return save();
    return 0;
}
