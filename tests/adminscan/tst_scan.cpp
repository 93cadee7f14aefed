#include "cadmintestrun.h"
#include "cfakeagent.h"
#include "cnetnsguard.h"
#include "cset.h"
#include "ctestdialogs.h"
#include "qtm.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QtTest>

#include <memory>

// The console's scan from its "&Search" action, in the test namespace: every host of the test /24
// is probed; fake agents answer on some of them, the rest refuse at once.
class TestScan : public QObject
{
    Q_OBJECT
private:
    std::vector<std::unique_ptr<CFakeAgent>> m_agents;

    CFakeAgent *agent(const QString &host, const QString &uuid, CFakeAgent::Mode mode = CFakeAgent::Short,
        const QString &versionPart = "2.1.20090713-1")
    {
        CFakeAgent::Config config;
        config.mode = mode;
        config.uuid = uuid;
        // Named after its UUID's number, so one agent on two addresses has one name.
        config.name = "PC" + QString::number(uuid.mid(25, 12).toInt());
        config.versionPart = versionPart;
        m_agents.push_back(std::make_unique<CFakeAgent>(config));
        if (!m_agents.back()->listen(QHostAddress(host)))
            return nullptr;
        return m_agents.back().get();
    }

    static QString uuidOf(int n) { return QString("{00000000-0000-4000-8000-%1}").arg(n, 12, 10, QChar('0')); }

    static QWidget *scanFrame()
    {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (w->objectName() == "Frame")
                return w;
        }
        return nullptr;
    }

    static QStringList listed()
    {
        CSet list;
        list.openList();
        std::list<PCEntry> entries;
        list.getPCList(entries);
        QStringList out;
        for (const PCEntry &e : entries)
            out.append(QString::fromStdString(
                e.at("UUID") + " " + e.at("name") + " " + e.at("ip") + " " + e.at("version") + " " + e.at("os")));
        out.sort();
        return out;
    }

    static QString listedAt(const QString &uuid)
    {
        for (const QString &line : listed()) {
            if (line.startsWith(uuid))
                return line.section(' ', 2, 2);
        }
        return QString();
    }

    static bool scanDone(const qtm &w) { return w.m_scanStarted > 0 && w.m_scanFinished == w.m_scanStarted; }

