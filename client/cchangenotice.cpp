#include "cchangenotice.h"

#include "cglobal.h"
#include "cmessages.h"
#include "cset.h"
#include "cshortframe.h"

#include <QCoreApplication>

namespace {

QString setPath()
{
    return CSet().getDir(QCoreApplication::applicationFilePath()) + QStringLiteral("/set.xml");
}

QDomElement changelogOf(const QDomDocument &doc, const QString &classKey)
{
    return doc.documentElement().firstChildElement(classKey).firstChildElement(QStringLiteral("changelog"));
}

// The change item of one record: "<class>$<type>$<row>" for the detector's own add/remove records,
// "<class>$<type>$<from>+<to>" for anything else put into set.xml.
QString itemOf(const QString &classKey, const QDomElement &record)
{
    const QString type = record.attribute(QStringLiteral("type"));
    if (type == QLatin1String("add") || type == QLatin1String("remove"))
        return CMessages::changeItem(classKey, type, record.text());
    return CMessages::changeItem(classKey, type,
        record.firstChildElement(QStringLiteral("from")).text() + QLatin1Char('+')
            + record.firstChildElement(QStringLiteral("to")).text());
}

} // namespace

CChangeNotice::CChangeNotice()
    : QObject(nullptr)
{ }

CChangeNotice::CChangeNotice(QObject *parent)
    : QObject(parent)
{ }

CChangeNotice::~CChangeNotice()
{
    m_file.close();
}

int CChangeNotice::init()
{
    m_file.setFileName(setPath());
    switch (CSet::readDocument(m_file, m_doc)) {
    case CSet::OpenFailed:
        throw "Open set.xml error in CChangeNotice::init";
    case CSet::ParseFailed:
        throw "Xml file format error in CChangeNotice::init";
    case CSet::Read:
        break;
    }
    return 0;
}

int CChangeNotice::noticeChange()
{
    const QDomElement root = m_doc.documentElement();
    if (root.tagName() != QLatin1String("set"))
        throw "Xml file format error,no set node found in CChangeNotice::noticeChange";

    CGlobal table;
    table.init();
    for (const auto &entry : table.m_classMap) {
        const QString key = QString::fromLatin1(entry.first.c_str());
        const QDomElement changelog = changelogOf(m_doc, key);
        if (changelog.isNull())
            continue;
        for (QDomElement e = changelog.firstChildElement(QStringLiteral("record")); !e.isNull();
             e = e.nextSiblingElement()) {
            if (e.attribute(QStringLiteral("notice")) != QLatin1String("no"))
                continue;
            const QString item = itemOf(key, e);
            if (m_items.isEmpty())
                m_items = item;
            else
                m_items += QLatin1Char('^') + item;
            m_pending.append(key + QLatin1Char(':') + e.attribute(QStringLiteral("ID")));
        }
    }
    if (m_items.isEmpty())
        return 0;

    connect(&m_socket, &QTcpSocket::connected, this, &CChangeNotice::sendContent);
    connect(&m_socket, &QTcpSocket::readyRead, this, &CChangeNotice::readResult);
    m_socket.connectToHost(
        root.firstChildElement(QStringLiteral("server")).text(), CMessages::ServerPort, QIODevice::ReadWrite);
    return 0;
}

void CChangeNotice::sendContent()
{
    const QString uuid = m_doc.documentElement().firstChildElement(QStringLiteral("UUID")).text();
    // A notice beyond a normal short frame goes out in the extended form.
    CShortFrame::write(&m_socket, QStringLiteral("changelog:") + uuid + QLatin1Char('^') + m_items);
}

void CChangeNotice::readResult()
{
    for (;;) {
        const CShortFrameReader::Status status = m_reader.readFrom(&m_socket);
        if (status == CShortFrameReader::NeedMore)
            return; // a partial frame is kept until the rest arrives
        if (status == CShortFrameReader::Error) {
            m_socket.abort();
            return;
        }
        const QString answer = m_reader.text();
        m_reader.reset();
        if (!CMessages::isAck(answer))
            continue;

        // set.xml is read again just before the marking, so what others saved since this sender
        // loaded it (the console's address of an identity request) survives the write. Records added
        // meanwhile carry identifiers that are not pending and stay unmarked.
        QFile file(setPath());
        QDomDocument current;
        if (CSet::readDocument(file, current, QIODevice::ReadOnly) == CSet::Read
            && current.documentElement().tagName() == QLatin1String("set"))
            m_doc = current;
        markRecords(m_doc, m_pending);
        CSet::writeDocument(setPath(), m_doc);
        m_socket.disconnectFromHost();
        return;
    }
}

void CChangeNotice::markRecords(QDomDocument &doc, const QStringList &pending)
{
    for (const QString &entry : pending) {
        const QStringList parts = entry.split(QLatin1Char(':'), Qt::KeepEmptyParts, Qt::CaseSensitive);
        const QString key = parts.value(0);
        const QString id = parts.value(1);
        const QDomElement changelog = changelogOf(doc, key);
        if (changelog.isNull())
            continue;
        for (QDomElement e = changelog.firstChildElement(QStringLiteral("record")); !e.isNull();
             e = e.nextSiblingElement()) {
            if (e.attribute(QStringLiteral("ID")) == id)
                e.setAttribute(QStringLiteral("notice"), QStringLiteral("yes"));
        }
    }
}
