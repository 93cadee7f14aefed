#include "cfuzzentries.h"

#include "ccommandframe.h"
#include "ccommandframereader.h"
#include "cdigestcache.h"
#include "cdigestreader.h"
#include "cmessages.h"
#include "cpcconfig.h"
#include "cset.h"
#include "cshortframe.h"
#include "cshortframereader.h"
#include "cstorepath.h"
#include "cupdatelist.h"
#include "cupdatelog.h"
#include "cxmlfile.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QtEndian>

#include <limits>

namespace {

const QString kUuid = QStringLiteral("{6f1c2a34-0b5d-4e7f-8a9b-0c1d2e3f4a5b}");

QString fail(const QString &what)
{
    return what;
}

// A peer's text: UTF-8, or, after the marker FF FE, UTF-16 units as a short frame carries them (so
// unpaired surrogates reach the code too).
QString textOf(const QByteArray &data)
{
    if (data.startsWith("\xFF\xFE")) {
        const QByteArray units = data.mid(2);
        return QString::fromUtf16(reinterpret_cast<const char16_t *>(units.constData()), units.size() / 2);
    }
    return QString::fromUtf8(data);
}

QString show(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.left(64).toHex());
}

// The input's first byte says how many of the following bytes are piece sizes (0..7), and whether
// the reader reads from a device instead of a buffer (bit 7); the rest is the stream. A size byte 0
// delivers everything left at once.
struct Pieces
{
    QList<qint64> sizes;
    bool device = false;
    QByteArray stream;
    int next = 0;

    explicit Pieces(const QByteArray &data)
    {
        if (data.isEmpty())
            return;
        const quint8 b0 = quint8(data.at(0));
        device = b0 & 0x80;
        const int k = qMin<int>(b0 % 8, data.size() - 1);
        for (int i = 1; i <= k; ++i) {
            const quint8 s = quint8(data.at(i));
            sizes.append(s == 0 ? std::numeric_limits<qint64>::max() : qint64(s));
        }
        stream = data.mid(1 + k);
    }
    qint64 size(qint64 scale = 1)
    {
        if (sizes.isEmpty())
            return std::numeric_limits<qint64>::max();
        const qint64 s = sizes.at(next++ % sizes.size());
        return s == std::numeric_limits<qint64>::max() ? s : s * scale;
    }
};

// Delivers a stream to a reader piece by piece, from a buffer or from a device.
class CFeed
{
public:
    CFeed(const QByteArray &stream, Pieces &pieces, qint64 scale = 1)
        : m_stream(stream)
        , m_pieces(pieces)
        , m_scale(scale)
    {
        m_device.setBuffer(&m_deviceBytes);
        m_device.open(QIODevice::ReadOnly);
    }
    bool device() const { return m_pieces.device; }
    // Adds the next piece; false when the stream is used up.
    bool more()
    {
        if (m_delivered >= m_stream.size())
            return false;
        const qint64 n = qMin<qint64>(m_pieces.size(m_scale), m_stream.size() - m_delivered);
        const QByteArray piece = m_stream.mid(m_delivered, n);
        m_delivered += n;
        m_lastPiece = n;
        if (device())
            m_deviceBytes.append(piece);
        else
            m_buffer.append(piece);
        return true;
    }
    QByteArray &buffer() { return m_buffer; }
    QIODevice *io() { return &m_device; }
    qint64 consumed() const { return device() ? m_device.pos() : m_delivered - m_buffer.size(); }
    qint64 delivered() const { return m_delivered; }
    qint64 lastPiece() const { return m_lastPiece; }

private:
    QByteArray m_stream;
    Pieces &m_pieces;
    qint64 m_scale;
    QByteArray m_buffer;
    QByteArray m_deviceBytes;
    QBuffer m_device;
    qint64 m_delivered = 0;
    qint64 m_lastPiece = 0;
};

// ---- short frame -----------------------------------------------------------------------------

enum Outcome { NeedMore, Complete, Error };

// What a whole stream holds at its start, worked out from the frame layout directly.
Outcome shortFrameOracle(const QByteArray &b, QString *text, qint64 *length)
{
    if (b.size() < 2)
        return NeedMore;
    const quint16 count = qFromBigEndian<quint16>(b.constData());
    qint64 start = 2;
    qint64 size = count;
    if (count == 0xFFFF) {
        if (b.size() < 6)
            return NeedMore;
        size = qFromBigEndian<quint32>(b.constData() + 2);
        if (size > CShortFrame::MaxFrameBytes)
            return Error;
        start = 6;
    }
    if (b.size() < start + size)
        return NeedMore;
    *length = start + size;
    if (size < 4)
        return Error;
    const quint32 units2 = qFromBigEndian<quint32>(b.constData() + start);
    if (units2 == 0xFFFFFFFFu) {
        *text = QString();
        return Complete;
    }
    if ((units2 & 1) || qint64(units2) > size - 4)
        return Error;
    QString t;
    for (quint32 i = 0; i < units2 / 2; ++i)
        t.append(QChar(qFromBigEndian<quint16>(b.constData() + start + 4 + 2 * i)));
    *text = t;
    return Complete;
}

