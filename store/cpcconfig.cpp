#include "cpcconfig.h"

#include "catomicfile.h"
#include "cfileguard.h"
#include "cset.h"
#include "cstorepath.h"
#include "cxmlfile.h"
#include "cxmltree.h"

#include <QDomElement>
#include <QDomNodeList>
#include <QFileInfo>
#include <QHash>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace {

const QString kContent = QStringLiteral("content");
const QString kDigest = QStringLiteral("digest");
const QString kLastUpdate = QStringLiteral("lastupdate");
const QString kChangeLog = QStringLiteral("changelog");
const QString kRecord = QStringLiteral("record");

// The change records of a class: from the first "record" child of its first "changelog" on, that
// element and every following sibling element.
QList<QDomElement> recordsOf(const QDomElement &cls)
{
    QList<QDomElement> out;
    const QDomElement log = cls.firstChildElement(kChangeLog);
    for (QDomElement r = log.firstChildElement(kRecord); !r.isNull(); r = r.nextSiblingElement())
        out.append(r);
    return out;
}

} // namespace

CPcConfig::CPcConfig(const QString &uuid)
    : m_uuid(uuid)
{ }

CPcConfig::~CPcConfig()
{
    m_file.close();
}

QString CPcConfig::getDir(const QString &path)
{
    return CStorePath::dirOf(path);
}

int CPcConfig::openFile(QIODevice::OpenMode mode)
{
    m_appFilePath = CStorePath::appFilePath();
    m_filePath = pathOf(m_uuid);
    if (m_filePath.isEmpty())
        return 0;
    m_file.close();
    m_file.setFileName(m_filePath);
    if (!m_file.open(mode | QIODevice::Text))
        return 0;
    // Nothing is read here: a change notice reads the file under its lock only, so a worker never
    // holds a copy of a client's file while it waits for that lock.
    m_document = QDomDocument();
    m_parsed = false;
    m_changed = false;
    return 1;
}

const QDomDocument &CPcConfig::document()
{
    if (m_parsed)
        return m_document;
    m_parsed = true;
    // Files are replaced whole by rename, so the descriptor of the open still reads the version the
    // open found, complete, whatever was written since. The outcome of the parse is not reported: an
    // empty or broken file leaves the document empty.
    QByteArray raw;
    if (m_changed || !m_file.isOpen()) {
        CXmlFile::read(m_filePath, raw);
    } else {
        m_file.setTextModeEnabled(false); // the bytes as stored, as every reader of the store takes them
        if (m_file.seek(0))
            raw = m_file.readAll();
    }
    CXmlFile::parse(raw, m_document);
    return m_document;
}

int CPcConfig::open()
{
    return openFile(QIODevice::ReadWrite);
}

int CPcConfig::openReadOnly()
{
    return openFile(QIODevice::ReadOnly);
}

bool CPcConfig::isBound() const
{
    return m_file.isOpen() && m_file.isWritable();
}

int CPcConfig::getValue(const QString &row, const QString &key, QString &value)
{
    const QStringList lines = row.split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        if (line.startsWith(key)) {
            value = line.mid(key.length() + 1);
            break;
        }
    }
    return 0;
}

int CPcConfig::getDigest(const QString &row, const QString &cls, QString &digest)
{
    if (cls == QLatin1String("CPU") || cls == QLatin1String("VideoController") || cls == QLatin1String("NetworkAdapter")
        || cls == QLatin1String("BIOS")) {
        getValue(row, QStringLiteral("Name"), digest);
    } else if (cls == QLatin1String("BaseBoard")) {
        getValue(row, QStringLiteral("Manufacturer"), digest);
    } else if (cls == QLatin1String("DiskDrive")) {
        QString size;
        QString caption;
        getValue(row, QStringLiteral("Size"), size);
        getValue(row, QStringLiteral("Caption"), caption);
        if (!size.isEmpty())
            digest = caption + QLatin1Char(' ') + QStringLiteral("%1 GB").arg(size.toLongLong() / 1000000000LL);
        else
            digest = caption;
    } else if (cls == QLatin1String("CDROMDrive") || cls == QLatin1String("DesktopMonitor")
        || cls == QLatin1String("Printer") || cls == QLatin1String("SoundDevice") || cls == QLatin1String("Software")
        || cls == QLatin1String("OS")) {
        getValue(row, QStringLiteral("Caption"), digest);
    } else if (cls == QLatin1String("MemoryDevice")) {
        QString capacity;
        getValue(row, QStringLiteral("Capacity"), capacity);
        if (capacity.contains(QLatin1Char('M')))
            digest = capacity;
        else
            digest = QStringLiteral("%1 M").arg(capacity.toLongLong() / 1048576LL);
    }
    return 0;
}

