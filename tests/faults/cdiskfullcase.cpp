#include "cdiskfullcase.h"

#include "cpcconfig.h"
#include "cset.h"
#include "cupdatelist.h"
#include "cupdatelog.h"

#include <QCoreApplication>
#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

const QString kUuid = QStringLiteral("{0a1b2c3d-4e5f-6071-8293-a4b5c6d7e8f9}");

QString appPath(const QString &name)
{
    return QCoreApplication::applicationDirPath() + QLatin1Char('/') + name;
}

QByteArray readAll(const QString &name)
{
    QFile f(appPath(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeAll(const QString &name, const QByteArray &data)
{
    QFile f(appPath(name));
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(data) == data.size() && f.flush();
}

// Files large enough that a rewrite needs more than one page.
QByteArray inventory()
{
    QByteArray rows;
    for (int i = 0; i < 120; ++i)
        rows += "        <content digest=\"Package " + QByteArray::number(i) + "\">Caption=Package "
            + QByteArray::number(i) + "\nVersion=1.0." + QByteArray::number(i) + "\n</content>\n";
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<pcconfig>\n    <CPU/>\n    <Software>\n" + rows
        + "    </Software>\n</pcconfig>\n";
}

QByteArray clientList()
{
    QByteArray pcs;
    for (int i = 0; i < 60; ++i)
        pcs += "    <pc UUID=\"{" + QByteArray::number(10000000 + i)
            + "-0000-0000-0000-000000000000}\" notice=\"no\">\n"
              "        <name>host"
            + QByteArray::number(i) + "</name>\n        <ip>10.0.0." + QByteArray::number(i) + "</ip>\n    </pc>\n";
    pcs += "    <pc UUID=\"" + kUuid.toLatin1() + "\" notice=\"no\">\n        <name>me</name>\n    </pc>\n";
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<pclist>\n" + pcs + "</pclist>\n";
}

QByteArray updateLog()
{
    QByteArray records;
    for (int i = 0; i < 60; ++i)
        records += "    <record>\n        <ip>10.0.0." + QByteArray::number(i)
            + "</ip>\n        <type>windows</type>\n        <oldVersion>2.1</oldVersion>\n"
              "        <newVersion>2.2</newVersion>\n        <time>May 01 2026 10:00:00</time>\n"
              "        <files>\n            <file>BramixClient.exe</file>\n        </files>\n    </record>\n";
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<log>\n" + records + "</log>\n";
}

QByteArray updateList()
{
    QByteArray files;
    for (int i = 0; i < 150; ++i)
        files += "        <file>C:/updates/part" + QByteArray::number(i) + ".bin</file>\n";
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<uplist version=\"2.1\">\n    <windows>\n" + files
        + "    </windows>\n    <linux/>\n</uplist>\n";
}

QByteArray templ()
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<pcconfig>\n    <CPU/>\n    <Software/>\n</pcconfig>\n";
}

// Writes the filler until the file system refuses; with room "page", gives one page back.
bool fill(const QString &room)
{
    const QByteArray path = QFile::encodeName(appPath(QStringLiteral("filler")));
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    static char block[4096];
    off_t size = 0;
    for (;;) {
        const ssize_t n = ::write(fd, block, sizeof block);
        if (n <= 0)
            break;
        size += n;
    }
    if (room == QLatin1String("page") && size >= off_t(sizeof block))
        size -= off_t(sizeof block), ::ftruncate(fd, size);
    ::close(fd);
    return true;
}

// The save under test: what the store returns, 0 meaning success.
int save(const QString &operation)
{
    if (operation == QLatin1String("notice")) {
        CPcConfig pc(kUuid);
        if (pc.open() != 1)
            return -100;
        QString text = kUuid;
        for (int i = 0; i < 40; ++i)
            text += QStringLiteral("^Software$add$Caption=New package %1\nVersion=2.0\n").arg(i);
        return pc.applyChange(text);
    }
    if (operation == QLatin1String("template")) {
        CPcConfig pc(kUuid);
        if (pc.open() != 1)
            return -100;
        QString answer = QStringLiteral("UUID:") + kUuid + QStringLiteral("|me(10.0.0.5)|2.1.20090713-1^Software:");
        QStringList rows;
        for (int i = 0; i < 200; ++i)
            rows.append(QStringLiteral("Caption=Package %1\nVersion=3.0\n").arg(i));
        return pc.createFromTemplate(answer + rows.join(QLatin1Char('$')));
    }
    if (operation == QLatin1String("addpc")) {
        CSet list;
        list.openList();
        return list.addPC(QStringLiteral("{99999999-0000-0000-0000-000000000000}"), QStringLiteral("new host"),
            QStringLiteral("10.0.1.1"), QStringLiteral("2.1.20090713"), QStringLiteral("1"));
    }
    if (operation == QLatin1String("updatelog")) {
        CUpdateLog log;
        log.init();
        for (int i = 0; i < 10; ++i)
            log.addRecord(QStringLiteral("10.0.2.%1").arg(i), QStringLiteral("2.1"), QStringLiteral("2.2"),
                {QStringLiteral("BramixClient.exe")}, QStringLiteral("windows"));
        return log.save();
    }
    if (operation == QLatin1String("uplist")) {
        CUpdateList list;
        QStringList files;
        for (int i = 0; i < 200; ++i)
            files.append(QStringLiteral("C:/updates/next%1.bin").arg(i));
        return list.setList(files, {QStringLiteral("BramixClient")}, QStringLiteral("2.3"));
    }
    return -200;
}

QString fileOf(const QString &operation)
{
    if (operation == QLatin1String("addpc"))
        return QStringLiteral("list.xml");
    if (operation == QLatin1String("updatelog"))
        return QStringLiteral("updateLog.xml");
    if (operation == QLatin1String("uplist"))
        return QStringLiteral("uplist.xml");
    return kUuid + QStringLiteral(".xml");
}

bool parses(const QByteArray &bytes)
{
    QDomDocument doc;
    return bool(doc.setContent(bytes, true));
}

} // namespace

int CDiskFullCase::run(const QString &operation, const QString &room)
{
    const bool fixtures
        = writeAll(kUuid + QStringLiteral(".xml"), operation == QLatin1String("template") ? QByteArray() : inventory())
        && writeAll(QStringLiteral("list.xml"), clientList()) && writeAll(QStringLiteral("updateLog.xml"), updateLog())
        && writeAll(QStringLiteral("uplist.xml"), updateList()) && writeAll(QStringLiteral("configtempl.xml"), templ());
    if (!fixtures) {
        std::printf("RESULT setup=failed\n");
        return 1;
    }
    // The inventory of the template case starts empty: the fill must not leave a truncated file
    // either, nor one with only part of the template.
    const QString file = fileOf(operation);
    const QByteArray before = readAll(file);
    const QStringList filesBefore = QDir(QCoreApplication::applicationDirPath()).entryList(QDir::Files | QDir::Hidden);
    if (!fill(room)) {
        std::printf("RESULT setup=nofill\n");
        return 1;
    }
    const int rc = save(operation);
    const QByteArray after = readAll(file);
    QStringList stray;
    for (const QString &name : QDir(QCoreApplication::applicationDirPath()).entryList(QDir::Files | QDir::Hidden)) {
        if (!filesBefore.contains(name) && name != QLatin1String("filler") && !name.endsWith(QLatin1String(".lock")))
            stray.append(name);
    }

    // Space freed: the same save goes through.
    QFile::remove(appPath(QStringLiteral("filler")));
    const int rcFreed = save(operation);
    const QByteArray freed = readAll(file);

    std::printf("RESULT rc=%d unchanged=%d parses=%d stray=%s rcfreed=%d changed=%d freedparses=%d size=%lld\n", rc,
        after == before ? 1 : 0, before.isEmpty() ? (after.isEmpty() ? 1 : 0) : (parses(after) ? 1 : 0),
        stray.isEmpty() ? "-" : qPrintable(stray.join(QLatin1Char(','))), rcFreed, freed != before ? 1 : 0,
        parses(freed) ? 1 : 0, qlonglong(before.size()));
    return 0;
}