Outcome readShort(CShortFrameReader &reader, CFeed &feed)
{
    CShortFrameReader::Status s = CShortFrameReader::NeedMore;
    while (s == CShortFrameReader::NeedMore && feed.more())
        s = feed.device() ? reader.readFrom(feed.io()) : reader.readFrom(feed.buffer());
    return Outcome(int(s));
}

QString roundTripShort(const QString &text, Pieces &pieces, qint64 scale)
{
    const QByteArray bytes = CShortFrame::encode(text);
    if (bytes.isEmpty())
        return fail(QStringLiteral("a text of %1 units could not be framed").arg(text.size()));
    const qint64 units = text.size();
    if (units <= CShortFrame::MaxShortUnits) {
        if (bytes.size() != 6 + 2 * units || qFromBigEndian<quint16>(bytes.constData()) != 4 + 2 * units)
            return fail(QStringLiteral("normal frame of %1 units has a wrong count or size").arg(units));
    } else if (qFromBigEndian<quint16>(bytes.constData()) != CShortFrame::ExtendedMark
        || bytes.size() != 10 + 2 * units) {
        return fail(QStringLiteral("extended frame of %1 units has a wrong mark or size").arg(units));
    }
    CShortFrameReader reader;
    pieces.next = 0;
    CFeed feed(bytes + QByteArray("trailing"), pieces, scale);
    if (readShort(reader, feed) != Complete)
        return fail(QStringLiteral("written frame not read back: %1").arg(reader.errorString()));
    if (reader.text() != text)
        return fail(QStringLiteral("frame read back differs from the text written (%1 units)").arg(units));
    if (feed.consumed() != bytes.size())
        return fail(QStringLiteral("reader took %1 bytes of a %2-byte frame").arg(feed.consumed()).arg(bytes.size()));
    return QString();
}

// ---- command frame ---------------------------------------------------------------------------

QString roundTripCommand(const QString &header, const QByteArray &payload, Pieces &pieces)
{
    const QByteArray frame = CCommandFrame::encode(header, payload);
    const QByteArray headerBytes = CCommandFrame::headerBytes(header);
    if (frame.isEmpty())
        return header.size() > 65535 ? QString() : fail(QStringLiteral("frame not encoded"));
    pieces.next = 0;
    CFeed feed(frame + QByteArray("next frame"), pieces);
    CCommandFrameReader reader;
    CCommandFrameReader::Status s = CCommandFrameReader::NeedMore;
    while (s == CCommandFrameReader::NeedMore && feed.more())
        s = feed.device() ? reader.readHeader(feed.io()) : reader.readHeader(feed.buffer());
    if (s != CCommandFrameReader::Complete)
        return fail(QStringLiteral("written head not read back"));
    if (reader.header() != headerBytes || reader.headerLength() != headerBytes.size())
        return fail(QStringLiteral("header read back differs: %1").arg(show(reader.header())));
    if (qint64(reader.total()) != payload.size() + headerBytes.size() + 6 || reader.payloadSize() != payload.size())
        return fail(QStringLiteral("total %1 for a payload of %2").arg(reader.total()).arg(payload.size()));
    QByteArray got;
    QByteArray chunk;
    for (;;) {
        s = feed.device() ? reader.readPayload(feed.io(), &chunk) : reader.readPayload(feed.buffer(), &chunk);
        got += chunk;
        if (s != CCommandFrameReader::NeedMore || !feed.more())
            break;
    }
    if (s == CCommandFrameReader::NeedMore)
        s = feed.device() ? reader.readPayload(feed.io(), &chunk) : reader.readPayload(feed.buffer(), &chunk),
        got += chunk;
    if (s != CCommandFrameReader::Complete || got != payload)
        return fail(QStringLiteral("payload read back differs (%1 of %2 bytes)").arg(got.size()).arg(payload.size()));
    if (feed.consumed() != frame.size())
        return fail(QStringLiteral("reader took %1 bytes of a %2-byte frame").arg(feed.consumed()).arg(frame.size()));

    // The identity request: total L + 2, no payload.
    const QByteArray command = CCommandFrame::encodeCommand(header);
    QByteArray buffer = command;
    CCommandFrameReader request;
    if (request.readHeader(buffer) != CCommandFrameReader::Complete || !buffer.isEmpty()
        || qint64(request.total()) != headerBytes.size() + 2 || request.header() != headerBytes)
        return fail(QStringLiteral("command frame read back differs"));
    return QString();
}

// ---- files of the application directory ------------------------------------------------------

QString appPath(const QString &name)
{
    return CStorePath::appDir() + QLatin1Char('/') + name;
}

void put(const QString &name, const QByteArray &data)
{
    QFile f(appPath(name));
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(data);
}