namespace {

// Walks the class blocks of an identity answer ("<identity>^<key>:<rows>^<key>:<rows>..."), and the
// rows of each split at "$", as it goes: an answer of millions of empty blocks or rows costs no list
// of them. block(key) is called for every block that has a ":" (anything after a second ":" is not
// read) and answers whether its rows are wanted; row(text) for each wanted row that is not empty
// once filtered.
template<class Block, class Row> void walkAnswer(const QString &answer, Block block, Row row)
{
    const QStringView all(answer);
    qsizetype at = all.indexOf(u'^');
    while (at >= 0) {
        const qsizetype start = at + 1;
        at = all.indexOf(u'^', start);
        const QStringView text = all.mid(start, (at < 0 ? all.size() : at) - start);
        const qsizetype colon = text.indexOf(u':');
        if (colon < 0)
            continue; // no class key and rows: nothing to read
        QStringView rows = text.mid(colon + 1);
        const qsizetype second = rows.indexOf(u':');
        if (second >= 0)
            rows = rows.left(second);
        if (!block(text.left(colon)))
            continue;
        for (qsizetype from = 0;;) {
            const qsizetype dollar = rows.indexOf(u'$', from);
            const QStringView r = rows.mid(from, (dollar < 0 ? rows.size() : dollar) - from);
            if (!r.isEmpty()) {
                // An empty row has no digest and shows nothing: no agent sends one.
                const QString filtered = CXmlFile::validText(r.toString());
                if (!filtered.isEmpty())
                    row(filtered);
            }
            if (dollar < 0)
                break;
            from = dollar + 1;
        }
    }
}

// The class element a block's key names, or a null node.
pugi::xml_node classOf(pugi::xml_node root, QStringView key, QString *keyText)
{
    *keyText = key.toString();
    const std::string name = keyText->toStdString();
    // No element is named by a key holding a NUL, which would end the name early here.
    if (name.find('\0') != std::string::npos)
        return pugi::xml_node();
    return CXmlTree::firstChildElement(root, name.c_str());
}

// A fill through the pugixml tree, written as it is made: the template (small) is stamped and
// serialised with a mark where each class's new rows go, and the rows are read from the answer again
// when their mark is written. An answer of millions of short rows makes a file ten times its size;
// neither that file nor a node per row is ever held.
struct TreeFill
{
    CXmlTree tree;
    std::string skeleton; // the serialised template
    struct Mark
    {
        std::string token; // where the rows go, in the skeleton
        pugi::xml_node cls;
    };
    std::vector<Mark> marks; // in the order of the skeleton
};

#ifdef Q_OS_WIN
const char kLineEnd[] = "\r\n";
#else
const char kLineEnd[] = "\n";
#endif

// False when the tree does not take the template.
bool prepareTreeFill(const QByteArray &templ, const QString &answer, const std::string &now, TreeFill *fill)
{
    if (!fill->tree.load(templ))
        return false;
    pugi::xml_node root = fill->tree.root();
    std::vector<pugi::xml_node> withRows;
    pugi::xml_node cls;
    QString key;
    walkAnswer(
        answer,
        [&](QStringView k) {
            cls = classOf(root, k, &key);
            if (!cls)
                return false;
            CXmlTree::setAttribute(cls, "lastupdate", now);
            return true;
        },
        [&](const QString &) {
            if (std::find(withRows.cbegin(), withRows.cend(), cls) == withRows.cend())
                withRows.push_back(cls);
        });
    CXmlTree::setAttribute(root, "lastupdate", now);
    for (size_t i = 0; i < withRows.size(); ++i) {
        const std::string name = "bramixRows" + std::to_string(i);
        if (templ.contains(name.c_str()))
            return false; // a template that names it goes through the DOM
        withRows[i].append_child(name.c_str());
        fill->marks.push_back({"<" + name + "/>", withRows[i]});
    }
    QByteArray bytes;
    if (!fill->tree.serialize(&bytes))
        return false;
    fill->skeleton = bytes.toStdString();
    for (TreeFill::Mark &mark : fill->marks) {
        if (fill->skeleton.find(mark.token) == std::string::npos)
            return false;
    }
    std::sort(fill->marks.begin(), fill->marks.end(), [&](const TreeFill::Mark &a, const TreeFill::Mark &b) {
        return fill->skeleton.find(a.token) < fill->skeleton.find(b.token);
    });
    return true;
}

// Replaces the file by the fill, written in pieces: 1 written; 0 nothing replaced, as a row holds what
// the writer cannot write; -1 failed.
int writeTreeFill(const TreeFill &fill, const QString &answer, const QString &path)
{
    CAtomicFile file(path);
    if (!file.open())
        return -1;
    std::string buffer;
    bool ok = true;
    const auto flush = [&](size_t least) {
        if (!ok || buffer.size() < least)
            return;
        ok = file.append(buffer.data(), qint64(buffer.size()));
        buffer.clear();
    };
    bool writable = true;
    const pugi::xml_node root = fill.tree.root();
    size_t at = 0;
    for (const TreeFill::Mark &mark : fill.marks) {
        const size_t pos = fill.skeleton.find(mark.token, at);
        buffer.append(fill.skeleton, at, pos - at);
        at = pos + mark.token.size();
        // The first row stands where the mark stood; each further one on a line of its own, indented
        // as a child of the class.
        bool first = true;
        QString key;
        walkAnswer(
            answer, [&](QStringView k) { return classOf(root, k, &key) == mark.cls; },
            [&](const QString &row) {
                if (!first) {
                    buffer += kLineEnd;
                    buffer.append(8, ' ');
                }
                first = false;
                QString digest;
                CPcConfig::getDigest(row, key, digest);
                buffer += "<content digest=\"";
                writable = CXmlTree::appendEscapedText(buffer, digest.toUtf8().constData(), true) && writable;
                buffer += "\">";
#ifdef Q_OS_WIN
                std::string text;
                writable = CXmlTree::appendEscapedText(text, row.toUtf8().constData(), false) && writable;
                buffer += QByteArray::fromStdString(text).replace("\n", "\r\n").toStdString();
#else
                writable = CXmlTree::appendEscapedText(buffer, row.toUtf8().constData(), false) && writable;
#endif
                buffer += "</content>";
                flush(1024 * 1024);
            });
    }
    buffer.append(fill.skeleton, at, std::string::npos);
    flush(0);
    if (!writable || !ok) {
        file.cancel();
        return writable ? -1 : 0;
    }
    return file.commit() ? 1 : -1;
}

// The same through the DOM, for templates the tree does not take.
bool fillDom(const QByteArray &templ, const QString &answer, const QString &now, QByteArray *out)
{
    QDomDocument doc;
    if (CXmlFile::parse(templ, doc) != CXmlFile::Parsed)
        return false;
    QDomElement root = doc.documentElement();
    QDomElement cls;
    QString key;
    walkAnswer(
        answer,
        [&](QStringView k) {
            key = k.toString();
            cls = root.firstChildElement(key);
            if (cls.isNull())
                return false;
            cls.setAttribute(kLastUpdate, now);
            return true;
        },
        [&](const QString &row) {
            QDomElement content = doc.createElement(kContent);
            content.appendChild(doc.createTextNode(row));
            QString digest;
            CPcConfig::getDigest(row, key, digest);
            content.setAttribute(kDigest, digest);
            cls.appendChild(content);
        });
    root.setAttribute(kLastUpdate, now);
    *out = CXmlFile::serialize(doc, 4);
    return true;
}

// Files from this size on leave enough freed memory behind to be worth handing back to the system at
// once (the server's malloc keeps up to 8 MiB free before it trims by itself).
const qsizetype kLargeFile = 8 * 1024 * 1024;

void giveMemoryBack()
{
#if defined(__GLIBC__)
    // The tree's nodes come in small blocks from the heap, among other threads' blocks: freed, they
    // stay with the process unless trimmed.
    malloc_trim(0);
#endif
}

// Replaces the file by the tree, written as it is serialised: 1 replaced (or already holding exactly
// these bytes, then left alone); 0 nothing replaced, as the tree holds what the writer cannot write;
// -1 failed. The old file is compared piece by piece as the new one is written, so the shortcut of
// an unchanged file costs no copy of either.
int replaceByTree(const CXmlTree &tree, const QString &path)
{
    QFile old(path);
    bool same = old.open(QIODevice::ReadOnly);
    QByteArray oldPiece;
    CAtomicFile file(path);
    if (!file.open())
        return -1;
    bool ok = true;
    const bool writable = tree.serialize([&](const char *data, size_t size) {
        if (same) {
            oldPiece.resize(qsizetype(size));
            same = old.read(oldPiece.data(), qint64(size)) == qint64(size)
                && std::memcmp(oldPiece.constData(), data, size) == 0;
        }
        ok = file.append(data, qint64(size));
        return ok;
    });
    if (!writable || !ok) {
        file.cancel();
        return ok ? 0 : -1;
    }
    char extra;
    if (same && old.read(&extra, 1) == 0) {
        file.cancel();
        return 1;
    }
    return file.commit() ? 1 : -1;
}

} // namespace

