#include "cset.h"

#include "cfileguard.h"
#include "cnoticeflagbatch.h"
#include "cpcconfig.h"
#include "cstorepath.h"
#include "cxmlfile.h"
#include "cxmlsyntax.h"
#include "cxmltree.h"

#include <QDomElement>
#include <QDomNodeList>
#include <QHash>
#include <QMutex>
#include <QSet>

#include <cstring>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace {

const QString kRoot = QStringLiteral("pclist");

bool hasRoot(const QDomDocument &doc)
{
    return doc.documentElement().tagName() == kRoot;
}

std::string toEntryText(const QString &text)
{
    return text.toUtf8().toStdString();
}

// First kind: from the root's first "pc" child over every following sibling element.
QDomElement findFirstKind(const QDomDocument &doc, const QString &uuid)
{
    const QDomElement root = doc.documentElement();
    for (QDomElement e = root.firstChildElement(QStringLiteral("pc")); !e.isNull(); e = e.nextSiblingElement()) {
        if (e.hasAttribute(QStringLiteral("UUID")) && e.attribute(QStringLiteral("UUID")) == uuid)
            return e;
    }
    return QDomElement();
}

// Second kind: every "pc" element at any depth, in document order.
QDomElement findSecondKind(const QDomDocument &doc, const QString &uuid)
{
    const QDomNodeList all = doc.elementsByTagName(QStringLiteral("pc"));
    for (int i = 0; i < all.count(); ++i) {
        const QDomElement e = all.item(i).toElement();
        if (e.attribute(QStringLiteral("UUID")) == uuid)
            return e;
    }
    return QDomElement();
}

void appendTextChild(QDomDocument &doc, QDomElement &parent, const QString &tag, const QString &text)
{
    QDomElement e = doc.createElement(tag);
    e.appendChild(doc.createTextNode(CXmlFile::validText(text)));
    parent.appendChild(e);
}

bool hasRoot(const CXmlTree &tree)
{
    return std::strcmp(tree.root().name(), "pclist") == 0;
}

pugi::xml_node findSecondKind(const CXmlTree &tree, const std::string &uuid)
{
    return CXmlTree::findElement(tree.root(),
        [&](pugi::xml_node e) { return std::strcmp(e.name(), "pc") == 0 && uuid == e.attribute("UUID").value(); });
}

pugi::xml_node appendPc(CXmlTree &tree, const QString &uuid, const QString &name, const QString &ip,
    const QString *version, const QString *os)
{
    pugi::xml_node pc = tree.root().append_child("pc");
    CXmlTree::setAttribute(pc, "UUID", uuid);
    tree.appendTextChild(pc, "name", CXmlFile::validText(name));
    tree.appendTextChild(pc, "ip", CXmlFile::validText(ip));
    if (version)
        tree.appendTextChild(pc, "version", CXmlFile::validText(*version));
    if (os)
        tree.appendTextChild(pc, "os", CXmlFile::validText(*os));
    return pc;
}

// The notice flags of one version of list.xml, as the first-kind lookup sees them. Every change
// notice asks for its client's flag, which almost always reads "no" already; remembering the flags of
// the exact bytes last parsed spares a parse of the whole list per notice.
struct NoticeFlags
{
    bool rootOk = false;
    QHash<QString, QString> notice; // UUID -> "notice" of its first match
};

NoticeFlags flagsOf(const QDomDocument &doc)
{
    NoticeFlags flags;
    flags.rootOk = hasRoot(doc);
    const QDomElement root = doc.documentElement();
    for (QDomElement e = root.firstChildElement(QStringLiteral("pc")); !e.isNull(); e = e.nextSiblingElement()) {
        if (!e.hasAttribute(QStringLiteral("UUID")))
            continue;
        const QString uuid = e.attribute(QStringLiteral("UUID"));
        if (!flags.notice.contains(uuid))
            flags.notice.insert(uuid, e.attribute(QStringLiteral("notice")));
    }
    return flags;
}

NoticeFlags flagsOf(const CXmlTree &tree)
{
    NoticeFlags flags;
    flags.rootOk = hasRoot(tree);
    qsizetype count = 0;
    for (pugi::xml_node e = CXmlTree::firstChildElement(tree.root(), "pc"); e; e = e.next_sibling())
        ++count;
    flags.notice.reserve(count);
    for (pugi::xml_node e = CXmlTree::firstChildElement(tree.root(), "pc"); e; e = e.next_sibling()) {
        if (e.type() != pugi::node_element)
            continue;
        const pugi::xml_attribute a = e.attribute("UUID");
        if (!a)
            continue;
        const QString uuid = CXmlSyntax::text(a.value());
        if (!flags.notice.contains(uuid))
            flags.notice.insert(uuid, CXmlSyntax::text(e.attribute("notice").value()));
    }
    return flags;
}

