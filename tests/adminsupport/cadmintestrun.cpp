#include "cadmintestrun.h"

#include "cset.h"
#include "ctestdialogs.h"
#include "ctestenvironment.h"

#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QSettings>

namespace {

QString relocatedDir()
{
    const QString self = QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
    return QFileInfo(self).absolutePath();
}

} // namespace

void CAdminTestRun::prepare()
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(settingsDir()));
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir());
}

void CAdminTestRun::setUp(QApplication &app)
{
    app.setOrganizationName(QStringLiteral("Orvelle"));
    app.setApplicationName(QStringLiteral("Bramix"));
    QDir::setCurrent(QCoreApplication::applicationDirPath());
    dialogs();
}

CTestDialogs &CAdminTestRun::dialogs()
{
    static CTestDialogs stand;
    return stand;
}

QString CAdminTestRun::settingsDir()
{
    return relocatedDir() + QStringLiteral("/settings");
}

QVariant CAdminTestRun::storedLang()
{
    QSettings settings;
    settings.sync();
    return settings.value(QStringLiteral("Lang"));
}

void CAdminTestRun::clearSettings()
{
    QSettings settings;
    settings.clear();
    settings.sync();
}

bool CAdminTestRun::installTranslation(const QString &code)
{
    const QString name = QStringLiteral("BramixAdmin_") + code + QStringLiteral(".qm");
    QFile::remove(QDir::current().filePath(name));
    return QFile::copy(CTestEnvironment::stagedFile(name), QDir::current().filePath(name));
}

void CAdminTestRun::removeTranslation(const QString &code)
{
    QFile::remove(QDir::current().filePath(QStringLiteral("BramixAdmin_") + code + QStringLiteral(".qm")));
}

QStringList CAdminTestRun::rowTexts(const QListWidget *list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out.append(list->item(i)->text());
    return out;
}

QStringList CAdminTestRun::listedUuids()
{
    CSet list;
    list.openList();
    std::list<PCEntry> entries;
    list.getPCList(entries);
    QStringList out;
    for (const PCEntry &e : entries)
        out.append(QString::fromStdString(e.at("UUID")));
    out.sort();
    return out;
}