QString CPcConfig::pathOf(const QString &uuid)
{
    if (!CStorePath::isSafeUuid(uuid))
        return QString();
    return getDir(CStorePath::appFilePath()) + QLatin1Char('/') + uuid + QStringLiteral(".xml");
}

int CPcConfig::createFromTemplate(const QString &answer)
{
    return fill(answer, false);
}

int CPcConfig::fillIfEmpty(const QString &answer)
{
    // Most files hold their inventory: that is seen without reading the template.
    if (isBound() && QFileInfo(m_filePath).size() > 0)
        return 1;
    return fill(answer, true);
}

int CPcConfig::fill(const QString &answer, bool onlyIfEmpty)
{
    QByteArray templ;
    const QString templPath = CStorePath::appDir() + QStringLiteral("/configtempl.xml");
    if (CXmlFile::read(templPath, templ) != CXmlFile::Parsed)
        return -1;
    const QString now = CXmlFile::timeStamp();
    // The usual template goes through the tree and is written as it is made; others through the DOM.
    TreeFill treeFill;
    const bool streamed = prepareTreeFill(templ, answer, now.toStdString(), &treeFill);
    QByteArray filled;
    if (!streamed && !fillDom(templ, answer, now, &filled))
        return -1;

    if (!isBound())
        return -1;
    CFileGuard guard(m_filePath);
    if (!guard.isLocked())
        return -1;
    QByteArray raw;
    if (onlyIfEmpty) {
        const CXmlFile::State state = CXmlFile::read(m_filePath, raw);
        if (state == CXmlFile::Unreadable)
            return -1;
        if (state != CXmlFile::Empty)
            return 1;
    } else if (!CXmlFile::prepareFill(m_filePath, raw)) {
        return -1;
    }
    if (streamed) {
        const int written = writeTreeFill(treeFill, answer, m_filePath);
        if (written != 0)
            return written > 0 ? 0 : -1;
        if (!fillDom(templ, answer, now, &filled))
            return -1;
    }
    return CXmlFile::storeBytes(m_filePath, filled, raw) ? 0 : -1;
}