QByteArray get(const QString &name)
{
    QFile f(appPath(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool parsesXml(const QByteArray &bytes, QDomDocument *doc = nullptr)
{
    QDomDocument local;
    return bool((doc ? *doc : local).setContent(bytes, true));
}

// An input file the store must keep readable: one the toolkit parses and also reads back after
// writing it out itself. Files it parses but cannot write readably (control characters in a
// processing instruction, a declared encoding its writer handles otherwise than its reader) are
// damaged beyond what the store's writers are asked to repair; for them only "never made worse
// than unreadable" is checked.
bool keepsReadable(const QByteArray &bytes)
{
    QDomDocument doc;
    if (!doc.setContent(bytes, true))
        return false;
    QDomDocument again;
    return bool(again.setContent(doc.toByteArray(4), true));
}

// Every store file the targets use, removed before an input so no state passes between inputs.
void clearStore(const QStringList &names)
{
    for (const QString &n : names)
        QFile::remove(appPath(n));
}

const QStringList &storeNames()
{
    static const QStringList names {QStringLiteral("list.xml"), QStringLiteral("configtempl.xml"),
        QStringLiteral("uplist.xml"), QStringLiteral("updateLog.xml"), kUuid + QStringLiteral(".xml")};
    return names;
}

QStringList withLocks(const QStringList &names)
{
    QStringList out = names;
    for (const QString &n : names)
        out.append(n + QStringLiteral(".lock"));
    return out;
}

QByteArray fixtureInventory()
{
    return QByteArrayLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                             "<pcconfig lastupdate=\"May 01 2026 10:00:00\">\n"
                             "    <CPU lastupdate=\"May 01 2026 10:00:00\">\n"
                             "        <content digest=\"Xeon\">Name=Xeon\nCores=8\n</content>\n"
                             "        <changelog>\n"
                             "            <record time=\"May 01 2026 10:00:00\" type=\"add\" digest=\"Xeon\" "
                             "notice=\"no\">Name=Xeon\nCores=8\n</record>\n"
                             "        </changelog>\n"
                             "    </CPU>\n"
                             "    <Software>\n"
                             "        <content digest=\"Editor\">Caption=Editor\n</content>\n"
                             "        <content digest=\"Shell\">Caption=Shell\n</content>\n"
                             "    </Software>\n"
                             "    <MemoryDevice/>\n"
                             "    <OS/>\n"
                             "</pcconfig>\n");
}

QByteArray fixtureList()
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<pclist>\n  <pc UUID=\"" + kUuid.toLatin1()
        + "\" notice=\"yes\">\n    <name>host1</name>\n    <ip>10.0.0.5</ip>\n  </pc>\n"
          "  <folder>\n    <name>Lab</name>\n    <value>1</value>\n  </folder>\n</pclist>\n";
}

QByteArray shippedTemplate()
{
    return QByteArrayLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<pcconfig>\n    <CPU/>\n    <BaseBoard/>\n"
                             "    <DiskDrive/>\n    <VideoController/>\n    <NetworkAdapter/>\n    <BIOS/>\n"
                             "    <CDROMDrive/>\n    <DesktopMonitor/>\n    <MemoryDevice/>\n    <Printer/>\n"
                             "    <SoundDevice/>\n    <Software/>\n    <OS/>\n</pcconfig>\n");
}

// The direct "content" children texts of every class, and the number of records of each.
struct Inventory
{
    QMap<QString, QStringList> contents;
    QMap<QString, int> records;
};

// A row as a later read of the file gives it: the parser drops text made of white space only.
QString asRead(const QString &row)
{
    return row.trimmed().isEmpty() ? QString() : row;
}

Inventory inventoryOf(const QDomDocument &doc)
{
    Inventory inv;
    const QDomElement root = doc.documentElement();
    for (QDomElement cls = root.firstChildElement(); !cls.isNull(); cls = cls.nextSiblingElement()) {
        QStringList &rows = inv.contents[cls.tagName()];
        for (QDomElement c = cls.firstChildElement(QStringLiteral("content")); !c.isNull();
             c = c.nextSiblingElement(QStringLiteral("content")))
            rows.append(asRead(c.text()));
        int n = 0;
        const QDomElement log = cls.firstChildElement(QStringLiteral("changelog"));
        for (QDomElement r = log.firstChildElement(QStringLiteral("record")); !r.isNull(); r = r.nextSiblingElement())
            ++n;
        inv.records[cls.tagName()] = n;
    }
    return inv;
}

// The class an item's key picks: the element of that name, or (an empty key) the first class.
QString classFor(const QDomDocument &doc, const QString &key)
{
    const QDomElement e = doc.documentElement().firstChildElement(key);
    return e.isNull() ? QString() : e.tagName();
}

} // namespace

QList<CFuzzEntries::Target> CFuzzEntries::targets()
{
    return {
        {"shortframe", &CFuzzEntries::shortFrame},
        {"commandframe", &CFuzzEntries::commandFrame},
        {"updatecheck", &CFuzzEntries::updateCheck},
        {"changenotice", &CFuzzEntries::changeNotice},
        {"identityanswer", &CFuzzEntries::identityAnswer},
        {"identityrequest", &CFuzzEntries::identityRequest},
        {"filepush", &CFuzzEntries::filePush},
        {"changelog", &CFuzzEntries::changeLog},
        {"templatefill", &CFuzzEntries::templateFill},
        {"listxml", &CFuzzEntries::listXml},
        {"inventoryxml", &CFuzzEntries::inventoryXml},
        {"uplistxml", &CFuzzEntries::uplistXml},
        {"updatelogxml", &CFuzzEntries::updateLogXml},
        {"digestreader", &CFuzzEntries::digestReader},
    };
}

CFuzzEntries::Entry CFuzzEntries::find(const QString &name)
{
    for (const Target &t : targets()) {
        if (name == QLatin1String(t.name))
            return t.entry;
    }
    return nullptr;
}

