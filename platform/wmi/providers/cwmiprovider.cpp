#include "cwmiprovider.h"

#include <QDir>
#include <QFile>

CWmiProvider::CWmiProvider(const QString &root)
    : m_root(root.isEmpty() ? defaultRoot() : root)
{ }

CWmiProvider::~CWmiProvider() = default;

QString CWmiProvider::defaultRoot()
{
    const QString env = qEnvironmentVariable("BRAMIX_WMI_ROOT");
    return env.isEmpty() ? QStringLiteral("/") : env;
}

QString CWmiProvider::path(const QString &machinePath) const
{
    if (m_root == QLatin1String("/"))
        return machinePath;
    return QDir::cleanPath(m_root + QLatin1Char('/') + machinePath);
}

QByteArray CWmiProvider::readBytes(const QString &machinePath) const
{
    QFile f(path(machinePath));
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    // Files under /proc and /sys report size 0: read until the end instead of trusting size().
    return f.readAll();
}

QString CWmiProvider::readText(const QString &machinePath) const
{
    QFile f(path(machinePath));
    if (!f.open(QIODevice::ReadOnly))
        return QString();
    QString text = QString::fromUtf8(f.readAll());
    while (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    return text.isNull() ? QString(QLatin1String("")) : text;
}
