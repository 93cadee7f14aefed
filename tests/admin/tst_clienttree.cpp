// The client tree built from list.xml, client deletion, the tree's context menu and the details list.

#include "cadminfixture.h"
#include "cadmintestrun.h"
#include "cset.h"
#include "cstoretestrun.h"
#include "ctestdialogs.h"
#include "qtm.h"

#include <QDockWidget>
#include <QListWidget>
#include <QMenu>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QtTest>

namespace {

const QStringList kClasses {"CPU", "BaseBoard", "DiskDrive", "VideoController", "NetworkAdapter", "BIOS", "CDROMDrive",
    "DesktopMonitor", "MemoryDevice", "Printer", "SoundDevice", "Software", "OS"};

QString tag(const QTreeWidgetItem *item)
{
    return item->data(0, Qt::UserRole).toString();
}

QStringList topTexts(QTreeWidget *tree)
{
    QStringList out;
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        out << tree->topLevelItem(i)->text(0);
    return out;
}

QStringList childTexts(QTreeWidgetItem *item)
{
    QStringList out;
    for (int i = 0; i < item->childCount(); ++i)
        out << item->child(i)->text(0);
    return out;
}

QTreeWidgetItem *findItem(QTreeWidget *tree, const QString &tagText)
{
    QTreeWidgetItemIterator it(tree);
    for (; *it; ++it) {
        if (tag(*it) == tagText)
            return *it;
    }
    return nullptr;
}

QStringList details(qtm &w)
{
    QStringList out;
    for (int i = 0; i < w.m_details->count(); ++i)
        out << w.m_details->item(i)->text();
    return out;
}

QStringList uuidsInList()
{
    CSet set;
    set.openList();
    std::list<PCEntry> pcs;
    set.getPCList(pcs);
    QStringList out;
    for (const PCEntry &pc : pcs)
        out << QString::fromStdString(pc.at("UUID"));
    return out;
}

QImage picture(const QString &name)
{
    return QImage(QStringLiteral(":/new/prefix1/Resources/") + name)
        .convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

const QString kA = QStringLiteral("{0000000a-0000-0000-0000-000000000000}");
const QString kB = QStringLiteral("{0000000b-0000-0000-0000-000000000000}");
const QString kC = QStringLiteral("{0000000c-0000-0000-0000-000000000000}");

} // namespace

class TestClientTree : public QObject
{
    Q_OBJECT

private:
    struct Window
    {
        qtm w;
        Window()
        {
            w.init();
            w.resize(858, 536);
            w.show();
        }
        void reload() { QMetaObject::invokeMethod(&w, "reloadTree"); }
        void click(QTreeWidgetItem *item) { emit w.ui.treeWidget->itemClicked(item, 0); }
        void deleteCurrent(QTreeWidgetItem *item)
        {
            w.ui.treeWidget->setCurrentItem(item);
            w.ui.actionDelete_Item->trigger();
        }
    };

private slots:
    void init()
    {
        QVERIFY(CAdminFixture::reset());
        CAdminTestRun::dialogs().reset();
    }

