#include "cbenchstore.h"

#include "cmessages.h"
#include "cpcconfig.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QUuid>

#include <cstdio>
#include <cstdlib>

#include <sys/wait.h>
#include <unistd.h>

QString CBenchStore::softwareRow(int i)
{
    return QStringLiteral("Caption=Contoso Application Suite %1 (x64) Update KB%2\n"
                          "Description=Contoso Application Suite %1 (x64) Update KB%2\n"
                          "IdentifyingNumber={%3}\n"
                          "InstallDate=20090612\n"
                          "InstallLocation=C\\Program Files\\Contoso\\Suite %1\\\n"
                          "InstallState=5\n"
                          "Name=Contoso Application Suite %1 (x64) Update KB%2\n"
                          "PackageCache=C\\Windows\\Installer\\%4.msi\n"
                          "SKUNumber=\n"
                          "Vendor=Contoso Software Corporation\n"
                          "Version=%5.%6.%7\n")
        .arg(i)
        .arg(900000 + i)
        .arg(QUuid::createUuidV5(QUuid(), QString::number(i)).toString(QUuid::WithoutBraces).toUpper())
        .arg(QString::number(0x1a2b3c + i, 16))
        .arg(i % 17)
        .arg(i % 100)
        .arg(i * 7 % 10000);
}

QString CBenchStore::identityAnswer(const QString &uuid, int software)
{
    QStringList softwareRows;
    for (int i = 0; i < software; ++i)
        softwareRows << softwareRow(i);
    const QList<CMessages::ClassBlock> classes = {
        {QStringLiteral("BIOS"), {QStringLiteral("Manufacturer=Phoenix\nName=Phoenix BIOS 6.00\nVersion=6.0\n")}},
        {QStringLiteral("BaseBoard"), {QStringLiteral("Manufacturer=ASUSTeK\nProduct=P5B\n")}},
        {QStringLiteral("CDROMDrive"), {QStringLiteral("Caption=HL-DT-ST DVDRAM GSA-H42N\n")}},
        {QStringLiteral("CPU"),
            {QStringLiteral("Manufacturer=GenuineIntel\nName=Intel(R) Core(TM)2 CPU 6600 @ 2.40GHz\n")}},
        {QStringLiteral("DesktopMonitor"), {QStringLiteral("Caption=Plug and Play Monitor\n")}},
        {QStringLiteral("DiskDrive"), {QStringLiteral("Caption=ST3250410AS\nSize=250056737280\n")}},
        {QStringLiteral("MemoryDevice"),
            {QStringLiteral("Capacity=1073741824\n"), QStringLiteral("Capacity=1073741824\n")}},
        {QStringLiteral("NetworkAdapter"),
            {QStringLiteral("Name=Intel(R) PRO/1000 PL\n"), QStringLiteral("Name=WAN Miniport (IP)\n")}},
        {QStringLiteral("OS"), {QStringLiteral("Caption=Microsoft Windows XP Professional\nVersion=5.1.2600\n")}},
        {QStringLiteral("Printer"), {QStringLiteral("Caption=HP LaserJet 4250 PCL6\n")}},
        {QStringLiteral("Software"), softwareRows},
        {QStringLiteral("SoundDevice"), {QStringLiteral("Caption=Realtek High Definition Audio\n")}},
        {QStringLiteral("VideoController"), {QStringLiteral("Name=NVIDIA GeForce 7600 GS\n")}},
    };
    return CMessages::buildIdentityAnswer(
        uuid, QStringLiteral("bench(127.0.0.1)"), QStringLiteral("2.1.20090713"), QStringLiteral("1"), classes);
}

bool CBenchStore::writeFile(const QString &path, const QByteArray &data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(data) == data.size();
}

QByteArray CBenchStore::readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