int CPcConfig::applyChange(const QString &text)
{
    if (text.isEmpty())
        return -1;
    const QStringList items = text.split(QLatin1Char('^'));
    if (items.size() < 2 || !isBound()) {
        setNoticeFlag();
        return 0;
    }
    bool large = false;
    int rc;
    {
        // The whole notice is one read-modify-write under the file's lock: nobody can see the state
        // between two items, so one write at the end gives what a write per item would.
        CFileGuard guard(m_filePath);
        rc = guard.isLocked() ? applyLocked(items, &large) : -1;
    }
    if (large)
        giveMemoryBack();
    if (rc != 0)
        return -1;
    // The flag is set once the file is settled and its lock released, so no lock on list.xml is
    // ever taken while a client file's is held. A file that does not parse leaves the flag alone.
    setNoticeFlag();
    return 0;
}

int CPcConfig::applyLocked(const QStringList &items, bool *large)
{
    QByteArray raw;
    CXmlFile::State state = CXmlFile::read(m_filePath, raw);
    if (state == CXmlFile::Unreadable)
        return -1;
    *large = raw.size() >= kLargeFile;
    // The usual file goes through the pugixml tree, parsed in the bytes read and written as it is
    // serialised; what the tree does not take, through the DOM.
    if (state == CXmlFile::Parsed) {
        CXmlTree tree;
        if (tree.loadInPlace(std::move(raw))) {
            applyItems(tree, items);
            const int replaced = replaceByTree(tree, m_filePath);
            if (replaced < 0)
                return -1;
            if (replaced > 0) {
                m_changed = true;
                m_parsed = false;
                m_document = QDomDocument();
                return 0;
            }
        }
        // The in-place parse has used the bytes: the file, unchanged under the lock, is read again.
        state = CXmlFile::read(m_filePath, raw);
        if (state == CXmlFile::Unreadable)
            return -1;
    }
    QDomDocument doc;
    if (CXmlFile::parse(raw, doc) == CXmlFile::Unreadable)
        return -1;
    applyItems(doc, items);
    const bool stored = CXmlFile::store(m_filePath, doc, 4, raw);
    m_changed = true;
    m_parsed = false;
    m_document = QDomDocument();
    return stored ? 0 : -1;
}

