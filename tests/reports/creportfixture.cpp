#include "creportfixture.h"

#include "cpcconfig.h"
#include "cset.h"
#include "cstoretestrun.h"

QString CReportFixture::uuidOf(int index)
{
    return QStringLiteral("{00000000-0000-4000-8000-%1}").arg(index, 12, 10, QLatin1Char('0'));
}

bool CReportFixture::build(const QList<Client> &clients)
{
    CStoreTestRun::clear();
    if (!CStoreTestRun::installShipped(QStringLiteral("configtempl.xml"))
        || !CStoreTestRun::installShipped(QStringLiteral("list.xml")))
        return false;
    for (int i = 0; i < clients.size(); ++i) {
        const Client &c = clients.at(i);
        const QString uuid = uuidOf(i);
        {
            CSet list;
            list.openList();
            if (list.addPC(uuid, c.name, c.ip, QStringLiteral("2.1.20090713"), QStringLiteral("1")) != 0)
                return false;
        }
        if (!c.withFile)
            continue;
        CPcConfig config(uuid);
        if (config.open() != 1)
            return false;
        const QString answer = CMessages::buildIdentityAnswer(uuid, c.name + QLatin1Char('(') + c.ip + QLatin1Char(')'),
            QStringLiteral("2.1.20090713"), QStringLiteral("1"), c.classes);
        if (config.createFromTemplate(answer) != 0)
            return false;
    }
    return true;
}

QList<CReportFixture::Client> CReportFixture::searchClients()
{
    using B = CMessages::ClassBlock;
    const auto cpu = [](const QString &name) { return B {QStringLiteral("CPU"), {"Name=" + name + "\n"}}; };
    const auto memory = [](const QStringList &capacities) {
        B b {QStringLiteral("MemoryDevice"), {}};
        for (const QString &c : capacities)
            b.rows << "Capacity=" + c + "\n";
        return b;
    };
    const auto disk = [](const QString &caption, const QString &size) {
        return B {QStringLiteral("DiskDrive"),
            {"Caption=" + caption + "\n" + (size.isEmpty() ? QString() : "Size=" + size + "\n")}};
    };
    QList<Client> out;
    // alpha: Intel 2400 MHz, first module 1024 M (then 512 M), 250 GB.
    out << Client {"alpha", "198.51.100.1",
        {cpu("Intel(R) Core(TM)2 CPU 6600 @ 2.40GHz"), memory({"1073741824", "536870912"}),
            disk("ST3250410AS", "250056737280")}};
    // bravo: AMD 800 MHz, 512 M, 80 GB.
    out << Client {
        "bravo", "198.51.100.2", {cpu("AMD Athlon 800MHz"), memory({"536870912"}), disk("WDC WD800", "80026361856")}};
    // charlie: other vendor, a blank before the unit (0), 2048 M, a disk without size (0).
    out << Client {
        "charlie", "198.51.100.3", {cpu("VIA Nehemiah 1.2 GHz"), memory({"2147483648"}), disk("Virtual Disk", QString())}};
    // delta: Intel, 800MHz early and 2.0GHz later (the decimal wins: 2000), "4096M" kept, 500 GB.
    out << Client {"delta", "198.51.100.4",
        {cpu("Intel Pentium 800MHz FSB 2.0GHz"), memory({"4096M"}), disk("ST3500", "500107862016")}};
    // echo: listed, no inventory file.
    Client echo {"echo", "198.51.100.5", {}};
    echo.withFile = false;
    out << echo;
    // foxtrot: AMD with a lower-case unit (2130), 256 M, 1000 GB; a name beyond Latin-1.
    out << Client {QString::fromUtf8("\xe7\xa0\x94\xe7\xa9\xb6-foxtrot"), "198.51.100.6",
        {cpu("AMD Sempron 2.13ghz"), memory({"268435456"}), disk("ST1000", "1000204886016")}};
    return out;
}
