#include "cadmintestrun.h"
#include "cfakeagent.h"
#include "cnetnsguard.h"
#include "cset.h"
#include "ctestdialogs.h"
#include "cupdatelist.h"
#include "qtm.h"
#include "selupfiledlg.h"

#include <QCheckBox>
#include <QCommandLinkButton>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QThread>
#include <QtTest>

#include <memory>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

// The update file dialog and the console's publishing road: uplist.xml, the forced push to every
// client of list.xml, the "force" records and the update frame.
class TestUpdate : public QObject
{
    Q_OBJECT
private:
    std::vector<std::unique_ptr<CFakeAgent>> m_agents;

    CFakeAgent *agent(const QString &host)
    {
        m_agents.push_back(std::make_unique<CFakeAgent>(CFakeAgent::Config()));
        return m_agents.back()->listen(QHostAddress(host)) ? m_agents.back().get() : nullptr;
    }

    static QString host(int n) { return CNetnsGuard::ownAddress().section('.', 0, 2) + '.' + QString::number(n); }

    static QStringList rows(const SelUpFileDlg &dlg, const char *list)
    {
        return CAdminTestRun::rowTexts(dlg.findChild<QListWidget *>(list));
    }

    static QString file(const QString &name, const QByteArray &bytes)
    {
        const QString path = CStoreTestRun::path(name);
        CStoreTestRun::write(name, bytes);
        return path;
    }

    static void publish(const QStringList &windows, const QStringList &linuxFiles, const QString &version)
    {
        CUpdateList list;
        list.setList(windows, linuxFiles, version);
    }

    // The next console dialog is accepted with these choices.
    static void acceptWith(
        const QStringList &windows, const QStringList &linuxFiles, const QString &version, bool force)
    {
        CAdminTestRun::dialogs().dialogHandlers.enqueue([=](QDialog &dialog) {
            auto *dlg = qobject_cast<SelUpFileDlg *>(&dialog);
            if (!dlg)
                return int(QDialog::Rejected);
            dlg->findChild<QListWidget *>("WindowsList")->clear();
            dlg->findChild<QListWidget *>("LinuxList")->clear();
            dlg->setList(windows, linuxFiles, version);
            dlg->findChild<QCheckBox *>("cbForce")->setChecked(force);
            return int(QDialog::Accepted);
        });
    }

    static QWidget *updateFrame()
    {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (w->objectName() == "UpdateProcessFrame")
                return w;
        }
        return nullptr;
    }

    static QList<QDomElement> records()
    {
        QDomDocument doc;
        CStoreTestRun::parses("updateLog.xml", &doc);
        QList<QDomElement> out;
        for (QDomElement r = doc.documentElement().firstChildElement("record"); !r.isNull();
             r = r.nextSiblingElement("record"))
            out.append(r);
        return out;
    }

    static QStringList filesOf(const QDomElement &record)
    {
        QStringList out;
        for (QDomElement f = record.firstChildElement("files").firstChildElement("file"); !f.isNull();
             f = f.nextSiblingElement("file"))
            out.append(f.text());
        return out;
    }

