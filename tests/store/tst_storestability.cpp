#include "cpcconfig.h"
#include "cset.h"
#include "cstoretestrun.h"

#include <QCoreApplication>
#include <QProcess>
#include <QtTest>

namespace {

const QString kList = QStringLiteral("list.xml");

// A list whose elements carry their attributes in an order of their own.
QByteArray listWithOrder()
{
    QByteArray out = "<?xml version='1.0' encoding='UTF-8'?>\n<pclist>\n";
    for (int i = 0; i < 40; ++i) {
        const QByteArray uuid = "{" + QByteArray::number(10000000 + i) + "-0000-4000-8000-000000000000}";
        const QByteArray notice = i % 2 ? "yes" : "no";
        if (i % 3 == 0)
            out += "    <pc folder=\"{f1}\" UUID=\"" + uuid + "\" notice=\"" + notice + "\">\n";
        else if (i % 3 == 1)
            out += "    <pc UUID=\"" + uuid + "\" notice=\"" + notice + "\" folder=\"0\">\n";
        else
            out += "    <pc notice=\"" + notice + "\" folder=\"{f1}\" UUID=\"" + uuid + "\">\n";
        out += "        <name>pc" + QByteArray::number(i) + "</name>\n        <ip>192.0.2." + QByteArray::number(i + 1)
            + "</ip>\n        <version>2.1</version>\n        <os>1</os>\n    </pc>\n";
    }
    out += "    <folder>\n        <name>Lab</name>\n        <value>{f1}</value>\n    </folder>\n</pclist>\n";
    return out;
}

QString uuidOf(int i)
{
    return QStringLiteral("{%1-0000-4000-8000-000000000000}").arg(10000000 + i);
}

QList<QByteArray> changedLines(const QByteArray &a, const QByteArray &b)
{
    const QList<QByteArray> x = a.split('\n');
    const QList<QByteArray> y = b.split('\n');
    QList<QByteArray> out;
    if (x.size() != y.size())
        return {"line count " + QByteArray::number(x.size()) + " to " + QByteArray::number(y.size())};
    for (int i = 0; i < x.size(); ++i) {
        if (x.at(i) != y.at(i))
            out.append(y.at(i));
    }
    return out;
}

} // namespace

