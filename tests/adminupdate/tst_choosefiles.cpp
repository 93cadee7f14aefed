// Choosing update files: a file whose name the push cannot carry is refused when it is chosen, with a
// warning that names it, instead of being published and then failing every push.
#include "cadmintestrun.h"
#include "ctestdialogs.h"
#include "selupfiledlg.h"

#include <QCommandLinkButton>
#include <QDir>
#include <QListWidget>
#include <QTranslator>
#include <QtTest>

class TestChooseFiles : public QObject
{
    Q_OBJECT

private:
    static QStringList rows(const SelUpFileDlg &dlg, const char *list)
    {
        return CAdminTestRun::rowTexts(dlg.findChild<QListWidget *>(list));
    }

private slots:
    void init()
    {
        CStoreTestRun::clear();
        QVERIFY(CStoreTestRun::installShipped("uplist.xml"));
        CAdminTestRun::dialogs().reset();
    }

    void namesThePushCannotCarryAreRefused_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("list");
        QTest::addColumn<QStringList>("chosen");
        QTest::addColumn<QStringList>("listed");
        QTest::addColumn<QStringList>("refused");

        const QString cjk = QString::fromUtf8("/u/\xe6\x9b\xb4\xe6\x96\xb0.exe"); // two CJK characters
        const QString latin1 = QString::fromUtf8("/u/caf\xc3\xa9-\xc3\xbf.exe"); // U+00E9, U+00FF
        const QString aboveLatin1 = QString::fromUtf8("/u/client-\xc4\x80.bin"); // U+0100
        QTest::newRow("colon") << "buWinSel"
                               << "WindowsList" << QStringList {"/u/v2:1.exe"} << QStringList()
                               << QStringList {"/u/v2:1.exe"};
        QTest::newRow("CJK name") << "buWinSel"
                                  << "WindowsList" << QStringList {cjk} << QStringList() << QStringList {cjk};
        QTest::newRow("just above Latin-1")
            << "buLinSel"
            << "LinuxList" << QStringList {aboveLatin1} << QStringList() << QStringList {aboveLatin1};
        QTest::newRow("Latin-1 to U+00FF taken")
            << "buWinSel"
            << "WindowsList" << QStringList {latin1} << QStringList {latin1} << QStringList();
        QTest::newRow("only the name counts")
            << "buLinSel"
            << "LinuxList" << QStringList {cjk + ":/client"} << QStringList {cjk + ":/client"} << QStringList();
        QTest::newRow("backslash in a name")
            << "buLinSel"
            << "LinuxList" << QStringList {"/u/a\\b"} << QStringList() << QStringList {"/u/a\\b"};
        QTest::newRow("line feed in a name")
            << "buLinSel"
            << "LinuxList" << QStringList {"/u/a\nb"} << QStringList() << QStringList {"/u/a\nb"};
        QTest::newRow("mixed: the good ones listed in order, one warning for the rest")
            << "buWinSel"
            << "WindowsList" << QStringList {"/u/a.exe", "/u/x:y.exe", "/u/b.dll", cjk}
            << QStringList {"/u/a.exe", "/u/b.dll"} << QStringList {"/u/x:y.exe", cjk};
    }

    void namesThePushCannotCarryAreRefused()
    {
        QFETCH(QString, button);
        QFETCH(QString, list);
        QFETCH(QStringList, chosen);
        QFETCH(QStringList, listed);
        QFETCH(QStringList, refused);
        CTestDialogs &dialogs = CAdminTestRun::dialogs();
        SelUpFileDlg dlg;
        dialogs.fileNames.enqueue(chosen);
        dlg.findChild<QCommandLinkButton *>(button)->click();
        QCOMPARE(rows(dlg, qPrintable(list)), listed);
        QCOMPARE(dialogs.messages.size(), refused.isEmpty() ? 0 : 1);
        if (refused.isEmpty())
            return;
        const CTestDialogs::Message &m = dialogs.messages.at(0);
        QCOMPARE(m.icon, QMessageBox::Warning);
        QVERIFY(m.hasParent);
        QCOMPARE(m.title, QString("Select file to update"));
        for (const QString &path : refused)
            QVERIFY2(m.text.contains(QDir::toNativeSeparators(path)), qPrintable(m.text));
        for (const QString &path : listed)
            QVERIFY2(!m.text.contains(path), qPrintable(m.text));
    }

    // The warning is in the console's language like its other texts: one refused file, then two.
    void warningIsTranslated_data()
    {
        QTest::addColumn<QString>("code");
        QTest::newRow("CN") << "CN";
        QTest::newRow("JP") << "JP";
    }

    void warningIsTranslated()
    {
        QFETCH(QString, code);
        const QList<CTestDialogs::Message> english = refuseOneThenTwo();
        QCOMPARE(english.size(), 2);
        QVERIFY(CAdminTestRun::installTranslation(code));
        QTranslator translator;
        QVERIFY(translator.load("BramixAdmin_" + code));
        QCoreApplication::installTranslator(&translator);
        const QList<CTestDialogs::Message> translated = refuseOneThenTwo();
        QCoreApplication::removeTranslator(&translator);
        CAdminTestRun::removeTranslation(code);
        QCOMPARE(translated.size(), 2);
        for (int i = 0; i < 2; ++i) {
            QVERIFY2(translated.at(i).title != english.at(i).title, qPrintable(translated.at(i).title));
            QVERIFY2(translated.at(i).text != english.at(i).text, qPrintable(translated.at(i).text));
            QVERIFY2(translated.at(i).text.contains("/u/x:y.exe"), qPrintable(translated.at(i).text));
        }
        QVERIFY2(translated.at(1).text.contains("/u/z:w"), qPrintable(translated.at(1).text));
    }

private:
    static QList<CTestDialogs::Message> refuseOneThenTwo()
    {
        CTestDialogs &dialogs = CAdminTestRun::dialogs();
        dialogs.reset();
        SelUpFileDlg dlg;
        dialogs.fileNames.enqueue({"/u/x:y.exe"});
        dlg.findChild<QCommandLinkButton *>("buWinSel")->click();
        dialogs.fileNames.enqueue({"/u/x:y.exe", "/u/z:w"});
        dlg.findChild<QCommandLinkButton *>("buLinSel")->click();
        return dialogs.messages;
    }
};

BRAMIX_ADMIN_TEST_MAIN(TestChooseFiles)
#include "tst_choosefiles.moc"