    // Folders first, last-listed first; clients last-listed first, in their folders or at the top.
    void order()
    {
        QVERIFY(CAdminFixture::addFolder("Office", "{f1}"));
        QVERIFY(CAdminFixture::addFolder("Lab", "{f2}"));
        QVERIFY(CAdminFixture::addClient("{a}", "alpha", "198.51.100.1", "1"));
        QVERIFY(CAdminFixture::addClient("{b}", "bravo", "198.51.100.2", "1", "{f1}"));
        QVERIFY(CAdminFixture::addClient("{c}", "charlie", "198.51.100.3", "1", "{f2}"));
        QVERIFY(CAdminFixture::addClient("{d}", "delta", "198.51.100.4", "1", "{f1}"));
        QVERIFY(CAdminFixture::addClient("{e}", "echo", "198.51.100.5", "1", "0"));
        QVERIFY(CAdminFixture::addClient("{f0}", "golf", "198.51.100.7", "1", "{nowhere}"));
        Window win;
        QTreeWidget *tree = win.w.ui.treeWidget;
        QCOMPARE(topTexts(tree),
            QStringList({"Lab", "Office", "golf(198.51.100.7)", "echo(198.51.100.5)", "alpha(198.51.100.1)"}));
        QCOMPARE(tag(tree->topLevelItem(0)), QStringLiteral("FOLDER={f2}"));
        QCOMPARE(childTexts(tree->topLevelItem(0)), QStringList({"charlie(198.51.100.3)"}));
        QCOMPARE(childTexts(tree->topLevelItem(1)), QStringList({"delta(198.51.100.4)", "bravo(198.51.100.2)"}));
        QCOMPARE(picture("folder.png"),
            tree->topLevelItem(0)->icon(0).pixmap(32).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied));
        for (int i = 0; i < tree->topLevelItemCount(); ++i)
            QCOMPARE(tree->topLevelItem(i)->isExpanded(), false);
    }

    void folderPlacement_data()
    {
        QTest::addColumn<QStringList>("folders"); // name=value pairs, in list order
        QTest::addColumn<QString>("clientFolder"); // null: no folder attribute
        QTest::addColumn<int>("parentIndex"); // top-level index of the parent, -1: at the top level
        QTest::newRow("matching folder") << QStringList({"A=1", "B=2"}) << "1" << 1;
        QTest::newRow("equal values: the one listed later") << QStringList({"A=7", "B=7"}) << "7" << 0;
        QTest::newRow("zero") << QStringList({"A=1"}) << "0" << -1;
        QTest::newRow("unknown") << QStringList({"A=1"}) << "9" << -1;
        QTest::newRow("no attribute") << QStringList({"A=1"}) << QString() << -1;
        QTest::newRow("empty value folder takes no client") << QStringList({"A="}) << "" << -1;
        QTest::newRow("case-sensitive") << QStringList({"A=abc"}) << "ABC" << -1;
    }

    void folderPlacement()
    {
        QFETCH(QStringList, folders);
        QFETCH(QString, clientFolder);
        QFETCH(int, parentIndex);
        for (const QString &f : folders)
            QVERIFY(CAdminFixture::addFolder(f.section('=', 0, 0), f.section('=', 1)));
        QVERIFY(CAdminFixture::addClient(kA, "pc", "203.0.113.1", "1", clientFolder));
        Window win;
        QTreeWidgetItem *client = findItem(win.w.ui.treeWidget, "UUID=" + kA);
        QVERIFY(client);
        if (parentIndex < 0) {
            QVERIFY(!client->parent());
            QCOMPARE(win.w.ui.treeWidget->indexOfTopLevelItem(client), folders.size());
        } else {
            QCOMPARE(client->parent(), win.w.ui.treeWidget->topLevelItem(parentIndex));
        }
        if (folders == QStringList({"A="}))
            QCOMPARE(tag(win.w.ui.treeWidget->topLevelItem(0)), QStringLiteral("FOLDER="));
    }

    // The parent is looked for among every top-level item made so far, clients included, folders first.
    void folderValueOfATopLevelClient()
    {
        QVERIFY(CAdminFixture::addClient("{a9}", "yankee", "198.51.100.9", "1", "{a7}"));
        QVERIFY(CAdminFixture::addClient("{a8}", "zulu", "198.51.100.8", "1", "{a7}"));
        QVERIFY(CAdminFixture::addClient("{a7}", "xray", "198.51.100.7", "1"));
        QVERIFY(CAdminFixture::addFolder("Later", "{a8}"));
        Window win;
        QTreeWidget *tree = win.w.ui.treeWidget;
        QCOMPARE(topTexts(tree), QStringList({"Later", "xray(198.51.100.7)"}));
        QCOMPARE(childTexts(tree->topLevelItem(1)).mid(0, 2), QStringList({"CPU", "BaseBoard"}));
        QCOMPARE(
            childTexts(tree->topLevelItem(1)).mid(13), QStringList({"zulu(198.51.100.8)", "yankee(198.51.100.9)"}));
        QCOMPARE(childTexts(tree->topLevelItem(0)), QStringList());
    }

