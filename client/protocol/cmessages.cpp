#include "cmessages.h"

#include <limits>

#include <QAbstractSocket>
#include <QHostAddress>
#include <QHostInfo>
#include <QNetworkInterface>

namespace {

QStringList split(const QString &text, QChar sep)
{
    return text.split(sep, Qt::KeepEmptyParts, Qt::CaseSensitive);
}

// The n-th field of text split at sep (empty parts kept), without splitting the rest. *found is
// false when text has fewer fields.
QStringView field(QStringView text, QChar sep, int n, bool *found)
{
    qsizetype from = 0;
    for (int i = 0; i < n; ++i) {
        const qsizetype at = text.indexOf(sep, from);
        if (at < 0) {
            *found = false;
            return QStringView();
        }
        from = at + 1;
    }
    *found = true;
    const qsizetype end = text.indexOf(sep, from);
    return text.mid(from, (end < 0 ? text.size() : end) - from);
}

} // namespace

QString CMessages::clientVersion()
{
    return QStringLiteral("2.1.20090713");
}

QString CMessages::platformCode()
{
#ifdef Q_OS_WIN
    return QStringLiteral("1");
#else
    // The server pushes the update files of the platform a client names; a Linux agent naming "1"
    // would receive the Windows client in place of its own.
    return QStringLiteral("2");
#endif
}

QString CMessages::clientAddress()
{
    QString address = QStringLiteral("127.0.0.1");
    const QList<QHostAddress> all = QNetworkInterface::allAddresses();
    for (const QHostAddress &a : all) {
        address = a.toString();
        if (a.protocol() != QAbstractSocket::IPv6Protocol && address != QLatin1String("127.0.0.1"))
            break;
    }
    return address;
}

QString CMessages::hostLabel()
{
    return QHostInfo::localHostName() + QLatin1Char('(') + clientAddress() + QLatin1Char(')');
}

QString CMessages::fileNameOf(const QString &path)
{
    qsizetype cut = path.lastIndexOf(QLatin1Char('/'));
    if (cut < 0)
        cut = path.lastIndexOf(QLatin1Char('\\'));
    return cut < 0 ? path : path.mid(cut + 1);
}

QString CMessages::buildUpdateCheck(const QString &version, const QString &platform, const QString &hostLabel)
{
    return QStringLiteral("update:") + version + QLatin1Char(':') + platform + QLatin1Char(':') + hostLabel;
}

bool CMessages::parseUpdateCheck(const QString &text, UpdateCheck *out)
{
    const QStringList f = split(text, QLatin1Char(':'));
    if (f.size() < 4 || f.at(0) != QLatin1String("update"))
        return false;
    if (out)
        *out = UpdateCheck {f.at(1), f.at(2), f.at(3)};
    return true;
}

QString CMessages::changeItem(const QString &classKey, const QString &type, const QString &row)
{
    return classKey + QLatin1Char('$') + type + QLatin1Char('$') + row;
}

QString CMessages::buildChangeNotice(const QString &uuid, const QStringList &items)
{
    QString text = QStringLiteral("changelog:") + uuid;
    for (const QString &item : items)
        text += QLatin1Char('^') + item;
    return text;
}

bool CMessages::parseChangeNotice(const QString &text, ChangeNotice *out)
{
    const QStringList f = split(text, QLatin1Char(':'));
    if (f.size() < 2 || f.at(0) != QLatin1String("changelog") || f.at(1).isEmpty())
        return false;
    if (!out)
        return true;
    ChangeNotice n;
    n.notice = f.at(1);
    QStringList parts = split(n.notice, QLatin1Char('^'));
    n.uuid = parts.takeFirst();
    n.items = parts;
    for (const QString &item : std::as_const(n.items)) {
        const QStringList p = split(item, QLatin1Char('$'));
        if (p.size() >= 3)
            n.parsedItems.append(ChangeItem {p.at(0), p.at(1), p.at(2)});
    }
    *out = n;
    return true;
}

QStringView CMessages::changeNoticeUuid(QStringView text, qsizetype longest)
{
    const QLatin1String keyword("changelog:");
    if (!text.startsWith(keyword))
        return QStringView();
    const QStringView rest = text.mid(keyword.size());
    for (qsizetype end = 0; end <= longest && end <= rest.size(); ++end) {
        if (end == rest.size() || rest.at(end) == u'^' || rest.at(end) == u':')
            return rest.left(end);
    }
    return QStringView();
}

QString CMessages::buildAck()
{
    return QStringLiteral("setChange:ok");
}