struct FlagsCache
{
    QMutex lock;
    QString path;
    QByteArray raw;
    NoticeFlags flags;
    // The tree of the version this process read or wrote last, for the next change under the
    // file's lock (only there is it touched, and it is taken out while in use), so a change does not
    // parse the whole list again when nobody else wrote it meanwhile.
    QByteArray treeRaw;
    std::unique_ptr<CXmlTree> tree;
};

FlagsCache &flagsCache()
{
    static FlagsCache cache;
    return cache;
}

// Reads the list, and its flags as of those bytes. A list that equals the one parsed last is
// compared piece by piece against it instead of being read into a new buffer: on a busy server this
// runs for every notice, and a fresh buffer of the whole list per notice costs more than the compare.
// Empty when the file is missing, empty or unreadable; false in flags.rootOk's place when it does not
// parse.
CXmlFile::State readWithFlags(const QString &path, QByteArray *raw, NoticeFlags *flags)
{
    FlagsCache &cache = flagsCache();
    QByteArray cachedRaw;
    NoticeFlags cached;
    {
        QMutexLocker locker(&cache.lock);
        if (cache.path == path) {
            cachedRaw = cache.raw;
            cached = cache.flags;
        }
    }
    QFile file(path);
    if (!file.exists())
        return CXmlFile::Empty;
    if (!file.open(QIODevice::ReadOnly))
        return CXmlFile::Unreadable;
    if (!cachedRaw.isEmpty() && file.size() == cachedRaw.size()) {
        thread_local QByteArray piece(64 * 1024, Qt::Uninitialized);
        qint64 at = 0;
        bool same = true;
        while (same && at < cachedRaw.size()) {
            const qint64 n = file.read(piece.data(), qMin<qint64>(piece.size(), cachedRaw.size() - at));
            same = n > 0 && std::memcmp(piece.constData(), cachedRaw.constData() + at, size_t(n)) == 0;
            at += qMax<qint64>(n, 0);
        }
        char extra;
        if (same && file.read(&extra, 1) == 0) {
            *raw = cachedRaw;
            *flags = cached;
            return CXmlFile::Parsed;
        }
        file.seek(0);
    }
    *raw = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        raw->clear();
        return CXmlFile::Unreadable;
    }
    if (raw->isEmpty())
        return CXmlFile::Empty;
    auto tree = std::make_unique<CXmlTree>();
    if (tree->load(*raw)) {
        *flags = flagsOf(*tree);
    } else {
        tree.reset();
        QDomDocument doc;
        if (CXmlFile::parse(*raw, doc) != CXmlFile::Parsed)
            return CXmlFile::Unreadable;
        *flags = flagsOf(doc);
    }
    QMutexLocker locker(&cache.lock);
    cache.path = path;
    cache.raw = *raw;
    cache.flags = *flags;
    if (tree) {
        cache.treeRaw = *raw;
        cache.tree = std::move(tree);
    }
    return CXmlFile::Parsed;
}

// What the process knows of a version it is about to write. The bytes stand for a parsed list
// only once they have parsed: what this process meant to write is no proof that the file can be
// read. Made before the write and published right after it, so that readers who find the new file
// find its flags too instead of parsing it themselves.
struct Snapshot
{
    bool ok = false;
    NoticeFlags flags;
    std::unique_ptr<CXmlTree> tree;
};

Snapshot snapshotOf(const QByteArray &written)
{
    Snapshot snap;
    snap.tree = std::make_unique<CXmlTree>();
    if (snap.tree->load(written)) {
        snap.flags = flagsOf(*snap.tree);
        snap.ok = true;
        return snap;
    }
    snap.tree.reset();
    QDomDocument check;
    if (CXmlFile::parse(written, check) == CXmlFile::Parsed) {
        snap.flags = flagsOf(check);
        snap.ok = true;
    }
    return snap;
}