    void noticeColour_data()
    {
        QTest::addColumn<QString>("notice"); // null: no attribute
        QTest::addColumn<bool>("red");
        QTest::newRow("no") << "no" << true;
        QTest::newRow("yes") << "yes" << false;
        QTest::newRow("absent") << QString() << false;
    }

    void noticeColour()
    {
        QFETCH(QString, notice);
        QFETCH(bool, red);
        QVERIFY(CAdminFixture::addClient(kA, "pc", "203.0.113.1", "1", QString(), notice));
        Window win;
        QTreeWidgetItem *client = findItem(win.w.ui.treeWidget, "UUID=" + kA);
        QVERIFY(client);
        if (red)
            QCOMPARE(client->foreground(0).color(), QColor(255, 0, 0, 255));
        else
            QCOMPARE(client->foreground(0).style(), Qt::NoBrush);
    }

    void platformIcon_data()
    {
        QTest::addColumn<QString>("os");
        QTest::addColumn<QString>("icon");
        QTest::newRow("1") << "1"
                           << "windows.png";
        QTest::newRow("2") << "2"
                           << "linux.png";
        QTest::newRow("3") << "3"
                           << "apple.jpg";
        QTest::newRow("4") << "4"
                           << "alixe.png";
        QTest::newRow("5 (unreadable version)") << "5"
                                                << "watch.png";
        QTest::newRow("empty") << ""
                               << "watch.png";
        QTest::newRow("0") << "0"
                           << "watch.png";
        QTest::newRow("11") << "11"
                            << "watch.png";
        QTest::newRow("padded") << " 1"
                                << "watch.png";
    }