QString CFuzzEntries::strayFiles(const QStringList &allowed)
{
    const QString self = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    QStringList stray;
    const QStringList present
        = QDir(CStorePath::appDir()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
    for (const QString &name : present) {
        if (name != self && !allowed.contains(name))
            stray.append(name);
    }
    return stray.isEmpty() ? QString() : QStringLiteral("unexpected files: ") + stray.join(QLatin1Char(' '));
}

QString CFuzzEntries::shortFrame(const QByteArray &data)
{
    Pieces pieces(data);
    const QByteArray &stream = pieces.stream;

    QString expected;
    qint64 length = -1;
    const Outcome want = shortFrameOracle(stream, &expected, &length);

    CShortFrameReader reader;
    CFeed feed(stream, pieces);
    const Outcome got = readShort(reader, feed);
    if (got != want)
        return fail(QStringLiteral("reader says %1, the frame layout %2 for %3").arg(got).arg(want).arg(show(stream)));
    switch (got) {
    case Complete:
        if (reader.text() != expected)
            return fail(QStringLiteral("text read differs from the frame's text"));
        if (feed.consumed() != length)
            return fail(QStringLiteral("reader took %1 bytes of a %2-byte frame").arg(feed.consumed()).arg(length));
        break;
    case NeedMore:
        if (feed.consumed() != stream.size())
            return fail(QStringLiteral("incomplete frame: reader left bytes unread"));
        break;
    case Error:
        if (reader.errorString().isEmpty())
            return fail(QStringLiteral("refused frame without a reason"));
        if (feed.consumed() > qMax<qint64>(length, 6))
            return fail(QStringLiteral("refused frame: reader read past the frame"));
        break;
    }
    // A finished reader reads nothing more.
    if (got != NeedMore) {
        const qint64 before = feed.consumed();
        feed.more();
        const auto again = feed.device() ? reader.readFrom(feed.io()) : reader.readFrom(feed.buffer());
        if (Outcome(int(again)) != got || feed.consumed() != before)
            return fail(QStringLiteral("a finished reader read on"));
    }
    CShortFrame::decode(stream, nullptr);

    // Round trip of a text made of the stream's bytes as UTF-16 units; bit 6 of the first byte pads
    // it to around the largest normal frame, where the two forms meet (bits 6 and 5 of the first byte).
    QString text = QString::fromUtf16(reinterpret_cast<const char16_t *>(stream.constData()), stream.size() / 2);
    qint64 scale = 1;
    if (!data.isEmpty() && (quint8(data.at(0)) & 0x60) == 0x60) {
        const int target = CShortFrame::MaxShortUnits - 4 + (stream.isEmpty() ? 0 : quint8(stream.at(0)) % 10);
        if (text.size() < target)
            text += QString(target - text.size(), QLatin1Char('x'));
        scale = 1024;
    }
    return roundTripShort(text, pieces, scale);
}

QString CFuzzEntries::commandFrame(const QByteArray &data)
{
    Pieces pieces(data);
    const QByteArray &stream = pieces.stream;

    CFeed feed(stream, pieces);
    CCommandFrameReader reader;
    CCommandFrameReader::Status s = CCommandFrameReader::NeedMore;
    while (s == CCommandFrameReader::NeedMore && feed.more())
        s = feed.device() ? reader.readHeader(feed.io()) : reader.readHeader(feed.buffer());
    if (s == CCommandFrameReader::Error)
        return fail(QStringLiteral("head refused: %1").arg(reader.errorString()));

    const qint64 headLength = stream.size() >= 6 ? 6 + qFromBigEndian<quint16>(stream.constData() + 4) : -1;
    if (s == CCommandFrameReader::NeedMore) {
        if (headLength >= 0 && stream.size() >= headLength)
            return fail(QStringLiteral("complete head not recognised"));
        if (feed.consumed() != stream.size())
            return fail(QStringLiteral("incomplete head: reader left bytes unread"));
        QByteArray chunk;
        if (reader.readPayload(feed.buffer(), &chunk) != CCommandFrameReader::Error)
            return fail(QStringLiteral("payload read before the head"));
        return roundTripCommand(
            QString::fromLatin1(stream.left(stream.size() / 2)), stream.mid(stream.size() / 2), pieces);
    }
    const qint32 total = qFromBigEndian<qint32>(stream.constData());
    if (headLength < 0 || reader.total() != total || reader.header() != stream.mid(6, headLength - 6)
        || reader.fields() != CCommandFrame::splitHeader(stream.mid(6, headLength - 6)))
        return fail(QStringLiteral("head read differs from the frame's head"));
    if (feed.consumed() > headLength)
        return fail(QStringLiteral("reader read past the head before the payload was asked for"));

    const qint64 payloadSize = qint64(total) - (headLength - 6) - 6;
    QByteArray payload;
    QByteArray chunk;
    for (;;) {
        const qint64 available = feed.device() ? feed.io()->bytesAvailable() : feed.buffer().size();
        s = feed.device() ? reader.readPayload(feed.io(), &chunk) : reader.readPayload(feed.buffer(), &chunk);
        if (chunk.size() > available)
            return fail(QStringLiteral("payload chunk larger than what arrived"));
        payload += chunk;
        if (s != CCommandFrameReader::NeedMore || !feed.more())
            break;
    }
    if (s == CCommandFrameReader::NeedMore) {
        s = feed.device() ? reader.readPayload(feed.io(), &chunk) : reader.readPayload(feed.buffer(), &chunk);
        payload += chunk;
    }
    if (payloadSize < 0) {
        if (s != CCommandFrameReader::Error || !payload.isEmpty())
            return fail(QStringLiteral("a frame without payload size gave payload bytes"));
    } else {
        const QByteArray want = stream.mid(headLength, payloadSize);
        if (payload != want)
            return fail(QStringLiteral("payload read differs (%1 of %2 bytes)").arg(payload.size()).arg(want.size()));
        const bool whole = stream.size() - headLength >= payloadSize;
        if ((s == CCommandFrameReader::Complete) != whole || reader.isPayloadComplete() != whole)
            return fail(QStringLiteral("payload completion misreported"));
        if (feed.consumed() != headLength + want.size())
            return fail(QStringLiteral("reader read past the frame's payload"));
    }
    const int cut = stream.isEmpty() ? 0 : quint8(stream.at(0)) % (stream.size() + 1);
    return roundTripCommand(QString::fromLatin1(stream.mid(6, headLength - 6)), stream.mid(cut), pieces);
}

QString CFuzzEntries::updateCheck(const QByteArray &data)
{
    const QString text = textOf(data);
    CMessages::UpdateCheck check;
    const bool ok = CMessages::parseUpdateCheck(text, &check);
    const QStringList fields = text.split(QLatin1Char(':'));
    if (ok != (fields.size() >= 4 && fields.at(0) == QLatin1String("update")) && ok)
        return fail(QStringLiteral("update check accepted without its keyword and fields"));
    if (!ok)
        return QString();
    if (check.version != fields.at(1) || check.platform != fields.at(2) || check.hostLabel != fields.at(3))
        return fail(QStringLiteral("update check fields differ from the text's fields"));
    CMessages::UpdateCheck again;
    if (!CMessages::parseUpdateCheck(
            CMessages::buildUpdateCheck(check.version, check.platform, check.hostLabel), &again)
        || again.version != check.version || again.platform != check.platform || again.hostLabel != check.hostLabel)
        return fail(QStringLiteral("update check does not survive a build and parse"));
    return QString();
}

QString CFuzzEntries::changeNotice(const QByteArray &data)
{
    const QString text = textOf(data);
    CMessages::ChangeNotice notice;
    if (!CMessages::parseChangeNotice(text, &notice))
        return QString();
    const QStringList fields = text.split(QLatin1Char(':'));
    if (fields.at(0) != QLatin1String("changelog") || fields.size() < 2 || notice.notice != fields.at(1)
        || notice.notice.isEmpty())
        return fail(QStringLiteral("change notice accepted with a wrong keyword or notice"));
    const QStringList parts = notice.notice.split(QLatin1Char('^'));
    if (notice.uuid != parts.at(0) || notice.items != parts.mid(1))
        return fail(QStringLiteral("change notice parts differ from the text's parts"));
    int expected = 0;
    for (const QString &item : notice.items)
        expected += item.split(QLatin1Char('$')).size() >= 3 ? 1 : 0;
    if (notice.parsedItems.size() != expected)
        return fail(
            QStringLiteral("%1 items read as changes, %2 expected").arg(notice.parsedItems.size()).arg(expected));
    QStringList rebuilt;
    for (const CMessages::ChangeItem &item : notice.parsedItems) {
        if (item.row.contains(QLatin1Char('$')) || item.classKey.contains(QLatin1Char('$')))
            return fail(QStringLiteral("change item field holds its separator"));
        rebuilt.append(CMessages::changeItem(item.classKey, item.type, item.row));
    }
    CMessages::ChangeNotice again;
    if (!CMessages::parseChangeNotice(CMessages::buildChangeNotice(notice.uuid, rebuilt), &again) && !rebuilt.isEmpty())
        return fail(QStringLiteral("rebuilt change notice refused"));
    if (!rebuilt.isEmpty() && (again.uuid != notice.uuid || again.parsedItems.size() != notice.parsedItems.size()))
        return fail(QStringLiteral("change notice does not survive a build and parse"));
    return QString();
}

QString CFuzzEntries::identityAnswer(const QByteArray &data)
{
    const QString text = textOf(data);
    CMessages::IdentityAnswer answer;
    if (!CMessages::parseIdentityAnswer(text, &answer))
        return QString();
    const QStringList parts = text.split(QLatin1Char('^'));
    if (!parts.at(0).startsWith(QLatin1String("UUID:")) && parts.at(0) != QLatin1String("UUID"))
        return fail(QStringLiteral("identity answer accepted without \"UUID\""));
    if (answer.classes.size() > parts.size() - 1)
        return fail(QStringLiteral("more class blocks than parts"));
    const bool twoPart = answer.versionPart.split(QLatin1Char('-')).size() == 2;
    if (!twoPart && (answer.version != QLatin1String("unknown") || answer.platform != QLatin1String("5")))
        return fail(QStringLiteral("a version part that does not split in two must read as unknown/5"));
    for (const CMessages::ClassBlock &block : answer.classes) {
        if (block.classKey.contains(QLatin1Char(':')) || block.classKey.contains(QLatin1Char('^')))
            return fail(QStringLiteral("class key holds a separator"));
    }
    // What a well-formed answer carries survives a build and a parse.
    bool clean = twoPart && !answer.uuid.contains(QLatin1Char('|')) && !answer.hostLabel.contains(QLatin1Char('|'))
        && !answer.version.contains(QLatin1Char('-')) && !answer.platform.contains(QLatin1Char('-'));
    for (const QString &s : {answer.uuid, answer.hostLabel, answer.versionPart})
        clean = clean && !s.contains(QLatin1Char(':')) && !s.contains(QLatin1Char('^'));
    if (!clean)
        return QString();
    CMessages::IdentityAnswer again;
    if (!CMessages::parseIdentityAnswer(CMessages::buildIdentityAnswer(answer.uuid, answer.hostLabel, answer.version,
                                            answer.platform, answer.classes),
            &again))
        return fail(QStringLiteral("rebuilt identity answer refused"));
    if (again.uuid != answer.uuid || again.hostLabel != answer.hostLabel || again.version != answer.version
        || again.platform != answer.platform || again.classes.size() != answer.classes.size())
        return fail(QStringLiteral("identity answer does not survive a build and parse"));
    return QString();
}

QString CFuzzEntries::identityRequest(const QByteArray &data)
{
    const QStringList fields = CCommandFrame::splitHeader(data);
    QString address;
    if (!CMessages::parseIdentityRequest(fields, &address))
        return QString();
    if (fields.isEmpty() || fields.at(0) != QLatin1String("getUUID") || fields.size() < 2 || address != fields.at(1))
        return fail(QStringLiteral("identity request accepted with a wrong command or address"));
    const QString header = CMessages::identityRequestHeader(address);
    QString again;
    if (!CMessages::parseIdentityRequest(CCommandFrame::splitHeader(CCommandFrame::headerBytes(header)), &again))
        return fail(QStringLiteral("rebuilt identity request refused"));
    if (address == address.trimmed() && again != address)
        return fail(QStringLiteral("identity request address does not survive a build and parse"));
    return QString();
}

QString CFuzzEntries::filePush(const QByteArray &data)
{
    const QStringList fields = CCommandFrame::splitHeader(data);
    QString name;
    if (!CMessages::parseFilePush(fields, &name))
        return QString();
    if (fields.at(0) != QLatin1String("SWAPLETFILE"))
        return fail(QStringLiteral("file push accepted with another command"));
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..") || name.contains(QLatin1Char('/'))
        || name.contains(QLatin1Char('\\')))
        return fail(QStringLiteral("file push name leaves the receiver's directory: %1").arg(name));
    if (CMessages::fileNameOf(name) != name)
        return fail(QStringLiteral("accepted name is not a bare file name"));
    for (const QChar c : name) {
        // A NUL cuts the name where the file system reads it; no control character names a file.
        if (c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() <= 0x9F))
            return fail(QStringLiteral("file push name holds control character %1").arg(c.unicode()));
    }
    QString again;
    const QByteArray header = CCommandFrame::headerBytes(CMessages::filePushHeader(name));
    if (!CMessages::parseFilePush(CCommandFrame::splitHeader(header), &again) || again != name)
        return fail(QStringLiteral("file push name does not survive a build and parse"));
    return QString();
}