bool CMessages::isAck(const QString &text)
{
    const QStringList f = split(text, QLatin1Char(':'));
    return f.size() >= 2 && f.at(0) == QLatin1String("setChange") && f.at(1) == QLatin1String("ok");
}

QString CMessages::identityRequestHeader(const QString &consoleAddress)
{
    return QStringLiteral("getUUID:") + consoleAddress;
}

bool CMessages::parseIdentityRequest(const QStringList &fields, QString *consoleAddress)
{
    if (fields.size() < 2 || fields.at(0) != QLatin1String("getUUID"))
        return false;
    if (consoleAddress)
        *consoleAddress = fields.at(1);
    return true;
}

QString CMessages::classBlock(const QString &classKey, const QStringList &rows)
{
    return QLatin1Char('^') + classKey + QLatin1Char(':') + rows.join(QLatin1Char('$'));
}

QString CMessages::buildIdentityAnswer(const QString &uuid, const QString &hostLabel, const QString &version,
    const QString &platform, const QList<ClassBlock> &classes)
{
    QString text = QStringLiteral("UUID:") + uuid + QLatin1Char('|') + hostLabel + QLatin1Char('|') + version
        + QLatin1Char('-') + platform;
    for (const ClassBlock &block : classes)
        text += classBlock(block.classKey, block.rows);
    return text;
}

bool CMessages::parseIdentity(QStringView text, IdentityAnswer *out, int *fields)
{
    const qsizetype caret = text.indexOf(u'^');
    const QStringView head = caret < 0 ? text : text.left(caret);
    bool found = false;
    if (field(head, u':', 0, &found) != u"UUID")
        return false;
    const QStringView identity = field(head, u':', 1, &found);
    if (!found)
        return false;
    if (fields)
        *fields = int(qMin<qsizetype>(identity.count(u'|') + 1, std::numeric_limits<int>::max()));
    if (!out)
        return true;
    IdentityAnswer a;
    a.uuid = field(identity, u'|', 0, &found).toString();
    a.hostLabel = field(identity, u'|', 1, &found).toString();
    const QStringView versionPart = field(identity, u'|', 2, &found);
    a.versionPart = versionPart.toString();
    bool second = false;
    bool beyond = false;
    const QStringView version = field(versionPart, u'-', 0, &found);
    const QStringView platform = field(versionPart, u'-', 1, &second);
    field(versionPart, u'-', 2, &beyond);
    if (second && !beyond) {
        a.version = version.toString();
        a.platform = platform.toString();
    } else {
        a.version = QStringLiteral("unknown");
        a.platform = QStringLiteral("5");
    }
    *out = a;
    return true;
}

bool CMessages::parseIdentityAnswer(const QString &text, IdentityAnswer *out)
{
    IdentityAnswer a;
    if (!parseIdentity(text, out ? &a : nullptr))
        return false;
    if (!out)
        return true;
    QStringList parts = split(text, QLatin1Char('^'));
    parts.removeFirst();
    for (const QString &part : std::as_const(parts)) {
        const QStringList block = split(part, QLatin1Char(':'));
        a.classes.append(ClassBlock {block.at(0), split(block.value(1), QLatin1Char('$'))});
    }
    *out = a;
    return true;
}

QString CMessages::filePushHeader(const QString &fileName)
{
    return QStringLiteral("SWAPLETFILE:") + fileName + QLatin1Char(':');
}

bool CMessages::parseFilePush(const QStringList &fields, QString *fileName)
{
    if (fields.size() < 2 || fields.at(0) != QLatin1String("SWAPLETFILE"))
        return false;
    const QString name = fields.at(1);
    if (!isSafeFileName(name))
        return false;
    if (fileName)
        *fileName = name;
    return true;
}

bool CMessages::isSafeFileName(const QString &name)
{
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    for (const QChar c : name) {
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c.category() == QChar::Other_Control)
            return false;
    }
    return true;
}

QString CMessages::buildFileList(const QStringList &fileNames)
{
    return QStringLiteral("SWAPLETLIST:") + fileNames.join(QLatin1Char(';'));
}

bool CMessages::parseFileList(const QString &text, QStringList *fileNames)
{
    const qsizetype colon = text.indexOf(QLatin1Char(':'));
    if (colon < 0 || text.left(colon) != QLatin1String("SWAPLETLIST"))
        return false;
    if (fileNames) {
        const QString rest = text.mid(colon + 1);
        *fileNames = rest.isEmpty() ? QStringList() : split(rest, QLatin1Char(';'));
    }
    return true;
}