void publish(const QString &path, const QByteArray &written, Snapshot &&snap)
{
    if (!snap.ok)
        return;
    FlagsCache &cache = flagsCache();
    QMutexLocker locker(&cache.lock);
    cache.path = path;
    cache.raw = written;
    cache.flags = std::move(snap.flags);
    cache.treeRaw = snap.tree ? written : QByteArray();
    cache.tree = std::move(snap.tree);
}

} // namespace

CSet::CSet(QObject *parent)
    : QObject(parent)
{ }

CSet::CSet()
    : QObject(nullptr)
{ }

CSet::~CSet()
{
    m_file.close();
}

QString CSet::getAppDir()
{
    return CStorePath::appDir();
}

QString CSet::listPath() const
{
    return CStorePath::appDir() + QStringLiteral("/list.xml");
}

int CSet::openList()
{
    m_file.setFileName(listPath());
    // Read-write so that a missing list is created empty, as the installation would have it.
    if (!m_file.open(QIODevice::ReadWrite | QIODevice::Text))
        return 0;
    m_file.close();
    // Whether the list parses is known from the bytes (and remembered for them); the document
    // itself is built when a reader first needs it, which a change notice never does.
    m_document = QDomDocument();
    m_parsed = false;
    NoticeFlags flags;
    return readWithFlags(listPath(), &m_raw, &flags) == CXmlFile::Parsed ? 1 : 0;
}

const QDomDocument &CSet::document()
{
    if (!m_parsed) {
        CXmlFile::parse(m_raw, m_document);
        m_parsed = true;
    }
    return m_document;
}

template<class DomChange, class TreeChange> int CSet::modify(bool rootTest, DomChange domChange, TreeChange treeChange)
{
    const QString path = listPath();
    CFileGuard guard(path);
    if (!guard.isLocked())
        return -1;
    QByteArray raw;
    const CXmlFile::State state = CXmlFile::read(path, raw);
    if (state == CXmlFile::Unreadable)
        return -1;
    FlagsCache &cache = flagsCache();
    QByteArray written;
    if (state == CXmlFile::Parsed) {
        // The usual list goes through the pugixml tree; what it does not hold, through the DOM.
        std::unique_ptr<CXmlTree> tree;
        {
            QMutexLocker locker(&cache.lock);
            if (cache.path == path && cache.tree && cache.treeRaw == raw) {
                tree = std::move(cache.tree);
                cache.treeRaw.clear();
            }
        }
        if (!tree) {
            tree = std::make_unique<CXmlTree>();
            if (!tree->load(raw))
                tree.reset();
        }
        if (tree) {
            if (rootTest && !hasRoot(*tree))
                return -1;
            const int rc = treeChange(*tree);
            if (tree->serialize(&written)) {
                if (written == raw) {
                    // Nothing to write, and the tree still is the file: kept for the next change.
                    QMutexLocker locker(&cache.lock);
                    if (cache.path == path) {
                        cache.treeRaw = raw;
                        cache.tree = std::move(tree);
                    }
                } else {
                    // The tree, rid of what the bytes do not hold, is what they read as: it serves
                    // the readers' flags and the next change without a parse of its own.
                    tree->settle();
                    Snapshot snap;
                    snap.flags = flagsOf(*tree);
                    snap.ok = true;
                    snap.tree = std::move(tree);
                    if (!CXmlFile::storeBytes(path, written, raw))
                        return -1;
                    publish(path, written, std::move(snap));
                }
                remember(written);
                return rc;
            }
        }
    }
    QDomDocument doc;
    if (state == CXmlFile::Parsed && CXmlFile::parse(raw, doc) != CXmlFile::Parsed)
        return -1;
    if (rootTest && !hasRoot(doc))
        return -1;
    const int rc = domChange(doc);
    written = CXmlFile::serialize(doc, 4);
    Snapshot snap = doc.documentElement().isNull() ? Snapshot() : snapshotOf(written);
    if (!CXmlFile::storeBytes(path, written, raw))
        return -1;
    publish(path, written, std::move(snap));
    remember(written);
    return rc;
}

void CSet::remember(const QByteArray &written)
{
    // The object reads its own copy (parsed when first needed): the cached tree is not shared with
    // readers in other threads.
    m_raw = written;
    m_document = QDomDocument();
    m_parsed = false;
}

int CSet::findPC(const QString &uuid)
{
    if (!hasRoot(document()))
        return -1;
    return findFirstKind(m_document, uuid).isNull() ? 0 : 1;
}