QString CFuzzEntries::changeLog(const QByteArray &data)
{
    clearStore(withLocks(storeNames()));
    const QString file = kUuid + QStringLiteral(".xml");
    const QByteArray fixture = fixtureInventory();
    put(file, fixture);
    put(QStringLiteral("list.xml"), fixtureList());
    const QString text = textOf(data);

    QDomDocument before;
    parsesXml(fixture, &before);
    Inventory model = inventoryOf(before);

    int result;
    {
        CPcConfig pc(kUuid);
        if (pc.open() != 1)
            return fail(QStringLiteral("fixture inventory not opened"));
        result = pc.applyChange(text);
    }
    const QByteArray after = get(file);
    QDomDocument doc;
    if (!parsesXml(after, &doc))
        return fail(QStringLiteral("inventory file no longer parses after a change notice"));
    if (!parsesXml(get(QStringLiteral("list.xml"))))
        return fail(QStringLiteral("list.xml no longer parses after a change notice"));
    if (const QString stray = strayFiles(withLocks({file, QStringLiteral("list.xml")})); !stray.isEmpty())
        return fail(stray);
    if (result != 0) {
        if (result != -1)
            return fail(QStringLiteral("change result %1").arg(result));
        if (after != fixture)
            return fail(QStringLiteral("failed change notice altered the file"));
        return QString();
    }

    // The notice's effect, item by item, on the fixture's classes.
    const QStringList items = text.split(QLatin1Char('^'));
    for (int i = 1; i < items.size(); ++i) {
        const QStringList f = items.at(i).split(QLatin1Char('$'));
        if (f.size() < 3)
            continue;
        const QString cls = classFor(before, f.at(0));
        if (cls.isEmpty())
            continue;
        // Rows are stored without the characters a file cannot hold.
        const QString row = CXmlFile::validText(f.at(2));
        if (f.at(1) == QLatin1String("add")) {
            model.contents[cls].append(row);
            ++model.records[cls];
        } else if (f.at(1) == QLatin1String("remove")) {
            model.contents[cls].removeOne(row);
            ++model.records[cls];
        }
    }
    const Inventory stored = inventoryOf(doc);
    for (auto it = model.contents.cbegin(); it != model.contents.cend(); ++it) {
        QStringList expected;
        for (const QString &row : it.value())
            expected.append(asRead(row));
        if (stored.contents.value(it.key()) != expected)
            return fail(QStringLiteral("class %1 holds other rows than the notice gives").arg(it.key()));
        if (stored.records.value(it.key()) != model.records.value(it.key()))
            return fail(QStringLiteral("class %1 holds %2 records, %3 expected")
                            .arg(it.key())
                            .arg(stored.records.value(it.key()))
                            .arg(model.records.value(it.key())));
    }
    return QString();
}