namespace {

// A change notice for one client: software added and removed, a printer and a disk swapped.
QString changeNotice(const QString &uuid, int changes)
{
    QString text = uuid;
    for (int k = 0; k < changes; ++k) {
        switch (k % 4) {
        case 0:
            text += QStringLiteral("^Software$add$") + CBenchStore::softwareRow(500000 + k);
            break;
        case 1:
            text += QStringLiteral("^Software$remove$") + CBenchStore::softwareRow(k);
            break;
        case 2:
            text += QStringLiteral("^Printer$add$Caption=HP LaserJet %1 PCL6\n").arg(4000 + k);
            break;
        default:
            text += QStringLiteral("^DiskDrive$add$Caption=ST3500%1AS\nSize=500107862016\n").arg(k);
            break;
        }
    }
    return text;
}

} // namespace

bool CBenchStore::build(const Options &o, QStringList &uuids)
{
    const QString dir = QCoreApplication::applicationDirPath();
    QFile::copy(dir + "/../configtempl.xml", dir + "/configtempl.xml");
    QByteArray list = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<pclist>\n";
    for (int i = 0; i < o.clients; ++i) {
        const QString uuid = QUuid::createUuid().toString();
        uuids.append(uuid);
        if (i % 100 == 0)
            list += QStringLiteral(
                "    <folder>\n        <name>Floor %1</name>\n        <value>%2</value>\n    </folder>\n")
                        .arg(i / 100)
                        .arg(QUuid::createUuid().toString())
                        .toUtf8();
        list += QStringLiteral("    <pc UUID=\"%1\"%6>\n        <name>PC-%2</name>\n        <ip>10.%3.%4.%5</ip>\n"
                               "        <version>2.1.20090713</version>\n        <os>1</os>\n    </pc>\n")
                    .arg(uuid)
                    .arg(i, 5, 10, QLatin1Char('0'))
                    .arg(i / 65536)
                    .arg(i / 256 % 256)
                    .arg(i % 256)
                    .arg(o.fresh ? QString() : QStringLiteral(" notice=\"no\""))
                    .toUtf8();
    }
    list += "</pclist>\n";
    if (!writeFile(dir + "/list.xml", list)) {
        std::fprintf(stderr, "cannot write list.xml\n");
        return false;
    }
    // One client filled through the store; the others start as the same content.
    {
        CPcConfig first(uuids.first());
        first.open();
        if (first.createFromTemplate(identityAnswer(uuids.first(), o.software)) != 0) {
            std::fprintf(stderr, "cannot fill from configtempl.xml\n");
            return false;
        }
    }
    if (o.changes > 0) {
        CPcConfig first(uuids.first());
        first.open();
        if (first.applyChange(changeNotice(uuids.first(), o.changes)) != 0) {
            std::fprintf(stderr, "cannot apply the change records\n");
            return false;
        }
    }
    const QString firstPath = dir + "/" + uuids.first() + ".xml";
    const QByteArray filled = readFile(firstPath);
    for (int i = 1; i < o.clients; ++i) {
        const QString path = dir + "/" + uuids.at(i) + ".xml";
        const bool ok = o.copies
            ? writeFile(path, filled)
            : ::link(QFile::encodeName(firstPath).constData(), QFile::encodeName(path).constData()) == 0;
        if (!ok) {
            std::fprintf(stderr, "cannot create %s\n", qPrintable(path));
            return false;
        }
    }
    return true;
}

int CBenchStore::relocate(char **argv, const char *marker)
{
    if (qEnvironmentVariableIsSet(marker))
        return -1;
    const QString self = QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
    QTemporaryDir dir;
    if (!dir.isValid())
        return 2;
    QDir().mkpath(dir.filePath("bin"));
    const QString copy = dir.filePath("bin/" + QFileInfo(self).fileName());
    if (!QFile::copy(self, copy)
        || !QFile::copy(QFileInfo(self).absolutePath() + "/configtempl.xml", dir.filePath("configtempl.xml"))) {
        std::fprintf(stderr, "cannot set up %s (configtempl.xml beside the program?)\n", qPrintable(dir.path()));
        return 2;
    }
    QFile::setPermissions(copy, QFile::permissions(copy) | QFileDevice::ExeOwner);
    const QByteArray program = QFile::encodeName(copy);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setenv(marker, "1", 1);
        argv[0] = const_cast<char *>(program.constData());
        ::execv(program.constData(), argv);
        ::_exit(127);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) { }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 3;
}