int CSet::addPC(const QString &uuid, const QString &name, const QString &ip, const QString &version, const QString &os)
{
    return appendPC(uuid, name, ip, &version, &os);
}

int CSet::addPC(const QString &uuid, const QString &name, const QString &ip)
{
    return appendPC(uuid, name, ip, nullptr, nullptr);
}

int CSet::appendPC(
    const QString &uuid, const QString &name, const QString &ip, const QString *version, const QString *os)
{
    // A client is named by its UUID everywhere in the store; one no file may be named by is not listed.
    if (!CStorePath::isSafeUuid(uuid))
        return -1;
    return modify(
        false,
        [&](QDomDocument &doc) {
            QDomElement root = doc.documentElement();
            if (root.isNull())
                return 0;
            QDomElement pc = doc.createElement(QStringLiteral("pc"));
            pc.setAttribute(QStringLiteral("UUID"), uuid);
            appendTextChild(doc, pc, QStringLiteral("name"), name);
            appendTextChild(doc, pc, QStringLiteral("ip"), ip);
            // The short form writes neither element.
            if (version)
                appendTextChild(doc, pc, QStringLiteral("version"), *version);
            if (os)
                appendTextChild(doc, pc, QStringLiteral("os"), *os);
            root.appendChild(pc);
            return 0;
        },
        [&](CXmlTree &tree) {
            appendPc(tree, uuid, name, ip, version, os);
            return 0;
        });
}

int CSet::addPCs(const QList<NewPC> &clients, QStringList *added)
{
    QStringList listed;
    const int rc = modify(
        false,
        [&](QDomDocument &doc) {
            listed.clear();
            QDomElement root = doc.documentElement();
            if (root.isNull())
                return 0;
            // One pass over the list instead of a lookup per client: a scan may bring hundreds at once.
            QSet<QString> known;
            for (QDomElement e = root.firstChildElement(QStringLiteral("pc")); !e.isNull();
                 e = e.nextSiblingElement()) {
                if (e.hasAttribute(QStringLiteral("UUID")))
                    known.insert(e.attribute(QStringLiteral("UUID")));
            }
            for (const NewPC &client : clients) {
                if (!CStorePath::isSafeUuid(client.uuid) || known.contains(client.uuid))
                    continue;
                QDomElement pc = doc.createElement(QStringLiteral("pc"));
                pc.setAttribute(QStringLiteral("UUID"), client.uuid);
                appendTextChild(doc, pc, QStringLiteral("name"), client.name);
                appendTextChild(doc, pc, QStringLiteral("ip"), client.ip);
                appendTextChild(doc, pc, QStringLiteral("version"), client.version);
                appendTextChild(doc, pc, QStringLiteral("os"), client.os);
                root.appendChild(pc);
                known.insert(client.uuid);
                listed.append(client.uuid);
            }
            return 0;
        },
        [&](CXmlTree &tree) {
            listed.clear();
            QSet<QString> known;
            for (pugi::xml_node e = CXmlTree::firstChildElement(tree.root(), "pc"); e; e = e.next_sibling()) {
                if (e.type() == pugi::node_element && e.attribute("UUID"))
                    known.insert(CXmlSyntax::text(e.attribute("UUID").value()));
            }
            for (const NewPC &client : clients) {
                if (!CStorePath::isSafeUuid(client.uuid) || known.contains(client.uuid))
                    continue;
                appendPc(tree, client.uuid, client.name, client.ip, &client.version, &client.os);
                known.insert(client.uuid);
                listed.append(client.uuid);
            }
            return 0;
        });
    if (rc != 0)
        return -1;
    if (added)
        *added = listed;
    return int(listed.size());
}

int CSet::removePC(const QString &uuid)
{
    return modify(
        true,
        [&](QDomDocument &doc) {
            QDomElement root = doc.documentElement();
            const QDomElement match = findSecondKind(doc, uuid);
            if (!match.isNull() && match.parentNode() == root)
                root.removeChild(match);
            return 0;
        },
        [&](CXmlTree &tree) {
            const pugi::xml_node match = findSecondKind(tree, uuid.toStdString());
            if (match && match.parent() == tree.root())
                tree.root().remove_child(match);
            return 0;
        });
}

