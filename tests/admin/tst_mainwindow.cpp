// The main window's form, start-up set-up, language switch, worker-thread ownership and About box.

#include "caboutdlg.h"
#include "cadminfixture.h"
#include "cadmintestrun.h"
#include "ctestdialogs.h"
#include "ctestenvironment.h"
#include "qtm.h"

#include <QDialogButtonBox>
#include <QDockWidget>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QThread>
#include <QTranslator>
#include <QtTest>

#include <memory>

namespace {

QImage picture(const QString &name)
{
    return QImage(QStringLiteral(":/new/prefix1/Resources/") + name)
        .convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

QImage iconImage(const QIcon &icon, int size = 32)
{
    return icon.pixmap(size, size).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

QStringList actionTexts(const QList<QAction *> &actions)
{
    QStringList out;
    for (QAction *a : actions)
        out << (a->isSeparator() ? QStringLiteral("|") : a->text());
    return out;
}

QDockWidget *detailsDock(qtm &w)
{
    return w.findChild<QDockWidget *>();
}

// Runs until interrupted, like a probe waiting on a slow peer.
class CBusyThread : public QThread
{
protected:
    void run() override
    {
        while (!isInterruptionRequested())
            msleep(5);
        stoppedCleanly = true;
    }

public:
    bool stoppedCleanly = false;
};

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private:
    // The window as main leaves it: the start-up translator (owned by the caller) installed.
    struct Window
    {
        // main's translator: installed before the window is built, and never the window's to free.
        QPointer<QTranslator> startTranslator;
        std::unique_ptr<qtm> window;
        qtm &w;
        explicit Window(const QString &lang = QStringLiteral("EN"))
            : startTranslator(new QTranslator)
            , window(makeWindow(startTranslator, lang))
            , w(*window)
        { }
        static qtm *makeWindow(QTranslator *translator, const QString &lang)
        {
            (void)translator->load(QStringLiteral("BramixAdmin_") + lang);
            QCoreApplication::installTranslator(translator);
            qtm *w = new qtm(nullptr, {});
            w->m_translator = translator;
            w->init();
            return w;
        }
        ~Window()
        {
            window.reset();
            delete startTranslator.data();
        }
    };

private slots:
    void init()
    {
        QVERIFY(CAdminFixture::reset());
        CAdminTestRun::clearSettings();
        CAdminTestRun::dialogs().reset();
        for (const char *code : {"EN", "CN", "JP"})
            QVERIFY(CAdminTestRun::installTranslation(QLatin1String(code)));
    }

    void actions_data()
    {
        QTest::addColumn<QString>("lang");
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("toolTip"); // empty: the toolkit's default from the text
        QTest::addColumn<QString>("icon");
        struct Row
        {
            const char *action, *icon, *en, *enTip, *cn, *cnTip, *jp, *jpTip;
        };
        const Row rows[] = {
            {"action_Open", "search2.PNG", "&Search", "", "搜索(&S)", "", "検索(&S)", ""},
            {"actionUpdate_Client", "update.png", "&Update", "Update client", "更新(&U)", "更新客户端", "更新(&U)",
                "クライアントを更新"},
            {"actionLog_View", "log.png", "Change log", "Change log view", "变更日志", "查看变更日志", "変更履歴",
                "変更履歴を表示"},
            {"actionUpdate_log", "View.png", "Update log", "Update log view", "更新日志", "查看更新日志", "更新履歴",
                "更新履歴を表示"},
            {"actionNew_Folder", "folder.png", "Edit folder", "edit folder ", "编辑文件夹", "编辑文件夹",
                "フォルダの編集", "フォルダを編集"},
            {"actionDelete_Item", "Delete.png", "Delete Item", "Delete this", "删除项目", "删除此项", "項目を削除",
                "この項目を削除"},
            {"actionreprot", "report2.PNG", "&Report", "Report", "报表(&R)", "报表", "レポート(&R)", "レポート"},
            {"actionExportHtml", "IE_01.png", "&Export", "", "导出(&E)", "", "エクスポート(&E)", ""},
            {"action_Exit_2", "Stop.png", "&Exit", "", "退出(&E)", "", "終了(&E)", ""},
            {"actionChinese", "zhong.PNG", "Chinese", "", "中文", "", "中国語", ""},
            {"actionJapanese", "ri.PNG", "Japanese", "", "日语", "", "日本語", ""},
            {"actionEnglish", "en.PNG", "English", "", "英语", "", "英語", ""},
            {"action_About_2", "iMovie.png", "&About", "", "关于(&A)", "", "バージョン情報(&A)", ""},
        };
        for (const Row &r : rows) {
            QTest::addRow("EN %s", r.action)
                << "EN" << r.action << QString::fromUtf8(r.en) << QString::fromUtf8(r.enTip) << r.icon;
            QTest::addRow("CN %s", r.action)
                << "CN" << r.action << QString::fromUtf8(r.cn) << QString::fromUtf8(r.cnTip) << r.icon;
            QTest::addRow("JP %s", r.action)
                << "JP" << r.action << QString::fromUtf8(r.jp) << QString::fromUtf8(r.jpTip) << r.icon;
        }
    }

    // Each language reached by its action, as the administrator does.
    void actions()
    {
        QFETCH(QString, lang);
        QFETCH(QString, action);
        QFETCH(QString, text);
        QFETCH(QString, toolTip);
        QFETCH(QString, icon);
        Window win;
        if (lang == QLatin1String("CN"))
            win.w.ui.actionChinese->trigger();
        else if (lang == QLatin1String("JP"))
            win.w.ui.actionJapanese->trigger();
        else
            win.w.ui.actionEnglish->trigger();
        QAction *a = win.w.findChild<QAction *>(action);
        QVERIFY(a);
        QCOMPARE(a->text(), text);
        if (!toolTip.isEmpty())
            QCOMPARE(a->toolTip(), toolTip);
        QVERIFY(a->shortcut().isEmpty());
        QVERIFY(!picture(icon).isNull());
        QCOMPARE(iconImage(a->icon()), picture(icon));
    }

    void form()
    {
        Window win;
        qtm &w = win.w;
        QCOMPARE(w.objectName(), QStringLiteral("qtmClass"));
        QCOMPARE(w.windowTitle(), QStringLiteral("Bramix Admin"));
        QCOMPARE(w.size(), QSize(858, 536));
        QCOMPARE(iconImage(w.windowIcon(), 128), picture(QStringLiteral("46.png")));
        QCOMPARE(w.toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
        QCOMPARE(actionTexts(w.ui.menuBar->actions()),
            QStringList({"&File", "&Tools", "&Report", "&View", "&Language", "&Help"}));
        QCOMPARE(actionTexts(w.ui.menuF_ile->actions()), QStringList({"&Exit"}));
        QCOMPARE(actionTexts(w.ui.menu_Tools->actions()),
            QStringList({"&Search", "&Update", "Change log", "Update log", "Edit folder"}));
        QCOMPARE(actionTexts(w.ui.menuR_eport->actions()), QStringList({"&Report", "&Export"}));
        QCOMPARE(actionTexts(w.ui.menuW_indow->actions()), QStringList({"Chinese", "Japanese", "English"}));
        QCOMPARE(actionTexts(w.ui.menu_Help->actions()), QStringList({"&About"}));
        QCOMPARE(actionTexts(w.ui.menuView->actions()), QStringList({"Details"}));
        QVERIFY(w.ui.menuView->actions().at(0)->isCheckable());
        QCOMPARE(actionTexts(w.ui.mainToolBar->actions()),
            QStringList(
                {"&Search", "&Update", "|", "&Report", "&Export", "|", "Change log", "Update log", "|", "&About"}));
        QCOMPARE(w.ui.mainToolBar->windowTitle(), QStringLiteral("ToolBar"));
        QCOMPARE(w.ui.mainToolBar->font().pointSize(), 9);
        QCOMPARE(w.toolBarArea(w.ui.mainToolBar), Qt::TopToolBarArea);
        // "Delete Item" lives only in the tree's context menu.
        for (QMenu *menu : w.findChildren<QMenu *>())
            QVERIFY(!menu->actions().contains(w.ui.actionDelete_Item));
        QVERIFY(!w.ui.mainToolBar->actions().contains(w.ui.actionDelete_Item));
        QVERIFY(!w.ui.mainToolBar->actions().contains(w.ui.actionNew_Folder));
        QVERIFY(!w.ui.treeWidget->showDropIndicator());
        QVERIFY(!w.ui.treeWidget->dragEnabled());
        QCOMPARE(w.ui.treeWidget->dragDropMode(), QAbstractItemView::NoDragDrop);
    }

    void setUp()
    {
        Window win;
        qtm &w = win.w;
        QCOMPARE(w.ui.action_Open->statusTip(), QStringLiteral("Search network"));
        QCOMPARE(w.ui.treeWidget->columnCount(), 1);
        QCOMPARE(w.ui.treeWidget->headerItem()->text(0), QStringLiteral("computer"));
        QDockWidget *dock = detailsDock(w);
        QVERIFY(dock);
        QCOMPARE(dock->windowTitle(), QStringLiteral("Details"));
        QCOMPARE(dock->allowedAreas(), Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea);
        QCOMPARE(w.dockWidgetArea(dock), Qt::RightDockWidgetArea);
        QCOMPARE(dock->widget(), static_cast<QWidget *>(w.m_details));
        QVERIFY(!CAdminTestRun::storedLang().isValid());
    }

    // Start-up texts in a stored language, as main installs it before the window is built.
    void startInLanguage_data()
    {
        QTest::addColumn<QString>("lang");
        QTest::addColumn<QString>("details");
        QTest::addColumn<QString>("computer");
        QTest::addColumn<QString>("title");
        QTest::newRow("EN") << "EN"
                            << "Details"
                            << "computer"
                            << "Bramix Admin";
        QTest::newRow("CN") << "CN" << QString::fromUtf8("详细信息") << QString::fromUtf8("计算机")
                            << QString::fromUtf8("Bramix 管理控制台");
        QTest::newRow("JP") << "JP" << QString::fromUtf8("詳細") << QString::fromUtf8("コンピュータ")
                            << QString::fromUtf8("Bramix 管理コンソール");
        QTest::newRow("unknown code") << "FR"
                                      << "Details"
                                      << "computer"
                                      << "Bramix Admin";
    }

    void startInLanguage()
    {
        QFETCH(QString, lang);
        QFETCH(QString, details);
        QFETCH(QString, computer);
        QFETCH(QString, title);
        Window win(lang);
        QCOMPARE(detailsDock(win.w)->windowTitle(), details);
        QCOMPARE(win.w.ui.treeWidget->headerItem()->text(0), computer);
        QCOMPARE(win.w.windowTitle(), title);
    }

    void switchStoresAndRetranslates_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("code");
        QTest::addColumn<bool>("qmPresent");
        QTest::addColumn<QString>("searchText");
        QTest::newRow("Chinese") << "actionChinese"
                                 << "CN" << true << QString::fromUtf8("搜索(&S)");
        QTest::newRow("Japanese") << "actionJapanese"
                                  << "JP" << true << QString::fromUtf8("検索(&S)");
        QTest::newRow("English") << "actionEnglish"
                                 << "EN" << true << "&Search";
        QTest::newRow("Chinese, no file") << "actionChinese"
                                          << "CN" << false << "&Search";
        QTest::newRow("Japanese, no file") << "actionJapanese"
                                           << "JP" << false << "&Search";
    }

    void switchStoresAndRetranslates()
    {
        QFETCH(QString, action);
        QFETCH(QString, code);
        QFETCH(bool, qmPresent);
        QFETCH(QString, searchText);
        if (!qmPresent)
            CAdminTestRun::removeTranslation(code);
        Window win;
        win.w.findChild<QAction *>(action)->trigger();
        QCOMPARE(CAdminTestRun::storedLang().toString(), code);
        QCOMPARE(win.w.ui.action_Open->text(), searchText);
        // Texts set once at start-up stay as they are.
        QCOMPARE(detailsDock(win.w)->windowTitle(), QStringLiteral("Details"));
        QCOMPARE(win.w.ui.treeWidget->headerItem()->text(0), QStringLiteral("computer"));
        QCOMPARE(win.w.ui.action_Open->statusTip(), QStringLiteral("Search network"));
    }

    // The toolkit's own texts (standard buttons of every dialog) follow the switch through the same
    // translator.
    void toolkitTextsFollow_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("cancel");
        QTest::addColumn<QString>("ok");
        QTest::newRow("Chinese") << "actionChinese" << QString::fromUtf8("取消") << QString::fromUtf8("确定");
        QTest::newRow("Japanese") << "actionJapanese" << QString::fromUtf8("キャンセル") << "OK";
        QTest::newRow("English") << "actionEnglish"
                                 << "Cancel"
                                 << "OK";
    }

    void toolkitTextsFollow()
    {
        QFETCH(QString, action);
        QFETCH(QString, cancel);
        QFETCH(QString, ok);
        if (action != QLatin1String("actionEnglish") && !QFile::exists("/usr/share/qt6/translations/qtbase_zh_CN.qm"))
            QSKIP("the toolkit's translations (qt6-translations-l10n) are not installed");
        Window win;
        win.w.findChild<QAction *>(action)->trigger();
        QDialogButtonBox box(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
        QCOMPARE(box.button(QDialogButtonBox::Cancel)->text(), cancel);
        QCOMPARE(box.button(QDialogButtonBox::Ok)->text(), ok);
        // The console's own texts are still there.
        QVERIFY(action == QLatin1String("actionEnglish") || win.w.ui.action_Open->text() != QLatin1String("&Search"));
    }

    // Each switch frees the translator it replaces, but never the one main owns.
    void switchFreesReplacedTranslator()
    {
        Window win;
        win.w.ui.actionChinese->trigger();
        QPointer<QTranslator> first = win.w.m_translator;
        QVERIFY(first && first.data() != win.startTranslator.data());
        QVERIFY(!win.startTranslator.isNull());
        win.w.ui.actionJapanese->trigger();
        QVERIFY(first.isNull());
        QPointer<QTranslator> second = win.w.m_translator;
        win.w.ui.actionEnglish->trigger();
        QVERIFY(second.isNull());
        QVERIFY(!win.startTranslator.isNull());
        QCOMPARE(win.w.ui.action_Open->text(), QStringLiteral("&Search"));
        // Only the current translator is installed: removing it brings the source texts back.
        QCoreApplication::removeTranslator(win.w.m_translator);
        QCOMPARE(QCoreApplication::translate("qtmClass", "&Search"), QStringLiteral("&Search"));
        QCoreApplication::installTranslator(win.w.m_translator);
    }

    void closingWindowStopsWorkers()
    {
        QPointer<CBusyThread> thread;
        CBusyThread *raw = nullptr;
        {
            Window win;
            raw = new CBusyThread;
            thread = raw;
            win.w.adoptThread(raw);
            QCOMPARE(raw->parent(), static_cast<QObject *>(&win.w));
            raw->start();
            QVERIFY(CTestEnvironment::waitFor([&] { return raw->isRunning(); }));
        }
        // Asked to stop, waited for, then freed with the window.
        QVERIFY(thread.isNull());
    }

    void about_data()
    {
        QTest::addColumn<QString>("lang");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("product");
        QTest::addColumn<QString>("ok");
        QTest::newRow("EN") << "EN"
                            << "CAboutDlg"
                            << "Bramix Admin"
                            << "OK";
        QTest::newRow("CN") << "CN" << QString::fromUtf8("关于 Bramix Admin") << QString::fromUtf8("Bramix 管理控制台")
                            << QString::fromUtf8("确定");
        QTest::newRow("JP") << "JP" << QString::fromUtf8("Bramix Admin について")
                            << QString::fromUtf8("Bramix 管理コンソール") << "OK";
    }

    void about()
    {
        QFETCH(QString, lang);
        QFETCH(QString, title);
        QFETCH(QString, product);
        QFETCH(QString, ok);
        Window win;
        if (lang == QLatin1String("CN"))
            win.w.ui.actionChinese->trigger();
        else if (lang == QLatin1String("JP"))
            win.w.ui.actionJapanese->trigger();
        QString seenTitle, seenProduct, seenOk, seenVersion;
        QImage seenPicture;
        bool hadParent = true;
        CAdminTestRun::dialogs().dialogHandlers.enqueue([&](QDialog &dlg) {
            CAboutDlg &about = static_cast<CAboutDlg &>(dlg);
            hadParent = about.parentWidget() != nullptr;
            seenTitle = about.windowTitle();
            seenProduct = about.ui.label_2->text();
            seenOk = about.ui.pushButton->text();
            seenVersion = about.ui.m_ctrVersion->text();
            seenPicture = about.ui.label->pixmap().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
            about.show();
            QTest::mouseClick(about.ui.pushButton, Qt::LeftButton);
            return about.result();
        });
        win.w.ui.action_About_2->trigger();
        QCOMPARE(CAdminTestRun::dialogs().dialogs, QStringList({"CAboutDlgClass"}));
        QVERIFY(!hadParent);
        QCOMPARE(seenTitle, title);
        QCOMPARE(seenProduct, product);
        QCOMPARE(seenOk, ok);
        QCOMPARE(seenVersion, QStringLiteral("Version :2.1.20090715"));
        QCOMPARE(seenPicture, picture(QStringLiteral("46.png")));
    }

    void aboutForm()
    {
        CAboutDlg about(nullptr);
        QCOMPARE(about.size(), QSize(418, 296));
        QCOMPARE(about.ui.label->geometry(), QRect(30, 20, 128, 128));
        QCOMPARE(about.ui.label_2->geometry(), QRect(200, 40, 181, 18));
        QCOMPARE(about.ui.m_ctrVersion->geometry(), QRect(190, 100, 191, 16));
        QCOMPARE(about.ui.pushButton->geometry(), QRect(180, 250, 75, 23));
        QCOMPARE(about.ui.label_2->font().pointSize(), 12);
        QVERIFY(about.ui.label_2->font().bold());
        QVERIFY(about.ui.label->text().isEmpty());
        // OK, Escape and the window's close all end the run.
        about.show();
        QTest::keyClick(&about, Qt::Key_Escape);
        QCOMPARE(about.result(), int(QDialog::Rejected));
        QVERIFY(!about.isVisible());
    }

    // Every picture the console names is in the resources, in the format its name says.
    void pictures_data()
    {
        QTest::addColumn<QString>("name");
        for (const char *name : {"46.png", "Delete.png", "IE_01.png", "Stop.png", "TuxG2.png", "View.png",
                 "Windows4.png", "alixe.png", "apple.jpg", "custome_col.png", "del.png", "en.PNG", "folder.png",
                 "font2.PNG", "h.bmp", "iMovie.png", "left.png", "linux.png", "log.png", "printer2.PNG", "report2.PNG",
                 "ri.PNG", "right.png", "search2.PNG", "update.png", "v.bmp", "watch.png", "windows.png", "zhong.PNG"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }

    void pictures()
    {
        QFETCH(QString, name);
        QFile file(QStringLiteral(":/new/prefix1/Resources/") + name);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray head = file.read(8);
        const QString suffix = QFileInfo(name).suffix().toLower();
        if (suffix == QLatin1String("png"))
            QCOMPARE(head, QByteArray("\x89PNG\r\n\x1a\n", 8));
        else if (suffix == QLatin1String("jpg"))
            QVERIFY(head.startsWith("\xff\xd8\xff"));
        else
            QVERIFY(head.startsWith("BM"));
        QVERIFY(!picture(name).isNull());
    }
};

BRAMIX_ADMIN_TEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