void CPcConfig::setNoticeFlag()
{
    CSet list;
    list.openList();
    list.setNotice(m_uuid, false);
}

namespace {
// The rows of one class: its "content" elements anywhere below it, in document order, by text, and
// its change log. Built at the first item of the class that needs it, so that each item costs the
// same whatever the number of rows.
struct ClassIndex
{
    QDomElement cls;
    bool rowsIndexed = false;
    QHash<QString, QList<QDomElement>> rows;
    QDomElement log;
};

// The index of class element cls among those made so far, or a new one. Two keys may name one class
// (an empty key names the first): they share its index, so each sees the other's rows.
template<class Index, class Element, class LogOf>
Index *indexOfClass(std::vector<std::unique_ptr<Index>> &indexes, const Element &cls, LogOf logOf)
{
    for (const auto &known : indexes) {
        if (known->cls == cls)
            return known.get();
    }
    indexes.push_back(std::make_unique<Index>());
    Index *index = indexes.back().get();
    index->cls = cls;
    index->log = logOf(cls);
    return index;
}
} // namespace

void CPcConfig::applyItems(QDomDocument &doc, const QStringList &items)
{
    QDomElement root = doc.documentElement();
    if (root.isNull())
        return;
    const QString now = CXmlFile::timeStamp();
    std::vector<std::unique_ptr<ClassIndex>> indexes;
    QHash<QString, ClassIndex *> classes;
    for (int i = 1; i < items.size(); ++i) {
        const QStringList fields = items.at(i).split(QLatin1Char('$'));
        if (fields.size() < 3)
            continue; // an empty or cut item names no row
        const QString &clsKey = fields.at(0);
        const QString &type = fields.at(1);
        const QString row = CXmlFile::validText(fields.at(2)); // as stored, so a removal finds it
        auto found = classes.find(clsKey);
        if (found == classes.end()) {
            found = classes.insert(clsKey,
                indexOfClass(indexes, root.firstChildElement(clsKey),
                    [](const QDomElement &c) { return c.firstChildElement(kChangeLog); }));
        }
        ClassIndex &index = **found;
        QDomElement &cls = index.cls;
        if (!cls.isNull()) {
            const bool remove = type == QLatin1String("remove");
            const bool add = type == QLatin1String("add");
            if ((remove || add) && !index.rowsIndexed) {
                const QDomNodeList contents = cls.elementsByTagName(kContent);
                for (int c = 0; c < contents.count(); ++c) {
                    const QDomElement e = contents.item(c).toElement();
                    index.rows[e.text()].append(e);
                }
                index.rowsIndexed = true;
            }
            if (remove) {
                // The first content element holding the row, in document order. One that is not a
                // child of the class cannot be removed from it: it stays, and stays the first.
                auto rowIt = index.rows.find(row);
                if (rowIt != index.rows.end() && !rowIt->isEmpty()) {
                    const QDomElement e = rowIt->first();
                    if (e.parentNode() == cls) {
                        cls.removeChild(e);
                        rowIt->removeFirst();
                    }
                }
            } else if (add) {
                QDomElement content = doc.createElement(kContent);
                content.appendChild(doc.createTextNode(row));
                QString digest;
                getDigest(row, clsKey, digest);
                content.setAttribute(kDigest, digest);
                cls.appendChild(content);
                index.rows[row].append(content); // the last in document order
            }
            if (remove || add) {
                QDomElement rec = doc.createElement(kRecord);
                rec.appendChild(doc.createTextNode(row));
                QString digest;
                getDigest(row, clsKey, digest);
                rec.setAttribute(QStringLiteral("time"), now);
                rec.setAttribute(QStringLiteral("type"), type);
                rec.setAttribute(kDigest, digest);
                rec.setAttribute(QStringLiteral("notice"), QStringLiteral("no"));
                if (index.log.isNull()) {
                    index.log = doc.createElement(kChangeLog);
                    cls.appendChild(index.log);
                }
                index.log.appendChild(rec);
            }
            cls.setAttribute(kLastUpdate, now);
        }
        root.setAttribute(kLastUpdate, now);
    }
}