QString CFuzzEntries::templateFill(const QByteArray &data)
{
    clearStore(withLocks(storeNames()));
    const QString file = kUuid + QStringLiteral(".xml");
    put(QStringLiteral("configtempl.xml"), shippedTemplate());
    put(QStringLiteral("list.xml"), fixtureList());
    const QString answer = textOf(data);

    int result;
    {
        CPcConfig pc(kUuid);
        if (pc.open() != 1)
            return fail(QStringLiteral("new inventory file not opened"));
        result = pc.createFromTemplate(answer);
    }
    if (result != 0)
        return fail(QStringLiteral("template fill failed (%1)").arg(result));
    QDomDocument doc;
    if (!parsesXml(get(file), &doc))
        return fail(QStringLiteral("filled inventory file does not parse"));
    QDomDocument templ;
    parsesXml(shippedTemplate(), &templ);
    Inventory model = inventoryOf(templ);
    const QStringList blocks = answer.split(QLatin1Char('^'));
    for (int i = 1; i < blocks.size(); ++i) {
        const QStringList f = blocks.at(i).split(QLatin1Char(':'));
        if (f.size() < 2)
            continue;
        const QString cls = classFor(templ, f.at(0));
        if (!cls.isEmpty())
            for (const QString &row : CXmlFile::validText(f.at(1)).split(QLatin1Char('$'))) {
                if (!row.isEmpty()) // a row empty once filtered makes no content element
                    model.contents[cls].append(asRead(row));
            }
    }
    const Inventory stored = inventoryOf(doc);
    if (stored.contents != model.contents)
        return fail(QStringLiteral("filled inventory holds other rows than the answer gives"));

    // The server's road: the identity answer names the file through its UUID.
    CMessages::IdentityAnswer parsed;
    if (CMessages::parseIdentityAnswer(answer, &parsed)) {
        CSet list;
        list.openList();
        const int made = list.createPCFile(parsed.uuid, answer);
        const QString target = appPath(parsed.uuid + QStringLiteral(".xml"));
        // The client list entry the server makes from the same answer.
        if (CStorePath::isSafeUuid(parsed.uuid)) {
            list.addPC(parsed.uuid, parsed.hostLabel, QStringLiteral("10.0.0.5"), parsed.version, parsed.platform);
            list.setNotice(parsed.uuid, true);
            if (!parsesXml(get(QStringLiteral("list.xml"))))
                return fail(QStringLiteral("list.xml no longer parses after adding a client from an answer"));
        }
        if (!CStorePath::isSafeUuid(parsed.uuid)) {
            if (made != -1)
                return fail(QStringLiteral("inventory file made for an unsafe identity"));
        } else if (made == 0 && !parsesXml(get(parsed.uuid + QStringLiteral(".xml")))) {
            return fail(QStringLiteral("inventory file made from an answer does not parse"));
        }
        QStringList allowed = withLocks({file, QStringLiteral("configtempl.xml"), QStringLiteral("list.xml")});
        if (CStorePath::isSafeUuid(parsed.uuid))
            allowed += withLocks({parsed.uuid + QStringLiteral(".xml")});
        if (const QString stray = strayFiles(allowed); !stray.isEmpty())
            return fail(stray);
        if (!CStorePath::isSafeUuid(parsed.uuid) && QFileInfo::exists(target)
            && QFileInfo(target).absolutePath() != QFileInfo(appPath(file)).absolutePath())
            return fail(QStringLiteral("a file was written outside the application directory: %1").arg(target));
        if (CStorePath::isSafeUuid(parsed.uuid))
            clearStore(withLocks({parsed.uuid + QStringLiteral(".xml")}));
    } else if (const QString stray
               = strayFiles(withLocks({file, QStringLiteral("configtempl.xml"), QStringLiteral("list.xml")}));
               !stray.isEmpty()) {
        return fail(stray);
    }
    return QString();
}