private slots:
    void initTestCase()
    {
        BRAMIX_SCAN_GUARD();
        CDialogs::setInstance(&CAdminTestRun::dialogs());
    }

    void init()
    {
        QCOMPARE(CNetnsGuard::check(), QString());
        CStoreTestRun::clear();
        for (const char *name : {"list.xml", "configtempl.xml", "uplist.xml", "updateLog.xml"})
            QVERIFY(CStoreTestRun::installShipped(name));
        CAdminTestRun::dialogs().reset();
    }

    void cleanup() { m_agents.clear(); }

    void dialogShowsUplist()
    {
        publish({"/u/BramixClient.exe", "/u/Inquix.dll"}, {"/u/bramix-client"}, "2.2.1");
        SelUpFileDlg dlg;
        QCOMPARE(dlg.windowTitle(), QString("Select file to update"));
        QCOMPARE(dlg.size(), QSize(491, 376));
        QCOMPARE(rows(dlg, "WindowsList"), QStringList({"/u/BramixClient.exe", "/u/Inquix.dll"}));
        QCOMPARE(rows(dlg, "LinuxList"), QStringList({"/u/bramix-client"}));
        QCOMPARE(dlg.findChild<QLineEdit *>("editVer")->text(), QString("2.2.1"));
        QVERIFY(!dlg.isForce());
        QStringList w, l;
        QString v;
        dlg.getList(w, l, v);
        QCOMPARE(w, QStringList({"/u/BramixClient.exe", "/u/Inquix.dll"}));
        QCOMPARE(l, QStringList({"/u/bramix-client"}));
        QCOMPARE(v, QString("2.2.1"));
    }

    void unreadableUplistShowsEmpty()
    {
        QVERIFY(CStoreTestRun::write("uplist.xml", "<uplist><windows>"));
        SelUpFileDlg dlg;
        QVERIFY(rows(dlg, "WindowsList").isEmpty());
        QVERIFY(dlg.findChild<QLineEdit *>("editVer")->text().isEmpty());
    }

    void browseDeleteAndDoubleClick()
    {
        SelUpFileDlg dlg;
        CTestDialogs &dialogs = CAdminTestRun::dialogs();
        dialogs.fileNames.enqueue({"/a/one.exe", "/a/two.exe"});
        dialogs.fileNames.enqueue({"/a/one.exe"}); // the same path again is listed again
        dlg.findChild<QCommandLinkButton *>("buWinSel")->click();
        dlg.findChild<QCommandLinkButton *>("buWinSel")->click();
        dlg.findChild<QCommandLinkButton *>("buWinSel")->click(); // cancelled: nothing
        QCOMPARE(rows(dlg, "WindowsList"), QStringList({"/a/one.exe", "/a/two.exe", "/a/one.exe"}));
        QCOMPARE(dialogs.fileRequests.size(), 3);
        QCOMPARE(dialogs.fileRequests.at(0).kind, QString("openMany"));
        QCOMPARE(dialogs.fileRequests.at(0).caption, QString("Select one or more files to update"));
        QCOMPARE(dialogs.fileRequests.at(0).dir, QString("./"));
        QCOMPARE(dialogs.fileRequests.at(0).filter, QString("All files (*)"));

        QListWidget *windows = dlg.findChild<QListWidget *>("WindowsList");
        windows->setCurrentRow(1);
        dlg.findChild<QCommandLinkButton *>("buWinDel")->click();
        QCOMPARE(rows(dlg, "WindowsList"), QStringList({"/a/one.exe", "/a/one.exe"}));

        dialogs.fileNames.enqueue({"/l/x", "/l/y"});
        dlg.findChild<QCommandLinkButton *>("buLinSel")->click();
        QListWidget *linuxList = dlg.findChild<QListWidget *>("LinuxList");
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        const QRect first = linuxList->visualItemRect(linuxList->item(0));
        QTest::mouseClick(linuxList->viewport(), Qt::LeftButton, {}, first.center());
        QTest::mouseDClick(linuxList->viewport(), Qt::LeftButton, {}, first.center());
        QTRY_COMPARE(rows(dlg, "LinuxList"), QStringList({"/l/y"}));

        // No current row: nothing goes.
        linuxList->setCurrentRow(-1);
        dlg.findChild<QCommandLinkButton *>("buLinDel")->click();
        QCOMPARE(rows(dlg, "LinuxList"), QStringList({"/l/y"}));
    }

    void cancelWritesNothing()
    {
        publish({"/u/a.exe"}, {}, "2.2");
        const QByteArray before = CStoreTestRun::read("uplist.xml");
        qtm w;
        w.init();
        w.ui.actionUpdate_Client->trigger(); // no handler queued: the dialog is rejected
        QCOMPARE(CAdminTestRun::dialogs().dialogs, QStringList({"SelUpFileDlg"}));
        QCOMPARE(CStoreTestRun::read("uplist.xml"), before);
    }

    void brokenUplistWarnsOnly()
    {
        {
            CSet list;
            list.openList();
            list.addPC("{00000000-0000-4000-8000-000000000007}", "PC7", host(7), "2.1.20090713", "1");
        }
        CFakeAgent *seven = agent(host(7));
        QVERIFY(seven);
        QVERIFY(CStoreTestRun::write("uplist.xml", "<?xml version=\"1.0\"?>\n<updates/>\n"));
        const QByteArray log = CStoreTestRun::read("updateLog.xml");
        qtm w;
        w.init();
        acceptWith({file("c.exe", "x")}, {}, "2.3", true);
        w.ui.actionUpdate_Client->trigger();
        QCOMPARE(CAdminTestRun::dialogs().messages.size(), 1);
        QCOMPARE(CAdminTestRun::dialogs().messages.at(0).icon, QMessageBox::Warning);
        QCOMPARE(CAdminTestRun::dialogs().messages.at(0).text, QString("Xml file format error\n"));
        QCOMPARE(CStoreTestRun::read("uplist.xml"), QByteArray("<?xml version=\"1.0\"?>\n<updates/>\n"));
        QCOMPARE(CStoreTestRun::read("updateLog.xml"), log);
        QCOMPARE(w.m_updateTotal, 0);
        QTest::qWait(300);
        QCOMPARE(seven->connectionCount(), 0);
        QVERIFY(!updateFrame() || !updateFrame()->isVisible());
    }

    void emptyListsUnpublishWithoutPush()
    {
        publish({"/u/a.exe"}, {"/u/b"}, "2.2");
        {
            CSet list;
            list.openList();
            list.addPC("{00000000-0000-4000-8000-000000000007}", "PC7", host(7), "2.1.20090713", "1");
        }
        CFakeAgent *seven = agent(host(7));
        qtm w;
        w.init();
        acceptWith({}, {}, "", true);
        w.ui.actionUpdate_Client->trigger();
        QStringList win, lin;
        QString version, date;
        CUpdateList().getList(win, lin, version, date);
        QVERIFY(win.isEmpty() && lin.isEmpty() && version.isEmpty());
        QTest::qWait(300);
        QCOMPARE(seven->connectionCount(), 0);
        QVERIFY(records().isEmpty());
    }

    void forcedPushReachesEveryClient()
    {
        const QString winFile = file("BramixClient.exe", QByteArray(20000, 'w'));
        const QString linFile = file("bramix-client", QByteArray(100, 'l'));
        {
            CSet list;
            list.openList();
            list.addPC("{00000000-0000-4000-8000-000000000007}", "PC7", host(7), "2.1.20090713", "1");
            list.addPC("{00000000-0000-4000-8000-000000000008}", "PC8", host(8), "2.1.20090713", "2");
            list.addPC("{00000000-0000-4000-8000-000000000009}", "PC9", host(9), "unknown", "5");
            list.addPC("{00000000-0000-4000-8000-000000000010}", "PC10", host(10), "2.1.20090713", "1");
        }
        CFakeAgent *seven = agent(host(7));
        CFakeAgent *eight = agent(host(8));
        CFakeAgent *nine = agent(host(9));
        QVERIFY(seven && eight && nine); // nobody at .10: refused

        qtm w;
        w.init();
        acceptWith({winFile}, {linFile}, "2.2.0", true);
        w.ui.actionUpdate_Client->trigger();
        QCOMPARE(w.m_updateTotal, 4);
        QWidget *frame = updateFrame();
        QVERIFY(frame && frame->isVisible());
        QTRY_COMPARE_WITH_TIMEOUT(w.m_updateOK + w.m_updateFailed, 4, 60000);
        QCOMPARE(w.m_updateOK, 3);
        QCOMPARE(w.m_updateFailed, 1);
        QCOMPARE(frame->findChild<QLabel *>("m_ctrText")->text(), QString("4 updated,sucessful 3"));
        QCOMPARE(frame->findChild<QPushButton *>("m_ctrOK")->text(), QString("OK"));

        QTRY_COMPARE(seven->pushCount(), 1);
        QCOMPARE(seven->pushes().at(0).fields, QStringList({"SWAPLETFILE", "BramixClient.exe", ""}));
        QCOMPARE(seven->pushes().at(0).payload, QByteArray(20000, 'w'));
        QCOMPARE(seven->pushes().at(0).total, 20000 + 29 + 6);
        QTRY_COMPARE(eight->pushCount(), 1);
        QCOMPARE(eight->pushes().at(0).fields, QStringList({"SWAPLETFILE", "bramix-client", ""}));
        QCOMPARE(eight->pushes().at(0).payload, QByteArray(100, 'l'));
        QTRY_COMPARE(nine->connectionCount(), 1); // no files for its code, but it is reached
        QCOMPARE(nine->pushCount(), 0);

        const QList<QDomElement> recs = records();
        QCOMPARE(recs.size(), 4);
        QStringList seen;
        for (const QDomElement &r : recs) {
            QCOMPARE(r.firstChildElement("type").text(), QString("force"));
            QCOMPARE(r.firstChildElement("oldVersion").text(), QString());
            QCOMPARE(r.firstChildElement("newVersion").text(), QString("2.2.0"));
            seen.append(r.firstChildElement("ip").text() + " " + filesOf(r).join(","));
        }
        seen.sort();
        QCOMPARE(seen,
            QStringList({"PC10(" + host(10) + ") " + winFile, "PC7(" + host(7) + ") " + winFile,
                "PC8(" + host(8) + ") " + linFile, "PC9(" + host(9) + ") "}));
        QStringList published, linuxPublished;
        QString version, date;
        CUpdateList().getList(published, linuxPublished, version, date);
        QCOMPARE(published, QStringList({winFile}));
        QCOMPARE(version, QString("2.2.0"));
    }

    // Closing the window while pushes are stuck on clients that read nothing: the push threads are
    // asked to stop and the window goes promptly, with no thread left running.
    void closingMidPushEndsPushes()
    {
        const QString winFile = file("BramixClient.exe", QByteArray(64 * 1024 * 1024, 'w'));
        QList<int> stuck; // listening sockets never accepted: the kernel takes a little, then no more
        const auto closeAll = qScopeGuard([&] {
            for (int fd : std::as_const(stuck))
                ::close(fd);
        });
        {
            CSet list;
            list.openList();
            for (int n = 7; n <= 9; ++n) {
                list.addPC(QString("{00000000-0000-4000-8000-00000000000%1}").arg(n), QString("PC%1").arg(n), host(n),
                    "2.1.20090713", "1");
                const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
                QVERIFY(fd >= 0);
                stuck.append(fd);
                sockaddr_in at {};
                at.sin_family = AF_INET;
                at.sin_port = htons(2211);
                QVERIFY(::inet_pton(AF_INET, qPrintable(host(n)), &at.sin_addr) == 1);
                QVERIFY(::bind(fd, reinterpret_cast<sockaddr *>(&at), sizeof at) == 0);
                QVERIFY(::listen(fd, 4) == 0);
            }
        }
        QList<QPointer<QThread>> threads;
        QElapsedTimer closing;
        {
            qtm w;
            w.init();
            acceptWith({winFile}, {}, "2.2.0", true);
            w.ui.actionUpdate_Client->trigger();
            QCOMPARE(w.m_updateTotal, 3);
            for (QThread *t : w.findChildren<QThread *>())
                threads.append(t);
            QCOMPARE(threads.size(), 3);
            QTest::qWait(1500);
            // Connected, and blocked once the kernel's buffers are full.
            QCOMPARE(w.m_updateOK + w.m_updateFailed, 0);
            for (const QPointer<QThread> &t : std::as_const(threads))
                QVERIFY(t && t->isRunning());
            closing.start();
        }
        QVERIFY2(closing.elapsed() < 5000, qPrintable(QString::number(closing.elapsed())));
        for (const QPointer<QThread> &t : std::as_const(threads))
            QVERIFY(t.isNull());
    }

    // More clients than pushes run at once: every one is still pushed and reported.
    void manyClientsAllReport()
    {
        const QString winFile = file("BramixClient.exe", QByteArray(50000, 'w'));
        QList<CFakeAgent *> agents;
        {
            CSet list;
            list.openList();
            for (int n = 2; n < 152; ++n) {
                list.addPC(QString("{00000000-0000-4000-8000-%1}").arg(n, 12, 10, QChar('0')), "PC", host(n),
                    "2.1.20090713", "1");
                if (n % 2 == 0)
                    agents.append(agent(host(n)));
            }
        }
        qtm w;
        w.init();
        acceptWith({winFile}, {}, "2.2.0", true);
        w.ui.actionUpdate_Client->trigger();
        QCOMPARE(w.m_updateTotal, 150);
        QTRY_COMPARE_WITH_TIMEOUT(w.m_updateOK + w.m_updateFailed, 150, 120000);
        QCOMPARE(w.m_updateOK, 75);
        QCOMPARE(w.m_updateFailed, 75);
        for (CFakeAgent *a : std::as_const(agents))
            QTRY_COMPARE(a->pushCount(), 1);
        QCOMPARE(updateFrame()->findChild<QPushButton *>("m_ctrOK")->text(), QString("OK"));
    }

    // Clients that accept the push and never read, or never answer its connection at all, are listed
    // before one that reads (the list is pushed last-first). Each stalled push ends as a failure at
    // its deadline, and none of them keeps the reading client from its file until then, however many
    // run ahead of it.
    void stalledClientsDoNotHoldOthers_data()
    {
        QTest::addColumn<int>("stalled");
        QTest::addColumn<bool>("neverConnect");
        QTest::newRow("one more than run at once") << 64 + 1 << false;
        QTest::newRow("two rounds and one more") << 2 * 64 + 1 << false;
        QTest::newRow("never connecting, one more than run at once") << 64 + 1 << true;
    }

    void stalledClientsDoNotHoldOthers()
    {
        QFETCH(int, stalled);
        QFETCH(bool, neverConnect);
        // The deadline the push threads are made with: shorter than in use unless the run sets it.
        const QByteArray preset = qgetenv("BRAMIX_TEST_PUSH_STALL_MS");
        const qint64 stallMs = preset.isEmpty() ? 6000 : preset.toLongLong();
        qputenv("BRAMIX_TEST_PUSH_STALL_MS", QByteArray::number(stallMs));
        const auto restore = qScopeGuard([&] {
            if (preset.isEmpty())
                qunsetenv("BRAMIX_TEST_PUSH_STALL_MS");
            else
                qputenv("BRAMIX_TEST_PUSH_STALL_MS", preset);
        });
        // Far more than the socket buffers of a client that reads nothing take.
        const qint64 size = 12 * 1024 * 1024;
        const QString winFile = file("BramixClient.exe", QByteArray(size, 'w'));
        // Listening sockets never accepted: the kernel takes a little, then no more. With a queue of
        // one, already taken, it drops every further connection attempt unanswered.
        QList<int> stuck;
        const auto closeAll = qScopeGuard([&] {
            for (int fd : std::as_const(stuck))
                ::close(fd);
        });
        const int readerHost = 2 + stalled;
        {
            CSet list;
            list.openList();
            list.addPC("{00000000-0000-4000-8000-000000000001}", "reader", host(readerHost), "2.1.20090713", "1");
            for (int n = 2; n < 2 + stalled; ++n) {
                list.addPC(QString("{00000000-0000-4000-8000-%1}").arg(n, 12, 10, QChar('0')), "PC", host(n),
                    "2.1.20090713", "1");
                const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
                QVERIFY(fd >= 0);
                stuck.append(fd);
                const int rcvbuf = 64 * 1024;
                ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &rcvbuf, sizeof rcvbuf);
                sockaddr_in at {};
                at.sin_family = AF_INET;
                at.sin_port = htons(2211);
                QVERIFY(::inet_pton(AF_INET, qPrintable(host(n)), &at.sin_addr) == 1);
                QVERIFY(::bind(fd, reinterpret_cast<sockaddr *>(&at), sizeof at) == 0);
                QVERIFY(::listen(fd, neverConnect ? 0 : 4) == 0);
                if (neverConnect) {
                    const int filler = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
                    QVERIFY(filler >= 0);
                    stuck.append(filler);
                    QVERIFY(::connect(filler, reinterpret_cast<sockaddr *>(&at), sizeof at) == 0);
                }
            }
        }
        CFakeAgent::Config config;
        config.keepPayloads = false;
        m_agents.push_back(std::make_unique<CFakeAgent>(config));
        CFakeAgent *reader = m_agents.back().get();
        QVERIFY(reader->listen(QHostAddress(host(readerHost))));

        qtm w;
        w.init();
        acceptWith({winFile}, {}, "2.2.0", true);
        QElapsedTimer clock;
        clock.start();
        w.ui.actionUpdate_Client->trigger();
        QCOMPARE(w.m_updateTotal, stalled + 1);
        QTRY_VERIFY_WITH_TIMEOUT(reader->pushCount() == 1, 4 * stallMs);
        const qint64 readerMs = clock.elapsed();
        QCOMPARE(reader->pushes().at(0).size, size);
        // Served before the stalled pushes ahead of it could have ended by their deadline.
        QVERIFY2(readerMs < stallMs, qPrintable(QString("the reading client had its file after %1 ms").arg(readerMs)));

        // A connection is waited for 30 s whatever the stall deadline.
        const qint64 endMs = neverConnect ? 30000 : stallMs;
        QTRY_COMPARE_WITH_TIMEOUT(w.m_updateOK + w.m_updateFailed, stalled + 1, 4 * endMs + 30000);
        const qint64 doneMs = clock.elapsed();
        QCOMPARE(w.m_updateOK, 1);
        QCOMPARE(w.m_updateFailed, stalled);
        QWidget *frame = updateFrame();
        QCOMPARE(frame->findChild<QLabel *>("m_ctrText")->text(), QString("%1 updated,sucessful 1").arg(stalled + 1));
        QCOMPARE(frame->findChild<QPushButton *>("m_ctrOK")->text(), QString("OK"));
        // Every stalled push ended at its deadline, not before and not much later.
        QVERIFY2(doneMs >= endMs && doneMs < endMs + 2 * stallMs, qPrintable(QString::number(doneMs)));
        qInfo("%d clients that never %s before one that reads, %lld MiB, stall deadline %lld ms: the reader had "
              "its file after %lld ms, the frame showed OK after %lld ms",
            stalled, neverConnect ? "connect" : "read", size / (1024 * 1024), stallMs, readerMs, doneMs);
    }
};

BRAMIX_ADMIN_TEST_MAIN(TestUpdate)
#include "tst_update.moc"