namespace {
// Removals of a class made by a walk of its rows before they are indexed: a notice of a few items
// does not pay for an index of every row, one of many pays for it once.
const int kScansBeforeIndex = 4;

struct TreeClassIndex
{
    pugi::xml_node cls;
    int scans = 0;
    bool rowsIndexed = false;
    QHash<QByteArray, QList<pugi::xml_node>> rows;
    pugi::xml_node log;
};
} // namespace

void CPcConfig::applyItems(CXmlTree &tree, const QStringList &items)
{
    pugi::xml_node root = tree.root();
    if (!root)
        return;
    const std::string now = CXmlFile::timeStamp().toStdString();
    std::vector<std::unique_ptr<TreeClassIndex>> indexes;
    QHash<QString, TreeClassIndex *> classes;
    for (int i = 1; i < items.size(); ++i) {
        const QStringList fields = items.at(i).split(QLatin1Char('$'));
        if (fields.size() < 3)
            continue; // an empty or cut item names no row
        const QString &clsKey = fields.at(0);
        const QString &type = fields.at(1);
        const QString row = CXmlFile::validText(fields.at(2)); // as stored, so a removal finds it
        auto found = classes.find(clsKey);
        if (found == classes.end()) {
            pugi::xml_node cls;
            // No element is named by a key holding a NUL, which would end the name early here.
            const std::string key = clsKey.toStdString();
            if (key.find('\0') == std::string::npos)
                cls = CXmlTree::firstChildElement(root, key.c_str());
            found = classes.insert(clsKey, indexOfClass(indexes, cls, [](pugi::xml_node c) {
                return CXmlTree::firstChildElement(c, "changelog");
            }));
        }
        TreeClassIndex &index = **found;
        pugi::xml_node cls = index.cls;
        if (cls) {
            const bool remove = type == QLatin1String("remove");
            const bool add = type == QLatin1String("add");
            if (remove && !index.rowsIndexed && index.scans < kScansBeforeIndex) {
                // A few removals are cheaper as walks than as an index of every row.
                ++index.scans;
                const std::string wanted = row.toStdString();
                const pugi::xml_node e = CXmlTree::findElement(cls, [&](pugi::xml_node n) {
                    if (n == cls || std::strcmp(n.name(), "content") != 0)
                        return false;
                    if (const char *only = CXmlTree::singleText(n))
                        return wanted == only;
                    return wanted == CXmlTree::text(n);
                });
                if (e && e.parent() == cls)
                    cls.remove_child(e);
            } else if (remove && !index.rowsIndexed) {
                // Every "content" element below the class, in document order.
                qsizetype count = 0;
                CXmlTree::findElement(cls, [&](pugi::xml_node n) {
                    count += std::strcmp(n.name(), "content") == 0 ? 1 : 0;
                    return false;
                });
                index.rows.reserve(count);
                for (pugi::xml_node n = cls.first_child(); n && n != cls;) {
                    if (n.type() == pugi::node_element && std::strcmp(n.name(), "content") == 0)
                        index.rows[QByteArray::fromStdString(CXmlTree::text(n))].append(n);
                    if (n.first_child()) {
                        n = n.first_child();
                        continue;
                    }
                    while (n != cls && !n.next_sibling())
                        n = n.parent();
                    if (n != cls)
                        n = n.next_sibling();
                }
                index.rowsIndexed = true;
            }
            const QByteArray rowUtf8 = row.toUtf8();
            QString digest;
            if (remove || add)
                getDigest(row, clsKey, digest);
            const std::string digestUtf8 = digest.toStdString();
            if (remove && !index.rowsIndexed) {
                // removed by the walk above
            } else if (remove) {
                // The first content element holding the row, in document order. One that is not a
                // child of the class cannot be removed from it: it stays, and stays the first.
                auto rowIt = index.rows.find(rowUtf8);
                if (rowIt != index.rows.end() && !rowIt->isEmpty()) {
                    const pugi::xml_node e = rowIt->first();
                    if (e.parent() == cls) {
                        cls.remove_child(e);
                        rowIt->removeFirst();
                    }
                }
            } else if (add) {
                pugi::xml_node content = cls.append_child("content");
                content.append_child(pugi::node_pcdata).set_value(rowUtf8.constData());
                CXmlTree::setAttribute(content, "digest", digestUtf8);
                if (index.rowsIndexed)
                    index.rows[rowUtf8].append(content); // the last in document order
            }
            if (remove || add) {
                if (!index.log)
                    index.log = cls.append_child("changelog");
                pugi::xml_node rec = index.log.append_child("record");
                rec.append_child(pugi::node_pcdata).set_value(rowUtf8.constData());
                CXmlTree::setAttribute(rec, "time", now);
                CXmlTree::setAttribute(rec, "type", type.toStdString());
                CXmlTree::setAttribute(rec, "digest", digestUtf8);
                CXmlTree::setAttribute(rec, "notice", std::string("no"));
            }
            CXmlTree::setAttribute(cls, "lastupdate", now);
        }
        CXmlTree::setAttribute(root, "lastupdate", now);
    }
}

