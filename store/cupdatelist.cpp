#include "cupdatelist.h"

#include "cfileguard.h"
#include "cstorepath.h"
#include "cxmlfile.h"

#include <QDateTime>
#include <QDomElement>
#include <QDomNodeList>

namespace {

void replaceFiles(QDomDocument &doc, QDomElement platform, const QStringList &paths)
{
    if (platform.isNull())
        return;
    const QDomNodeList old = platform.elementsByTagName(QStringLiteral("file"));
    QList<QDomNode> nodes;
    for (int i = 0; i < old.count(); ++i)
        nodes.append(old.item(i));
    for (int i = nodes.size() - 1; i >= 0; --i)
        platform.removeChild(nodes.at(i)); // only direct children are removed
    for (const QString &path : paths) {
        QDomElement file = doc.createElement(QStringLiteral("file"));
        file.appendChild(doc.createTextNode(CXmlFile::validText(path)));
        platform.appendChild(file);
    }
}

void replaceLast(QDomDocument &doc, QDomElement &root, const QString &tag, const QString &text)
{
    QDomElement e = doc.createElement(tag);
    e.appendChild(doc.createTextNode(CXmlFile::validText(text)));
    const QDomElement old = root.firstChildElement(tag);
    if (!old.isNull())
        root.removeChild(old);
    root.appendChild(e);
}

void appendFileTexts(const QDomElement &platform, QStringList &out)
{
    if (platform.isNull())
        return;
    const QDomNodeList all = platform.elementsByTagName(QStringLiteral("file"));
    for (int i = 0; i < all.count(); ++i)
        out.append(all.item(i).toElement().text());
}

} // namespace

CUpdateList::CUpdateList()
{
    init();
}

CUpdateList::~CUpdateList()
{
    m_file.close();
}

QString CUpdateList::getAppDir()
{
    return CStorePath::appDir();
}

QString CUpdateList::listPath()
{
    return getAppDir() + QStringLiteral("/uplist.xml");
}

int CUpdateList::init()
{
    m_file.close();
    m_file.setFileName(listPath());
    if (!m_file.open(QIODevice::ReadWrite | QIODevice::Text))
        return 0;
    return CXmlFile::load(listPath(), m_document) == CXmlFile::Parsed ? 1 : 0;
}

int CUpdateList::getList(QStringList &windows, QStringList &linuxFiles, QString &version, QString &setdate)
{
    const QDomElement root = m_document.documentElement();
    if (root.tagName() != QLatin1String("uplist"))
        return -1;
    appendFileTexts(root.firstChildElement(QStringLiteral("windows")), windows);
    appendFileTexts(root.firstChildElement(QStringLiteral("linux")), linuxFiles);
    version = root.firstChildElement(QStringLiteral("version")).text();
    setdate = root.firstChildElement(QStringLiteral("setdate")).text();
    return 0;
}

int CUpdateList::setList(const QStringList &windows, const QStringList &linuxFiles, const QString &version)
{
    const QString path = listPath();
    CFileGuard guard(path);
    QDomDocument doc;
    QByteArray raw;
    const CXmlFile::State state = CXmlFile::load(path, doc, &raw);
    if (state != CXmlFile::Parsed || doc.documentElement().tagName() != QLatin1String("uplist"))
        throw "Xml file format error";
    if (!guard.isLocked())
        return -1;
    QDomElement root = doc.documentElement();
    replaceFiles(doc, root.firstChildElement(QStringLiteral("windows")), windows);
    replaceFiles(doc, root.firstChildElement(QStringLiteral("linux")), linuxFiles);
    replaceLast(doc, root, QStringLiteral("version"), version);
    replaceLast(doc, root, QStringLiteral("setdate"),
        QDateTime::currentDateTime().toString(QStringLiteral("MM dd yyyy hh:mm:ss")));
    if (!CXmlFile::store(path, doc, 2, raw))
        return -1;
    m_document = doc;
    return 0;
}

int CUpdateList::save()
{
    // A document without a root (the file was missing or unreadable at init) is never written over
    // the file: it would replace whatever uplist.xml holds by nothing.
    if (m_document.documentElement().isNull())
        return -1;
    const QString path = listPath();
    CFileGuard guard(path);
    if (!guard.isLocked())
        return -1;
    QDomDocument current;
    QByteArray raw;
    if (CXmlFile::load(path, current, &raw) == CXmlFile::Unreadable)
        return -1;
    return CXmlFile::store(path, m_document, 2, raw) ? 0 : -1;
}
