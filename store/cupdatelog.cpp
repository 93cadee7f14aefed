#include "cupdatelog.h"

#include "cfileguard.h"
#include "cstorepath.h"
#include "cxmlfile.h"

#include <QDomNodeList>

namespace {

QDomElement textElement(QDomDocument &doc, const QString &tag, const QString &text)
{
    QDomElement e = doc.createElement(tag);
    e.appendChild(doc.createTextNode(CXmlFile::validText(text))); // host label and version come from the client
    return e;
}

} // namespace

CUpdateLog::CUpdateLog() = default;

CUpdateLog::~CUpdateLog()
{
    m_file.close();
}

QString CUpdateLog::getAppDir()
{
    return CStorePath::appDir();
}

QString CUpdateLog::logPath()
{
    return getAppDir() + QStringLiteral("/updateLog.xml");
}

int CUpdateLog::init()
{
    m_file.close();
    m_file.setFileName(logPath());
    if (!m_file.open(QIODevice::ReadWrite | QIODevice::Text))
        return 0;
    m_pending.clear();
    return CXmlFile::load(logPath(), m_document) == CXmlFile::Parsed ? 1 : 0;
}

void CUpdateLog::addRecord(const QString &ip, const QString &oldVersion, const QString &newVersion,
    const QStringList &files, const QString &type)
{
    QDomElement root = m_document.documentElement();
    QDomElement record = m_document.createElement(QStringLiteral("record"));
    record.appendChild(textElement(m_document, QStringLiteral("ip"), ip));
    record.appendChild(textElement(m_document, QStringLiteral("type"), type));
    record.appendChild(textElement(m_document, QStringLiteral("oldVersion"), oldVersion));
    record.appendChild(textElement(m_document, QStringLiteral("newVersion"), newVersion));
    record.appendChild(textElement(m_document, QStringLiteral("time"), CXmlFile::timeStamp()));
    QDomElement list = m_document.createElement(QStringLiteral("files"));
    for (const QString &path : files)
        list.appendChild(textElement(m_document, QStringLiteral("file"), path));
    record.appendChild(list);
    if (root.isNull())
        return; // no document to hold it: the record is dropped
    root.appendChild(record);
    m_pending.append(record);
}

int CUpdateLog::save()
{
    if (m_pending.isEmpty())
        return 0;
    const QString path = logPath();
    CFileGuard guard(path);
    if (!guard.isLocked())
        return -1;
    QDomDocument doc;
    QByteArray raw;
    if (CXmlFile::load(path, doc, &raw) != CXmlFile::Parsed)
        return -1; // unreadable: never replaced; empty: no root left to hold the records
    QDomElement root = doc.documentElement();
    for (const QDomElement &record : std::as_const(m_pending))
        root.appendChild(doc.importNode(record, true));
    if (!CXmlFile::store(path, doc, 2, raw))
        return -1;
    m_pending.clear();
    m_document = doc;
    return 0;
}

void CUpdateLog::getRecords(QList<UpdateRecord> &records)
{
    const QDomElement root = m_document.documentElement();
    if (root.tagName() != QLatin1String("log"))
        return;
    const QDomNodeList all = root.elementsByTagName(QStringLiteral("record"));
    for (int i = 0; i < all.count(); ++i) {
        const QDomElement rec = all.item(i).toElement();
        UpdateRecord r;
        for (const char *key : {"ip", "time", "type", "oldVersion", "newVersion"})
            r[QLatin1String(key)] = rec.firstChildElement(QLatin1String(key)).text();
        QStringList files;
        const QDomNodeList list
            = rec.firstChildElement(QStringLiteral("files")).elementsByTagName(QStringLiteral("file"));
        for (int f = 0; f < list.count(); ++f)
            files.append(list.item(f).toElement().text());
        r[QStringLiteral("files")] = files.join(QLatin1Char(';'));
        records.append(r);
    }
}
