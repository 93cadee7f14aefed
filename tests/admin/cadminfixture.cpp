#include "cadminfixture.h"

#include "cpcconfig.h"
#include "cset.h"
#include "cstoretestrun.h"

bool CAdminFixture::reset()
{
    CStoreTestRun::clear();
    return CStoreTestRun::installShipped(QStringLiteral("list.xml"))
        && CStoreTestRun::installShipped(QStringLiteral("configtempl.xml"));
}

bool CAdminFixture::addClient(const QString &uuid, const QString &name, const QString &ip, const QString &os,
    const QString &folder, const QString &notice, const QString &version)
{
    CSet set;
    if (set.openList() != 1 || set.addPC(uuid, name, ip, version, os) != 0)
        return false;
    if (!folder.isNull() && set.setPCFolder(uuid, folder) != 0)
        return false;
    if (!notice.isNull() && set.setNotice(uuid, notice == QLatin1String("yes")) != 0)
        return false;
    return true;
}

bool CAdminFixture::addFolder(const QString &name, const QString &value)
{
    CSet set;
    return set.openList() == 1 && set.addFolder(name, value) == 0;
}

bool CAdminFixture::addClientFile(
    const QString &uuid, const QList<QPair<QString, QStringList>> &classes, const QStringList &changes)
{
    QString answer = QStringLiteral("UUID:") + uuid + QStringLiteral("|host(198.51.100.1)|2.1.20090713-1");
    for (const auto &cls : classes)
        answer += QLatin1Char('^') + cls.first + QLatin1Char(':') + cls.second.join(QLatin1Char('$'));
    {
        CPcConfig config(uuid);
        if (config.open() != 1 || config.createFromTemplate(answer) != 0)
            return false;
    }
    if (changes.isEmpty())
        return true;
    CPcConfig config(uuid);
    return config.open() == 1 && config.applyChange(uuid + QLatin1Char('^') + changes.join(QLatin1Char('^'))) == 0;
}

QString CAdminFixture::row(const QStringList &lines)
{
    QString text;
    for (const QString &line : lines)
        text += line + QLatin1Char('\n');
    return text;
}