QString CFuzzEntries::listXml(const QByteArray &data)
{
    clearStore(withLocks(storeNames()));
    put(QStringLiteral("list.xml"), data);
    const bool parses = parsesXml(data);
    {
        CSet list;
        list.openList();
        std::list<PCEntry> pcs;
        QList<FolderEntry> folders;
        std::list<std::map<std::string, std::string>> folderList;
        list.getPCList(pcs);
        list.getFolders(folders);
        list.getFolderList(folderList);
        list.findPC(kUuid);
        list.addPC(kUuid, QStringLiteral("host"), QStringLiteral("10.0.0.7"));
        list.setNotice(kUuid, true);
    }
    const QByteArray after = get(QStringLiteral("list.xml"));
    if (!data.isEmpty() && !parses && after != data)
        return fail(QStringLiteral("a list.xml that does not parse was replaced"));
    if (keepsReadable(data) && !parsesXml(after))
        return fail(QStringLiteral("list.xml no longer parses after a change"));
    return strayFiles(withLocks({QStringLiteral("list.xml")}));
}

QString CFuzzEntries::inventoryXml(const QByteArray &data)
{
    clearStore(withLocks(storeNames()));
    const QString file = kUuid + QStringLiteral(".xml");
    put(file, data);
    put(QStringLiteral("list.xml"), fixtureList());
    const bool parses = parsesXml(data);
    {
        CPcConfig pc(kUuid);
        if (pc.openReadOnly() != 1)
            return fail(QStringLiteral("inventory file not opened"));
        QStringList contents, changes, rows;
        QMap<QString, QStringList> log;
        QMap<QString, QString> digests;
        QString row;
        pc.getSummary(contents, changes);
        pc.getContents(QStringLiteral("CPU"), rows);
        pc.getChangeLog(log);
        pc.getDigests(digests);
        pc.getContent(QStringLiteral("Software"), row);
    }
    {
        CPcConfig pc(kUuid);
        pc.open();
        pc.applyChange(kUuid + QStringLiteral("^CPU$add$Name=Fuzz\n"));
    }
    const QByteArray after = get(file);
    if (!data.isEmpty() && !parses && after != data)
        return fail(QStringLiteral("an inventory file that does not parse was replaced"));
    if (data.isEmpty() ? !(after.isEmpty() || parsesXml(after)) : keepsReadable(data) && !parsesXml(after))
        return fail(QStringLiteral("inventory file no longer parses after a change"));
    return strayFiles(withLocks({file, QStringLiteral("list.xml")}));
}