int CPcConfig::getSummary(QStringList &contents, QStringList &changes)
{
    const QDomElement root = document().documentElement();
    for (QDomElement cls = root.firstChildElement(); !cls.isNull(); cls = cls.nextSiblingElement()) {
        const QString key = cls.tagName();
        for (const QDomElement &r : recordsOf(cls)) {
            changes.append(key + QStringLiteral(" : ") + r.attribute(QStringLiteral("time")) + QLatin1Char(' ')
                + r.attribute(QStringLiteral("type")) + QLatin1Char(' ') + r.attribute(kDigest));
        }
        const QDomNodeList all = cls.elementsByTagName(kContent);
        for (int i = 0; i < all.count(); ++i) {
            const QString digest = all.item(i).toElement().attribute(kDigest).trimmed();
            if (!digest.isEmpty())
                contents.append(key + QLatin1Char('=') + digest);
        }
    }
    return 0;
}

int CPcConfig::getContents(const QString &cls, QStringList &rows)
{
    const QDomElement e = document().documentElement().firstChildElement(cls);
    if (e.isNull())
        return -1;
    const QDomNodeList all = e.elementsByTagName(kContent);
    for (int i = 0; i < all.count(); ++i)
        rows.append(all.item(i).toElement().text());
    return 0;
}

int CPcConfig::getChangeLog(QMap<QString, QStringList> &log)
{
    const QDomElement root = document().documentElement();
    for (QDomElement cls = root.firstChildElement(); !cls.isNull(); cls = cls.nextSiblingElement()) {
        QStringList entries;
        for (const QDomElement &r : recordsOf(cls)) {
            entries.append(r.attribute(QStringLiteral("time")) + QLatin1Char('^') + r.attribute(QStringLiteral("type"))
                + QLatin1Char('^') + r.attribute(kDigest));
        }
        log[cls.tagName()] = entries;
    }
    return 0;
}

int CPcConfig::getDigests(QMap<QString, QString> &digests)
{
    const QDomElement root = document().documentElement();
    for (QDomElement cls = root.firstChildElement(); !cls.isNull(); cls = cls.nextSiblingElement()) {
        QString text;
        const QDomNodeList all = cls.elementsByTagName(kContent);
        for (int i = 0; i < all.count(); ++i)
            text += all.item(i).toElement().attribute(kDigest) + QLatin1Char('\n');
        digests[cls.tagName()] = text;
    }
    digests[kLastUpdate] = root.attribute(kLastUpdate);
    return 0;
}

int CPcConfig::getContent(const QString &cls, QString &row)
{
    const QDomElement e = document().documentElement().firstChildElement(cls);
    if (e.isNull())
        return -1;
    row = e.firstChildElement(kContent).text();
    return 0;
}
