#include "cplatformstate.h"

#include <QDir>
#include <QStandardPaths>

#include <unistd.h>

QString CPlatformState::dir()
{
    QString root = qEnvironmentVariable("BRAMIX_PLATFORM_ROOT");
    if (root.isEmpty()) {
        if (::geteuid() == 0) {
            root = QStringLiteral("/var/lib/bramix-platform");
        } else {
            QString base = qEnvironmentVariable("XDG_STATE_HOME");
            if (base.isEmpty())
                base = QDir::homePath() + QStringLiteral("/.local/state");
            root = base + QStringLiteral("/bramix-platform");
        }
    }
    QDir().mkpath(root);
    return QDir::cleanPath(root);
}

QString CPlatformState::filePath(const QString &name)
{
    return dir() + QLatin1Char('/') + name;
}