    void platformIcon()
    {
        QFETCH(QString, os);
        QFETCH(QString, icon);
        QVERIFY(CAdminFixture::addClient(kA, "pc", "203.0.113.1", os));
        Window win;
        QTreeWidgetItem *client = findItem(win.w.ui.treeWidget, "UUID=" + kA);
        QVERIFY(client);
        QCOMPARE(
            client->icon(0).pixmap(32).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied), picture(icon));
    }

    void clientItem()
    {
        const QString name = QString::fromUtf8("Zhāng-电脑");
        QVERIFY(CAdminFixture::addClient(kA, name, "203.0.113.1", "1", QString(), QString(), "2.1.20090713"));
        Window win;
        QTreeWidgetItem *client = win.w.ui.treeWidget->topLevelItem(0);
        QCOMPARE(client->text(0), name + "(203.0.113.1)");
        QCOMPARE(tag(client), "UUID=" + kA);
        QCOMPARE(client->toolTip(0), QStringLiteral("Version:2.1.20090713"));
        QCOMPARE(childTexts(client), kClasses);
        for (int i = 0; i < client->childCount(); ++i) {
            QCOMPARE(tag(client->child(i)), "INFO=" + kClasses.at(i));
            QVERIFY(client->child(i)->icon(0).isNull());
            QCOMPARE(client->child(i)->childCount(), 0);
        }
    }

    void unreadableListGivesEmptyTree_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("not well-formed") << QByteArray("<pclist><pc UUID=\"{a}\"");
        QTest::newRow("other root") << QByteArray("<?xml version=\"1.0\"?>\n<list><pc UUID=\"{a}\"/></list>\n");
        QTest::newRow("empty") << QByteArray();
    }

    void unreadableListGivesEmptyTree()
    {
        QFETCH(QByteArray, content);
        QVERIFY(CAdminFixture::addClient(kA, "pc", "203.0.113.1", "1"));
        QVERIFY(CAdminFixture::addClientFile(kA, {{"CPU", {CAdminFixture::row({"Name=Chip"})}}}));
        Window win;
        win.click(win.w.ui.treeWidget->topLevelItem(0));
        QVERIFY(win.w.m_details->count() > 0);
        QVERIFY(CStoreTestRun::write("list.xml", content));
        win.reload();
        QCOMPARE(win.w.ui.treeWidget->topLevelItemCount(), 0);
        QCOMPARE(win.w.m_details->count(), 0);
    }

    void reloadReplacesItems()
    {
        QVERIFY(CAdminFixture::addClient(kA, "one", "203.0.113.1", "1"));
        Window win;
        QVERIFY(CAdminFixture::addClient(kB, "two", "203.0.113.2", "2"));
        win.reload();
        QCOMPARE(topTexts(win.w.ui.treeWidget), QStringList({"two(203.0.113.2)", "one(203.0.113.1)"}));
    }

    void deletePC_data()
    {
        QTest::addColumn<QString>("target"); // tag of the current item; empty: none
        QTest::addColumn<QStringList>("listAfter");
        QTest::addColumn<int>("topAfter");
        QTest::newRow("client") << "UUID=" + kA << QStringList({kB}) << 1;
        QTest::newRow("client in folder") << "UUID=" + kB << QStringList({kA}) << 2;
        QTest::newRow("folder") << "FOLDER={f}" << QStringList({kB, kA}) << 2;
        QTest::newRow("class item") << "INFO=CPU" << QStringList({kB, kA}) << 2;
        QTest::newRow("no current item") << "" << QStringList({kB, kA}) << 2;
    }

    void deletePC()
    {
        QFETCH(QString, target);
        QFETCH(QStringList, listAfter);
        QFETCH(int, topAfter);
        QVERIFY(CAdminFixture::addFolder("Folder", "{f}"));
        QVERIFY(CAdminFixture::addClient(kA, "top", "203.0.113.1", "1"));
        QVERIFY(CAdminFixture::addClient(kB, "inside", "203.0.113.2", "1", "{f}"));
        QVERIFY(CAdminFixture::addClientFile(kA, {{"CPU", {CAdminFixture::row({"Name=Chip"})}}}));
        Window win;
        QTreeWidget *tree = win.w.ui.treeWidget;
        int before = 0;
        for (QTreeWidgetItemIterator it(tree); *it; ++it)
            ++before;
        QTreeWidgetItem *item = target.isEmpty() ? nullptr : findItem(tree, target);
        QVERIFY(target.isEmpty() || item);
        win.deleteCurrent(item);
        QCOMPARE(uuidsInList(), listAfter);
        QCOMPARE(tree->topLevelItemCount(), topAfter);
        int after = 0;
        for (QTreeWidgetItemIterator it(tree); *it; ++it)
            ++after;
        const bool removed = target.startsWith("UUID=");
        QCOMPARE(after, removed ? before - 14 : before);
        QVERIFY(!findItem(tree, removed ? target : "UUID=none"));
        // The client's inventory file stays, and nothing was asked.
        QVERIFY(QFile::exists(CStoreTestRun::path(kA + ".xml")));
        QVERIFY(CAdminTestRun::dialogs().messages.isEmpty());
    }

    void deletePCOnBrokenList()
    {
        QVERIFY(CAdminFixture::addClient(kA, "pc", "203.0.113.1", "1"));
        Window win;
        const QByteArray broken("<pclist><pc UUID=\"");
        QVERIFY(CStoreTestRun::write("list.xml", broken));
        win.deleteCurrent(win.w.ui.treeWidget->topLevelItem(0));
        QCOMPARE(win.w.ui.treeWidget->topLevelItemCount(), 0);
        QCOMPARE(CStoreTestRun::read("list.xml"), broken);
    }

    void deletePCNotInList()
    {
        QVERIFY(CAdminFixture::addClient(kA, "pc", "203.0.113.1", "1"));
        QVERIFY(CAdminFixture::addClient(kB, "other", "203.0.113.2", "1"));
        Window win;
        {
            CSet set;
            set.openList();
            set.removePC(kA);
        }
        const QByteArray listBefore = CStoreTestRun::read("list.xml");
        win.deleteCurrent(findItem(win.w.ui.treeWidget, "UUID=" + kA));
        QCOMPARE(CStoreTestRun::read("list.xml"), listBefore);
        QCOMPARE(topTexts(win.w.ui.treeWidget), QStringList({"other(203.0.113.2)"}));
    }

    void contextMenu_data()
    {
        QTest::addColumn<QString>("where");
        QTest::addColumn<QStringList>("menu"); // empty: no menu
        QTest::newRow("tree") << "tree" << QStringList({"Edit folder", "Delete Item"});
        QTest::newRow("tool bar") << "toolbar" << QStringList();
        QTest::newRow("menu bar") << "menubar" << QStringList();
        QTest::newRow("status bar") << "statusbar" << QStringList();
        QTest::newRow("details dock") << "dock" << QStringList();
        QTest::newRow("frame margin") << "frame" << QStringList();
    }

    void contextMenu()
    {
        QFETCH(QString, where);
        QFETCH(QStringList, menu);
        QVERIFY(CAdminFixture::addClient(kA, "pc", "203.0.113.1", "1"));
        Window win;
        qtm &w = win.w;
        QWidget *target = nullptr;
        QPoint local;
        if (where == "tree") {
            target = w.ui.treeWidget->viewport();
            local = target->rect().center();
        } else if (where == "toolbar") {
            target = w.ui.mainToolBar;
            local = QPoint(target->width() - 5, target->height() / 2);
        } else if (where == "menubar") {
            target = w.ui.menuBar;
            local = QPoint(target->width() - 5, target->height() / 2);
        } else if (where == "statusbar") {
            target = w.ui.statusBar;
            local = target->rect().center();
        } else if (where == "dock") {
            target = w.m_details->viewport();
            local = target->rect().center();
        } else {
            target = w.ui.frame;
            local = QPoint(3, 3);
        }
        QStringList seen;
        bool shown = false;
        QTimer::singleShot(50, [&] {
            if (QMenu *popup = qobject_cast<QMenu *>(QApplication::activePopupWidget())) {
                shown = true;
                for (QAction *a : popup->actions())
                    seen << a->text();
                popup->close();
            }
        });
        QContextMenuEvent event(QContextMenuEvent::Mouse, local, target->mapToGlobal(local));
        QApplication::sendEvent(target, &event);
        QTest::qWait(100);
        QCOMPARE(shown, !menu.isEmpty());
        QCOMPARE(seen, menu);
        QCOMPARE(uuidsInList(), QStringList({kA}));
    }

    void clientDetails()
    {
        const QString cpu1 = CAdminFixture::row({"Name=Chip One", "MaxClockSpeed=2000"});
        const QString cpu2 = CAdminFixture::row({"Name=Chip Two", "MaxClockSpeed=3000"});
        const QString os = CAdminFixture::row({"Caption=Test OS", "Version=1"});
        QVERIFY(CAdminFixture::addClient(kA, "pc", "203.0.113.1", "1"));
        QVERIFY(
            CAdminFixture::addClientFile(kA, {{"CPU", {cpu1}}, {"OS", {os}}}, {"CPU$add$" + cpu2, "OS$remove$" + os}));
        Window win;
        QTreeWidgetItem *client = win.w.ui.treeWidget->topLevelItem(0);
        win.click(client);
        const QStringList lines = details(win.w);
        QCOMPARE(lines.size(), 4);
        QCOMPARE(lines.mid(0, 2), QStringList({"CPU=Chip One", "CPU=Chip Two"}));
        QVERIFY2(QRegularExpression("^CPU : \\S+ \\d\\d \\d{4} \\d\\d:\\d\\d:\\d\\d add Chip Two$")
                     .match(lines.at(2))
                     .hasMatch(),
            qPrintable(lines.at(2)));
        QVERIFY2(QRegularExpression("^OS : .+ remove Test OS$").match(lines.at(3)).hasMatch(), qPrintable(lines.at(3)));

        // Clicking the same item again shows the same lines once.
        win.click(client);
        QCOMPARE(details(win.w), lines);

        // The class item: every stored row, numbered, a property per line, a blank line after each.
        win.click(client->child(kClasses.indexOf("CPU")));
        QCOMPARE(details(win.w),
            QStringList({"Config 1:", "Name=Chip One", "MaxClockSpeed=2000", "", "Config 2:", "Name=Chip Two",
                "MaxClockSpeed=3000", ""}));
        win.click(client->child(kClasses.indexOf("BIOS")));
        QCOMPARE(details(win.w), QStringList());
    }

    void detailsKeepOnFolderAndStrayTags_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("folder") << "folder";
        QTest::newRow("tag without =") << "bare";
        QTest::newRow("class item at the top level") << "orphan";
        QTest::newRow("class item under a folder") << "underFolder";
    }

    void detailsKeepOnFolderAndStrayTags()
    {
        QFETCH(QString, kind);
        QVERIFY(CAdminFixture::addFolder("Folder", "{f}"));
        QVERIFY(CAdminFixture::addClient(kA, "pc", "203.0.113.1", "1"));
        QVERIFY(CAdminFixture::addClientFile(kA, {{"CPU", {CAdminFixture::row({"Name=Chip"})}}}));
        Window win;
        QTreeWidget *tree = win.w.ui.treeWidget;
        win.click(findItem(tree, "UUID=" + kA));
        const QStringList shown = details(win.w);
        QCOMPARE(shown, QStringList({"CPU=Chip"}));
        QTreeWidgetItem *item = nullptr;
        if (kind == "folder") {
            item = findItem(tree, "FOLDER={f}");
        } else {
            item = new QTreeWidgetItem(kind == "underFolder" ? findItem(tree, "FOLDER={f}") : nullptr);
            if (kind != "underFolder")
                tree->addTopLevelItem(item);
            item->setData(0, Qt::UserRole, kind == "bare" ? QStringLiteral("UUID") : QStringLiteral("INFO=CPU"));
        }
        win.click(item);
        QCOMPARE(details(win.w), shown);
    }

    void missingClientFileIsNotCreated()
    {
        QVERIFY(CAdminFixture::addClient(kA, "pc", "203.0.113.1", "1"));
        QVERIFY(CAdminFixture::addClient(kB, "other", "203.0.113.2", "1"));
        QVERIFY(CAdminFixture::addClientFile(kB, {{"CPU", {CAdminFixture::row({"Name=Chip"})}}}));
        Window win;
        win.click(findItem(win.w.ui.treeWidget, "UUID=" + kB));
        QCOMPARE(win.w.m_details->count(), 1);
        QTreeWidgetItem *client = findItem(win.w.ui.treeWidget, "UUID=" + kA);
        win.click(client);
        QCOMPARE(win.w.m_details->count(), 0);
        win.click(client->child(0));
        QCOMPARE(win.w.m_details->count(), 0);
        QVERIFY(!QFile::exists(CStoreTestRun::path(kA + ".xml")));
    }

    void blankDigestsAndNoRecords()
    {
        QVERIFY(CAdminFixture::addClient(kC, "pc", "203.0.113.1", "1"));
        // Rows whose digest property is missing get a blank digest.
        QVERIFY(CAdminFixture::addClientFile(kC, {{"CPU", {CAdminFixture::row({"Vendor=X"})}}}));
        Window win;
        win.click(win.w.ui.treeWidget->topLevelItem(0));
        QCOMPARE(win.w.m_details->count(), 0);
    }
};

BRAMIX_ADMIN_TEST_MAIN(TestClientTree)
#include "tst_clienttree.moc"
