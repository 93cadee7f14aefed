#include "cchangelogreader.h"

#include "cstorepath.h"
#include "cxmlfile.h"
#include "cxmlsyntax.h"

#include <QAtomicInt>
#include <QDomDocument>
#include <QDomElement>
#include <QThread>

#include <pugixml.hpp>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

void CChangeLogReader::read(const QString &uuid, QMap<QString, QStringList> &log)
{
    if (!CStorePath::isSafeUuid(uuid))
        return;
    QByteArray raw;
    if (CXmlFile::read(CStorePath::appDir() + QLatin1Char('/') + uuid + QStringLiteral(".xml"), raw)
        != CXmlFile::Parsed)
        return;
    parse(raw, log);
}

namespace {

// UTF-8 by its declaration or for want of one: what every store file is, and what the fast parser
// reads exactly as the toolkit's reader does.
bool isUtf8(const QByteArray &raw)
{
    if (raw.startsWith("\xEF\xBB\xBF"))
        return true;
    if (raw.startsWith("\xFE\xFF") || raw.startsWith("\xFF\xFE") || raw.startsWith(QByteArray("\0", 1)))
        return false;
    if (!raw.startsWith("<?xml"))
        return true;
    const int end = raw.indexOf("?>");
    if (end < 0)
        return false;
    const QByteArray decl = raw.left(end);
    const int at = decl.indexOf("encoding");
    if (at < 0)
        return true;
    const int quote = decl.indexOf('"', at) >= 0 ? decl.indexOf('"', at) : decl.indexOf('\'', at);
    if (quote < 0)
        return false;
    const QByteArray name = decl.mid(quote + 1, 5).toLower();
    return name == "utf-8" || name.startsWith("utf8");
}

// Any prefixed name: the toolkit's reader checks the namespace declarations, the fast one does not.
bool hasPrefix(const pugi::xml_node &node)
{
    for (pugi::xml_node n = node; n; n = n.next_sibling()) {
        if (n.type() != pugi::node_element)
            continue;
        if (std::strchr(n.name(), ':'))
            return true;
        for (pugi::xml_attribute a = n.first_attribute(); a; a = a.next_attribute()) {
            if (std::strchr(a.name(), ':') || std::strncmp(a.name(), "xmlns", 5) == 0)
                return true;
        }
        if (n.first_child() && hasPrefix(n.first_child()))
            return true;
    }
    return false;
}

// The fast road: false when the file needs the toolkit's reader (another encoding, namespaces, a
// document the fast parser takes but the toolkit's would not). A file that does not parse gives true
// and nothing.
bool parseFast(const QByteArray &raw, QMap<QString, QStringList> &log)
{
    if (!isUtf8(raw))
        return false;
    pugi::xml_document doc;
    const unsigned flags = pugi::parse_escapes | pugi::parse_wconv_attribute | pugi::parse_eol;
    if (!doc.load_buffer(raw.constData(), size_t(raw.size()), flags, pugi::encoding_utf8))
        return true;
    int roots = 0;
    for (pugi::xml_node n = doc.first_child(); n; n = n.next_sibling()) {
        if (n.type() == pugi::node_element)
            ++roots;
        else if (n.type() == pugi::node_pcdata || n.type() == pugi::node_cdata)
            return false;
    }
    if (roots != 1)
        return false;
    // The fast parser drops text beside the root, which makes the document unreadable to the toolkit.
    auto blank = [&](int from, int to) {
        for (int i = from; i < to; ++i) {
            if (!std::strchr(" \t\r\n", raw.at(i)))
                return false;
        }
        return true;
    };
    const int first = raw.indexOf('<');
    const int bom = raw.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    if (!blank(bom, first) || !blank(raw.lastIndexOf('>') + 1, int(raw.size())))
        return false;
    if (hasPrefix(doc.first_child()))
        return false;
    QMap<QString, QStringList> out;
    const pugi::xml_node root = doc.document_element();
    for (pugi::xml_node cls = root.first_child(); cls; cls = cls.next_sibling()) {
        if (cls.type() != pugi::node_element)
            continue;
        QStringList entries;
        pugi::xml_node record = cls.child("changelog").child("record");
        for (; record; record = record.next_sibling()) {
            if (record.type() != pugi::node_element)
                continue;
            QString entry = CXmlSyntax::text(record.attribute("time").value());
            entry += QLatin1Char('^');
            entry += CXmlSyntax::text(record.attribute("type").value());
            entry += QLatin1Char('^');
            entry += CXmlSyntax::text(record.attribute("digest").value());
            entries.append(entry);
        }
        out[CXmlSyntax::text(cls.name())] = entries;
    }
    for (auto it = out.constBegin(); it != out.constEnd(); ++it)
        log[it.key()] = it.value();
    return true;
}

} // namespace

void CChangeLogReader::parse(const QByteArray &raw, QMap<QString, QStringList> &log)
{
    if (parseFast(raw, log))
        return;
    // The rare file the fast road leaves alone is read as the store's document reader reads it.
    QDomDocument doc;
    if (CXmlFile::parse(raw, doc) != CXmlFile::Parsed)
        return;
    const QDomElement root = doc.documentElement();
    for (QDomElement cls = root.firstChildElement(); !cls.isNull(); cls = cls.nextSiblingElement()) {
        QStringList entries;
        const QDomElement changes = cls.firstChildElement(QStringLiteral("changelog"));
        for (QDomElement r = changes.firstChildElement(QStringLiteral("record")); !r.isNull();
             r = r.nextSiblingElement()) {
            entries.append(r.attribute(QStringLiteral("time")) + QLatin1Char('^') + r.attribute(QStringLiteral("type"))
                + QLatin1Char('^') + r.attribute(QStringLiteral("digest")));
        }
        log[cls.tagName()] = entries;
    }
}

QList<QMap<QString, QStringList>> CChangeLogReader::readAll(const QStringList &uuids)
{
    QList<QMap<QString, QStringList>> logs(uuids.size());
    QMap<QString, QStringList> *out = logs.data(); // detached once, before the threads start
    QAtomicInt next;
    auto work = [&]() {
        for (int i = next.fetchAndAddRelaxed(1); i < uuids.size(); i = next.fetchAndAddRelaxed(1))
            read(uuids.at(i), out[i]);
    };
    // Each thread takes the next client; the slots of logs are fixed beforehand, so the threads never
    // touch the same entry and the order stays that of uuids.
    const int count = std::min<int>(std::max(1, QThread::idealThreadCount()), uuids.size() / 8 + 1);
    std::vector<std::unique_ptr<QThread>> threads;
    for (int t = 1; t < count; ++t) {
        threads.emplace_back(QThread::create(work));
        threads.back()->start();
    }
    work();
    for (auto &thread : threads)
        thread->wait();
    return logs;
}