private slots:
    void initTestCase()
    {
        BRAMIX_SCAN_GUARD();
        CDialogs::setInstance(&CAdminTestRun::dialogs());
    }

    void init()
    {
        // The guard again before every scan: nothing may have added an address meanwhile.
        QCOMPARE(CNetnsGuard::check(), QString());
        CStoreTestRun::clear();
        QVERIFY(CStoreTestRun::installShipped("list.xml"));
        QVERIFY(CStoreTestRun::installShipped("configtempl.xml"));
        CAdminTestRun::dialogs().reset();
    }

    void cleanup() { m_agents.clear(); }

    void scanListsEachClientOnce()
    {
        const QString own = CNetnsGuard::ownAddress();
        const QString net = own.section('.', 0, 2) + '.';
        QVERIFY(agent(own, uuidOf(1)));
        CFakeAgent *seven = agent(net + "7", uuidOf(7));
        QVERIFY(seven);
        QVERIFY(agent(net + "8", uuidOf(8), CFakeAgent::Extended, "2.1.20090713-2"));
        QVERIFY(agent(net + "9", uuidOf(9), CFakeAgent::Short, "2.1.20090713"));
        CFakeAgent *again = agent(net + "10", uuidOf(7)); // the agent of .7 on a second address
        QVERIFY(again);

        qtm w;
        w.init();
        w.ui.action_Open->trigger();
        QCOMPARE(w.m_scanStarted, 255);
        QWidget *frame = scanFrame();
        QVERIFY(frame && frame->isVisible());
        QVERIFY(frame->windowFlags() & Qt::FramelessWindowHint);
        QTRY_VERIFY_WITH_TIMEOUT(scanDone(w), 60000);
        QCOMPARE(w.m_scanFinished, 255);
        QCOMPARE(w.m_found, 4);
        QCOMPARE(frame->findChild<QLabel *>("m_ctrShowText")->text(), QString("255 scaned,found 4"));
        QCOMPARE(frame->findChild<QPushButton *>("m_ctrOK")->text(), QString("OK"));
        const QProgressBar *bar = frame->findChild<QProgressBar *>("m_ctrScanProgress");
        QCOMPARE(bar->maximum(), 10);
        QCOMPARE(bar->value(), 10);
        QCOMPARE(w.statusBar()->currentMessage(), QString("255 scaned,found 4"));

        QCOMPARE(listed(),
            QStringList({uuidOf(1) + " PC1 " + own + " 2.1.20090713 1",
                uuidOf(7) + " PC7 " + net + (listedAt(uuidOf(7)) == net + "10" ? "10" : "7") + " 2.1.20090713 1",
                uuidOf(8) + " PC8 " + net + "8 2.1.20090713 2", uuidOf(9) + " PC9 " + net + "9 unknown 5"}));
        for (int n : {1, 7, 8, 9}) {
            QDomDocument doc;
            QVERIFY2(CStoreTestRun::parses(uuidOf(n) + ".xml", &doc), qPrintable(uuidOf(n)));
            QCOMPARE(doc.documentElement().firstChildElement("OS").firstChildElement("content").attribute("digest"),
                QString("Fake OS 7"));
        }
        QCOMPARE(seven->identityRequests() + again->identityRequests(), 2);

        // The tree: one top-level item per new client, with its tag, picture and thirteen classes.
        QStringList tags;
        for (int i = 0; i < w.ui.treeWidget->topLevelItemCount(); ++i) {
            const QTreeWidgetItem *item = w.ui.treeWidget->topLevelItem(i);
            tags.append(item->text(0) + " " + item->data(0, Qt::UserRole).toString());
            QCOMPARE(item->childCount(), 13);
            QCOMPARE(item->child(0)->data(0, Qt::UserRole).toString(), QString("INFO=CPU"));
            QCOMPARE(item->child(12)->text(0), QString("OS"));
            QVERIFY(item->toolTip(0).isEmpty());
        }
        QCOMPARE(tags.size(), 4);
        QVERIFY(tags.contains("PC1(" + own + ") UUID=" + uuidOf(1)));
        QVERIFY(tags.contains("PC8(" + net + "8) UUID=" + uuidOf(8)));
        QVERIFY(tags.contains("PC9(" + net + "9) UUID=" + uuidOf(9)));
        // The agent on two addresses is shown once, under the address whose probe listed it.
        QVERIFY(tags.contains("PC7(" + net + "7) UUID=" + uuidOf(7))
            != tags.contains("PC7(" + net + "10) UUID=" + uuidOf(7)));
        QVERIFY(CAdminTestRun::dialogs().messages.isEmpty());

        // A second scan finds every client as known and writes nothing.
        const QByteArray before = CStoreTestRun::read("list.xml");
        w.ui.action_Open->trigger();
        QCOMPARE(w.m_scanFinished, 0);
        QTRY_VERIFY_WITH_TIMEOUT(scanDone(w), 60000);
        QCOMPARE(w.m_found, 0);
        QCOMPARE(frame->findChild<QLabel *>("m_ctrShowText")->text(), QString("255 scaned,found 0"));
        QCOMPARE(CStoreTestRun::read("list.xml"), before);
        QCOMPARE(w.ui.treeWidget->topLevelItemCount(), 4);
    }

    // Many agents answering at once, into a list that holds clients already: each new one is listed
    // once with its file and shown, the listed ones stay, none is lost between the batched writes.
    void manyAgentsAtOnceEachListedOnce()
    {
        const QString net = CNetnsGuard::ownAddress().section('.', 0, 2) + '.';
        {
            CSet list;
            QCOMPARE(list.openList(), 1);
            QCOMPARE(list.addPC(uuidOf(500), "PC500", net + "250", "2.1.20090713", "2"), 0);
            QCOMPARE(list.addPC(uuidOf(120), "PC120", net + "120", "2.1.20090713", "1"), 0);
        }
        QStringList expected {
            uuidOf(500) + " PC500 " + net + "250 2.1.20090713 2", uuidOf(120) + " PC120 " + net + "120 2.1.20090713 1"};
        for (int host = 100; host < 220; ++host) {
            QVERIFY(agent(net + QString::number(host), uuidOf(host)));
            if (host != 120)
                expected.append(uuidOf(host) + " PC" + QString::number(host) + " " + net + QString::number(host)
                    + " 2.1.20090713 1");
        }
        expected.sort();

        qtm w;
        w.init();
        QCOMPARE(w.ui.treeWidget->topLevelItemCount(), 2);
        w.ui.action_Open->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(scanDone(w), 60000);
        QCOMPARE(w.m_found, 119);
        QCOMPARE(listed(), expected);
        // Every answering client has its file, the known one (listed without a file) too; the listed
        // client that did not answer has none.
        for (int host = 100; host < 220; ++host)
            QVERIFY2(CStoreTestRun::parses(uuidOf(host) + ".xml"), qPrintable(uuidOf(host)));
        QVERIFY(!QFile::exists(CStoreTestRun::path(uuidOf(500) + ".xml")));
        QCOMPARE(w.ui.treeWidget->topLevelItemCount(), 121);
        QVERIFY(CAdminTestRun::dialogs().messages.isEmpty());
    }

    void brokenListWarnsOncePerAgent()
    {
        const QString net = CNetnsGuard::ownAddress().section('.', 0, 2) + '.';
        QVERIFY(agent(net + "7", uuidOf(7)));
        QVERIFY(agent(net + "8", uuidOf(8)));
        const QByteArray broken = "<?xml version=\"1.0\"?>\n<pclist>\n    <pc UUID=";
        QVERIFY(CStoreTestRun::write("list.xml", broken));
        qtm w;
        w.init();
        w.ui.action_Open->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(scanDone(w), 60000);
        QTRY_COMPARE(CAdminTestRun::dialogs().messages.size(), 2);
        for (const CTestDialogs::Message &m : CAdminTestRun::dialogs().messages) {
            QCOMPARE(m.icon, QMessageBox::Warning);
            QCOMPARE(m.title, QString("Fetal error"));
            QCOMPARE(m.text, QString("setting file missed.\n"));
            QVERIFY(m.hasParent);
        }
        QCOMPARE(w.m_found, 0);
        QCOMPARE(w.ui.treeWidget->topLevelItemCount(), 0);
        QCOMPARE(CStoreTestRun::read("list.xml"), broken);
        QVERIFY(!QFile::exists(CStoreTestRun::path(uuidOf(7) + ".xml")));
    }

    // Closing the window while probes wait on silent agents: the window stops and waits for them,
    // each within its wait slices.
    void closingMidScanEndsProbes()
    {
        const QString net = CNetnsGuard::ownAddress().section('.', 0, 2) + '.';
        QList<CFakeAgent *> silent;
        for (int host : {7, 8, 9})
            silent.append(agent(net + QString::number(host), uuidOf(host), CFakeAgent::Silent));
        auto *w = new qtm;
        w->init();
        w->ui.action_Open->trigger();
        QTRY_VERIFY(
            std::all_of(silent.cbegin(), silent.cend(), [](CFakeAgent *a) { return a->identityRequests() == 1; }));
        QVERIFY(!scanDone(*w));
        QElapsedTimer timer;
        timer.start();
        delete w;
        QVERIFY2(timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed())));
        QCOMPARE(listed(), QStringList());
    }
};

BRAMIX_ADMIN_TEST_MAIN(TestScan)
#include "tst_scan.moc"
