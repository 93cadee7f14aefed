#include "cset.h"

#include "catomicfile.h"
#include "cglobal.h"
#include "cmessages.h"
#include "cwmiquery.h"
#include "cxmlwriter.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDomNodeList>
#include <QHostInfo>
#include <QUuid>

namespace {

const char kVersion[] = "2.1.20090713";

QString timeText()
{
    return QDateTime::currentDateTime().toString(QStringLiteral("MMMM dd yyyy hh:mm:ss"));
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
    switch (readDocument(m_file, m_doc)) {
    case OpenFailed:
        throw "Open set.xml error in CSet::init";
    case ParseFailed:
        throw "Xml file format error in CSet::init";
    case Read:
        break;
    }
    return 0;
}

CSet::ReadResult CSet::readDocument(QFile &file, QDomDocument &doc, QIODevice::OpenMode mode)
{
    // Opening for writing creates a missing file, empty, which then fails to parse.
    if (!file.open(mode))
        return OpenFailed;
    const QByteArray content = file.readAll();
    // Saves replace the file by renaming a new one over it; a handle kept open would refer to the
    // replaced file, so none is kept.
    file.close();
    return doc.setContent(content, true) ? Read : ParseFailed;
}

int CSet::save()
{
    // A failed write leaves the previous file whole; like every save, it is not reported.
    writeDocument(m_file.fileName(), m_doc);
    return 0;
}

bool CSet::writeDocument(const QString &path, QDomDocument &doc)
{
    return CAtomicFile::write(path, CXmlWriter::serialize(doc, 2));
}

bool CSet::hasSetRoot() const
{
    return m_doc.documentElement().tagName() == QLatin1String("set");
}

QDomElement CSet::newTextElement(const QString &tag, const QString &text)
{
    // Every text stored here passes the filter of the store's rows: one character XML cannot hold
    // would leave a set.xml that no later start can read.
    QDomElement e = m_doc.createElement(tag);
    e.appendChild(m_doc.createTextNode(CXmlWriter::validText(text)));
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
    // An address that was nothing but characters XML cannot hold names no server.
    if (!address.isEmpty() && CXmlWriter::validText(address).isEmpty())
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
        pcname.appendChild(m_doc.createTextNode(CXmlWriter::validText(name)));
        root.appendChild(pcname);
    }
    QDomElement ip = root.firstChildElement(QStringLiteral("ip"));
    if (!ip.isNull()) {
        ip.appendChild(m_doc.createTextNode(CXmlWriter::validText(address)));
        root.appendChild(ip);
    }

    CGlobal table;
    table.init();
    CWmiQuery bridge;
    for (const auto &entry : table.m_classMap) {
        const QString key = QString::fromLatin1(entry.first.c_str());
        bool made = false;
        const QStringList rows = bridge.query(key, &made);
        QDomElement classElement = root.firstChildElement(key);
        if (classElement.isNull() || !made)
            continue; // nothing of a class without its element, or without an answer, is stored
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
        bool made = false;
        const QStringList live = bridge.query(key, &made);
        if (!made)
            continue; // no answer is no inventory: the stored rows stay, and no change is recorded
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