int CSet::setPCFolder(const QString &uuid, const QString &folder)
{
    return modify(
        true,
        [&](QDomDocument &doc) {
            QDomElement match = findSecondKind(doc, uuid);
            if (!match.isNull())
                match.setAttribute(QStringLiteral("folder"), CXmlFile::validText(folder));
            return 0;
        },
        [&](CXmlTree &tree) {
            const pugi::xml_node match = findSecondKind(tree, uuid.toStdString());
            if (match)
                CXmlTree::setAttribute(match, "folder", CXmlFile::validText(folder));
            return 0;
        });
}

int CSet::setNotice(const QString &uuid, bool flag)
{
    const QString value = flag ? QStringLiteral("yes") : QStringLiteral("no");
    // Files are replaced whole, so a plain read settles an unlisted client or a flag that already
    // holds the value without taking the lock or writing.
    {
        QByteArray raw;
        NoticeFlags flags;
        if (readWithFlags(listPath(), &raw, &flags) == CXmlFile::Parsed) {
            if (!flags.rootOk)
                return -1;
            const auto it = flags.notice.constFind(uuid);
            if (it == flags.notice.constEnd() || *it == value)
                return 0;
        }
    }
    // Every flip waiting meanwhile goes into one write, made by whichever caller finds no write
    // under way; each flip is made as its own setNotice would make it, in the order they came.
    const CNoticeFlagBatch::Writer writer = [this](const QList<CNoticeFlagBatch::Flip> &flips, QByteArray *written) {
        const int rc = modify(
            true,
            [&](QDomDocument &doc) {
                for (const CNoticeFlagBatch::Flip &f : flips) {
                    QDomElement match = findFirstKind(doc, f.uuid);
                    if (!match.isNull())
                        match.setAttribute(QStringLiteral("notice"), f.value);
                }
                return 0;
            },
            [&](CXmlTree &tree) {
                // One walk finds the first match of every client of the batch.
                std::vector<std::string> uuids;
                uuids.reserve(size_t(flips.size()));
                for (const CNoticeFlagBatch::Flip &f : flips)
                    uuids.push_back(f.uuid.toStdString());
                std::unordered_map<std::string_view, pugi::xml_node> first;
                for (const std::string &u : uuids)
                    first.emplace(u, pugi::xml_node());
                size_t open = first.size();
                for (pugi::xml_node e = CXmlTree::firstChildElement(tree.root(), "pc"); e && open > 0;
                     e = e.next_sibling()) {
                    const pugi::xml_attribute a = e.attribute("UUID");
                    if (e.type() != pugi::node_element || !a)
                        continue;
                    const auto it = first.find(std::string_view(a.value()));
                    if (it != first.end() && !it->second) {
                        it->second = e;
                        --open;
                    }
                }
                for (int i = 0; i < flips.size(); ++i) {
                    const pugi::xml_node match = first[uuids[size_t(i)]];
                    if (match)
                        CXmlTree::setAttribute(match, "notice", flips.at(i).value);
                }
                return 0;
            });
        if (rc == 0)
            *written = m_raw;
        return rc;
    };
    QByteArray written;
    const int rc = CNoticeFlagBatch::flip(listPath(), {uuid, value}, writer, &written);
    if (rc == 0) {
        m_raw = written;
        m_document = QDomDocument();
        m_parsed = false;
    }
    return rc;
}

int CSet::addFolder(const QString &name, const QString &value)
{
    return modify(
        false,
        [&](QDomDocument &doc) {
            QDomElement root = doc.documentElement();
            if (root.isNull())
                return 0;
            QDomElement folder = doc.createElement(QStringLiteral("folder"));
            appendTextChild(doc, folder, QStringLiteral("name"), name);
            appendTextChild(doc, folder, QStringLiteral("value"), value);
            root.appendChild(folder);
            return 0;
        },
        [&](CXmlTree &tree) {
            pugi::xml_node folder = tree.root().append_child("folder");
            tree.appendTextChild(folder, "name", CXmlFile::validText(name));
            tree.appendTextChild(folder, "value", CXmlFile::validText(value));
            return 0;
        });
}

int CSet::deleteFolder(const QString &value)
{
    return modify(
        true,
        [&](QDomDocument &doc) {
            QDomElement root = doc.documentElement();
            const QDomNodeList all = doc.elementsByTagName(QStringLiteral("folder"));
            for (int i = 0; i < all.count(); ++i) {
                const QDomElement e = all.item(i).toElement();
                if (e.firstChildElement(QStringLiteral("value")).text() == value) {
                    if (e.parentNode() == root)
                        root.removeChild(e);
                    break;
                }
            }
            return 0;
        },
        [&](CXmlTree &tree) {
            const std::string wanted = value.toStdString();
            const pugi::xml_node match = CXmlTree::findElement(tree.root(), [&](pugi::xml_node e) {
                return std::strcmp(e.name(), "folder") == 0
                    && CXmlTree::text(CXmlTree::firstChildElement(e, "value")) == wanted;
            });
            if (match && match.parent() == tree.root())
                tree.root().remove_child(match);
            return 0;
        });
}