QString CFuzzEntries::digestReader(const QByteArray &data)
{
    clearStore(withLocks(storeNames()));
    const QString file = kUuid + QStringLiteral(".xml");
    put(file, data);
    QMap<QString, QString> expected;
    {
        CPcConfig pc(kUuid);
        if (pc.openReadOnly() != 1)
            return fail(QStringLiteral("inventory file not opened"));
        pc.getDigests(expected);
    }
    const auto differs = [&](const QMap<QString, QString> &got, const char *how) {
        if (got == expected)
            return QString();
        const auto listed = [](const QMap<QString, QString> &m) {
            QStringList parts;
            for (auto it = m.begin(); it != m.end(); ++it)
                parts << it.key() + QLatin1Char('=')
                        + QString::fromLatin1(it.value().toUtf8().left(32).toPercentEncoding());
            return parts.join(QLatin1Char(' '));
        };
        return fail(QStringLiteral("digest reader (%1) gives %2, the store %3 for %4")
                        .arg(QLatin1String(how), listed(got), listed(expected), show(data)));
    };
    QString failure = differs(CDigestReader::parse(data), "bytes");
    if (failure.isEmpty())
        failure = differs(CDigestReader::read(kUuid), "file");
    if (failure.isEmpty()) {
        CDigestCache cache(0);
        const QList<QMap<QString, QString>> all = CDigestReader::readAll({kUuid}, &cache);
        failure = all.size() == 1 ? differs(all.first(), "list") : fail(QStringLiteral("no summary for the list"));
    }
    if (failure.isEmpty() && get(file) != data)
        failure = fail(QStringLiteral("the digest reader changed the file"));
    if (failure.isEmpty())
        failure = strayFiles(withLocks({file}));
    return failure;
}

QString CFuzzEntries::uplistXml(const QByteArray &data)
{
    clearStore(withLocks(storeNames()));
    put(QStringLiteral("uplist.xml"), data);
    const bool parses = parsesXml(data);
    {
        CUpdateList list;
        QStringList windows, linuxFiles;
        QString version, setdate;
        list.getList(windows, linuxFiles, version, setdate);
        try {
            list.setList({QStringLiteral("a.bin")}, {QStringLiteral("b.bin")}, QStringLiteral("2.2"));
        } catch (const char *) {
            // no "uplist" root: refused as documented
        }
    }
    const QByteArray after = get(QStringLiteral("uplist.xml"));
    if (!data.isEmpty() && !parses && after != data)
        return fail(QStringLiteral("an uplist.xml that does not parse was replaced"));
    if (keepsReadable(data) && !parsesXml(after))
        return fail(QStringLiteral("uplist.xml no longer parses after a change"));
    return strayFiles(withLocks({QStringLiteral("uplist.xml")}));
}

QString CFuzzEntries::updateLogXml(const QByteArray &data)
{
    clearStore(withLocks(storeNames()));
    put(QStringLiteral("updateLog.xml"), data);
    const bool parses = parsesXml(data);
    {
        CUpdateLog log;
        log.init();
        QList<UpdateRecord> records;
        log.getRecords(records);
        log.addRecord(QStringLiteral("10.0.0.5"), QStringLiteral("2.1"), QStringLiteral("2.2"),
            {QStringLiteral("a.bin")}, QStringLiteral("windows"));
        log.save();
    }
    const QByteArray after = get(QStringLiteral("updateLog.xml"));
    if (!data.isEmpty() && !parses && after != data)
        return fail(QStringLiteral("an updateLog.xml that does not parse was replaced"));
    if (keepsReadable(data) && !parsesXml(after))
        return fail(QStringLiteral("updateLog.xml no longer parses after a change"));
    return strayFiles(withLocks({QStringLiteral("updateLog.xml")}));
}
