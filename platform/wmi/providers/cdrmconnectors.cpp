#include "cdrmconnectors.h"

#include "cwmiprovider.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

#include <unistd.h>

QList<CDrmConnectors::Connector> CDrmConnectors::list(const CWmiProvider &provider)
{
    static const QRegularExpression pattern(QStringLiteral("^card(\\d+)-(.+)$"));
    QList<Connector> result;
    const QDir dir(provider.path(QStringLiteral("/sys/class/drm")));
    for (const QString &entry : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System)) {
        const QRegularExpressionMatch m = pattern.match(entry);
        if (!m.hasMatch())
            continue;
        Connector c;
        c.name = entry;
        c.card = m.captured(1).toInt();
        c.machineDir = QStringLiteral("/sys/class/drm/") + entry;
        c.connected
            = provider.readText(c.machineDir + QStringLiteral("/status")).trimmed() == QLatin1String("connected");
        result.append(c);
    }
    std::stable_sort(result.begin(), result.end(),
        [](const Connector &a, const Connector &b) { return a.card != b.card ? a.card < b.card : a.name < b.name; });
    return result;
}

namespace {

// Last component of a symbolic link's target; the link is read, not followed.
QString linkName(const CWmiProvider &provider, const QString &machinePath)
{
    const QByteArray link = QFile::encodeName(provider.path(machinePath));
    char target[4096];
    const ssize_t n = ::readlink(link.constData(), target, sizeof target - 1);
    if (n <= 0)
        return QString();
    return QFileInfo(QFile::decodeName(QByteArray(target, int(n)))).fileName();
}

} // namespace

QList<int> CDrmConnectors::cards(const CWmiProvider &provider)
{
    static const QRegularExpression pattern(QStringLiteral("^card(\\d+)$"));
    QList<int> result;
    const QDir dir(provider.path(QStringLiteral("/sys/class/drm")));
    for (const QString &entry : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System)) {
        const QRegularExpressionMatch m = pattern.match(entry);
        if (m.hasMatch())
            result.append(m.captured(1).toInt());
    }
    std::sort(result.begin(), result.end());
    return result;
}

QString CDrmConnectors::cardDriver(const CWmiProvider &provider, int card)
{
    return linkName(provider, QStringLiteral("/sys/class/drm/card%1/device/driver").arg(card));
}

QString CDrmConnectors::cardPciAddress(const CWmiProvider &provider, int card)
{
    return linkName(provider, QStringLiteral("/sys/class/drm/card%1/device").arg(card));
}

bool CDrmConnectors::firstMode(const CWmiProvider &provider, const Connector &connector, int *width, int *height)
{
    static const QRegularExpression mode(QStringLiteral("^(\\d+)x(\\d+)"));
    const QString modes = provider.readText(connector.machineDir + QStringLiteral("/modes"));
    const QRegularExpressionMatch m = mode.match(modes.section(QLatin1Char('\n'), 0, 0).trimmed());
    if (!m.hasMatch())
        return false;
    *width = m.captured(1).toInt();
    *height = m.captured(2).toInt();
    return *width > 0 && *height > 0;
}