int CSet::getPCList(std::list<PCEntry> &list)
{
    if (!hasRoot(document()))
        return -1;
    const QDomNodeList all = m_document.elementsByTagName(QStringLiteral("pc"));
    for (int i = 0; i < all.count(); ++i) {
        const QDomElement e = all.item(i).toElement();
        PCEntry entry;
        entry["name"] = toEntryText(e.firstChildElement(QStringLiteral("name")).text());
        entry["ip"] = toEntryText(e.firstChildElement(QStringLiteral("ip")).text());
        entry["UUID"] = toEntryText(e.attribute(QStringLiteral("UUID")));
        entry["notice"] = toEntryText(e.attribute(QStringLiteral("notice")));
        entry["folder"] = toEntryText(e.attribute(QStringLiteral("folder")));
        entry["version"] = toEntryText(e.firstChildElement(QStringLiteral("version")).text());
        entry["os"] = toEntryText(e.firstChildElement(QStringLiteral("os")).text());
        list.push_front(entry);
    }
    return 0;
}

int CSet::getFolders(QList<FolderEntry> &list)
{
    if (!hasRoot(document()))
        return -1;
    const QDomNodeList all = m_document.elementsByTagName(QStringLiteral("folder"));
    for (int i = 0; i < all.count(); ++i) {
        const QDomElement e = all.item(i).toElement();
        FolderEntry entry;
        entry[QStringLiteral("name")] = e.firstChildElement(QStringLiteral("name")).text();
        entry[QStringLiteral("value")] = e.firstChildElement(QStringLiteral("value")).text();
        list.prepend(entry);
    }
    return 0;
}

int CSet::getFolderList(std::list<std::map<std::string, std::string>> &list)
{
    if (!hasRoot(document()))
        return -1;
    const QDomNodeList all = m_document.elementsByTagName(QStringLiteral("folder"));
    for (int i = 0; i < all.count(); ++i) {
        const QDomElement e = all.item(i).toElement();
        std::map<std::string, std::string> entry;
        entry["name"] = toEntryText(e.firstChildElement(QStringLiteral("name")).text());
        entry["value"] = toEntryText(e.firstChildElement(QStringLiteral("value")).text());
        list.push_front(entry);
    }
    return 0;
}

int CSet::writeTestFile(const QString &text)
{
    QFile file(QStringLiteral("test.xml"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
        return -1;
    file.write(text.toUtf8());
    return 0;
}

int CSet::createPCFile(const QString &uuid, const QString &answer)
{
    if (!CStorePath::isSafeUuid(uuid))
        return -1;
    QDomDocument templ;
    if (CXmlFile::load(CStorePath::appDir() + QStringLiteral("/configtempl.xml"), templ) != CXmlFile::Parsed)
        return -1;
    QDomElement root = templ.documentElement();
    const QString now = CXmlFile::timeStamp();
    const QStringList blocks = answer.split(QLatin1Char('^'));
    for (int i = 1; i < blocks.size(); ++i) {
        const int colon = blocks.at(i).indexOf(QLatin1Char(':'));
        if (colon < 0)
            continue;
        const QStringList fields = blocks.at(i).split(QLatin1Char(':'));
        QDomElement cls = root.firstChildElement(fields.at(0));
        if (cls.isNull())
            continue;
        QDomElement content = templ.createElement(QStringLiteral("content"));
        content.appendChild(templ.createTextNode(CXmlFile::validText(blocks.at(i).mid(colon + 1))));
        cls.appendChild(content);
        cls.setAttribute(QStringLiteral("lastupdate"), now);
    }
    const QString path = CStorePath::appDir() + QLatin1Char('/') + uuid + QStringLiteral(".xml");
    CFileGuard guard(path);
    if (!guard.isLocked())
        return -1;
    QByteArray raw;
    if (!CXmlFile::prepareFill(path, raw))
        return -1;
    return CXmlFile::store(path, templ, 4, raw) ? 0 : -1;
}