class TestStoreStability : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        CStoreTestRun::clear();
        QVERIFY(CStoreTestRun::installShipped("configtempl.xml"));
    }

    // Processes with different hash seeds rewrite the same list to the same bytes, and a flip
    // changes the one line that holds it.
    void sameBytesWhateverTheSeed()
    {
        const QByteArray start = listWithOrder();
        QByteArray first;
        for (const char *seed : {"0", "", "", "", ""}) {
            QVERIFY(CStoreTestRun::write(kList, start));
            QProcess helper;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            if (*seed)
                env.insert(QStringLiteral("QT_HASH_SEED"), QString::fromLatin1(seed));
            else
                env.remove(QStringLiteral("QT_HASH_SEED"));
            helper.setProcessEnvironment(env);
            helper.start(CStoreTestRun::path(QStringLiteral("store_helper")),
                {QStringLiteral("flip"), uuidOf(7), QStringLiteral("no")});
            QVERIFY(helper.waitForFinished(30000));
            QCOMPARE(helper.exitCode(), 0);
            const QByteArray written = CStoreTestRun::read(kList);
            if (first.isEmpty())
                first = written;
            QCOMPARE(written, first);
        }
        const QList<QByteArray> changed = changedLines(start, first);
        QCOMPARE(changed.size(), 1);
        QCOMPARE(changed.at(0),
            QByteArray("    <pc UUID=\"{10000007-0000-4000-8000-000000000000}\" notice=\"no\" folder=\"0\">"));
    }

    // Each change of the list leaves every other line as it was.
    void changesTouchTheirLinesOnly_data()
    {
        QTest::addColumn<int>("op");
        QTest::addColumn<int>("lines");
        QTest::newRow("folder of a client") << 0 << 1;
        QTest::newRow("flag of a client") << 1 << 1;
        QTest::newRow("flag of a client without one") << 2 << 1;
    }
    void changesTouchTheirLinesOnly()
    {
        QFETCH(int, op);
        QFETCH(int, lines);
        QByteArray start = listWithOrder();
        start.replace("    <pc UUID=\"{10000004-0000-4000-8000-000000000000}\" notice=\"no\" folder=\"0\">",
            "    <pc UUID=\"{10000004-0000-4000-8000-000000000000}\" folder=\"0\">");
        QVERIFY(CStoreTestRun::write(kList, start));
        CSet set;
        set.openList();
        if (op == 0)
            QCOMPARE(set.setPCFolder(uuidOf(3), QStringLiteral("0")), 0);
        else if (op == 1)
            QCOMPARE(set.setNotice(uuidOf(5), false), 0);
        else
            QCOMPARE(set.setNotice(uuidOf(4), false), 0);
        const QList<QByteArray> changed = changedLines(start, CStoreTestRun::read(kList));
        QCOMPARE(changed.size(), lines);
        if (op == 2) // a new attribute takes its fixed place
            QCOMPARE(changed.at(0),
                QByteArray("    <pc notice=\"no\" UUID=\"{10000004-0000-4000-8000-000000000000}\" folder=\"0\">"));
    }

    // The process keeps the tree it wrote for its next change: that change writes what a process
    // that reads the file afresh writes, blank texts of new clients included.
    void nextChangeAsAFreshProcess()
    {
        QVERIFY(CStoreTestRun::installShipped("list.xml"));
        const QString blank = QStringLiteral("{30000000-0000-4000-8000-000000000000}");
        const QString other = QStringLiteral("{30000001-0000-4000-8000-000000000000}");
        {
            CSet set;
            set.openList();
            QCOMPARE(set.addPC(other, QStringLiteral("pc"), QStringLiteral("192.0.2.1"), QStringLiteral("2.1"),
                         QStringLiteral("1")),
                0);
            QCOMPARE(set.addPC(blank, QString(), QStringLiteral(" "), QStringLiteral("\t"), QStringLiteral("1")), 0);
        }
        const QByteArray added = CStoreTestRun::read(kList);
        QVERIFY2(added.contains("<name></name>") && added.contains("<ip> </ip>"), added.constData());
        {
            CSet set;
            set.openList();
            QCOMPARE(set.setNotice(other, false), 0);
        }
        const QByteArray here = CStoreTestRun::read(kList);
        QVERIFY(CStoreTestRun::write(kList, added));
        QProcess helper;
        helper.start(
            CStoreTestRun::path(QStringLiteral("store_helper")), {QStringLiteral("flip"), other, QStringLiteral("no")});
        QVERIFY(helper.waitForFinished(30000));
        QCOMPARE(helper.exitCode(), 0);
        QCOMPARE(here, CStoreTestRun::read(kList));
    }

    // A notice rewrites the client file with the attributes of untouched elements as they were.
    void clientFileKeepsItsOrder()
    {
        const QString uuid = QStringLiteral("{20000000-0000-4000-8000-000000000000}");
        const QByteArray cpu
            = "    <CPU>\n        <content digest=\"x\">Name=x\n</content>\n        <changelog>\n"
              "            <record type=\"add\" time=\"May 01 2024 10:00:00\" notice=\"no\" digest=\"x\">"
              "Name=x\n</record>\n        </changelog>\n    </CPU>\n";
        const QByteArray start
            = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<pcconfig>\n" + cpu + "    <OS/>\n</pcconfig>\n";
        QVERIFY(CStoreTestRun::write(uuid + QStringLiteral(".xml"), start));
        QVERIFY(CStoreTestRun::installShipped("list.xml"));
        CPcConfig cfg(uuid);
        QCOMPARE(cfg.open(), 1);
        QCOMPARE(cfg.applyChange(uuid + QStringLiteral("^OS$add$Caption=Debian\n")), 0);
        const QByteArray after = CStoreTestRun::read(uuid + QStringLiteral(".xml"));
        QVERIFY2(after.contains(cpu), after.constData());
        QVERIFY2(after.contains("<record notice=\"no\" digest=\"Debian\" time=\""), after.constData());
    }
};

BRAMIX_STORE_TEST_MAIN(TestStoreStability, QStringLiteral("store_helper"))
#include "tst_storestability.moc"
