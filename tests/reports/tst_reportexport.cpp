// Both HTML exports against pages written by hand (escaping included), and the save steps: cancel,
// replacing a longer file, an unwritable target, the question and the viewer.
#include "cadmintestrun.h"
#include "creport.h"
#include "creportfixture.h"
#include "ctestdialogs.h"
#include "qtm.h"

#include <QDesktopServices>
#include <QtTest>

namespace {

QByteArray expected(const QString &name)
{
    QFile f(QStringLiteral(BRAMIX_REPORT_DATA "/") + name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("missing " + name.toUtf8());
}

QList<CReportFixture::Client> exportClients()
{
    CReportFixture::Client lab {QString::fromUtf8("\xe7\xa0\x94\xe7\xa9\xb6<lab>"), "203.0.113.1",
        {{"CPU", {"Name=Intel A\nMaxClockSpeed=2400\n", "Name=Intel B\n"}},
            {"Software", {"Caption=<script>alert(1)</script>\nVendor=R&D\n"}}}};
    CReportFixture::Client bare {"bare", "203.0.113.2", {}};
    bare.withFile = false;
    return {lab, bare};
}

} // namespace

// Records what the desktop was asked to open.
class CViewer : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl &url) { opened << url; }
};

class TestReportExport : public QObject
{
    Q_OBJECT

private:
    CViewer m_viewer;
    CTestDialogs &dialogs() { return CAdminTestRun::dialogs(); }
    QString target(const QString &name) { return CStoreTestRun::path(name); }

    void reportExport(CReport &report)
    {
        report.m_columns = QStringList {"CPU", "Software", "Battery"};
        QMetaObject::invokeMethod(&report, "on_search_clicked");
        report.ui.tableWidget->sortByColumn(0, Qt::AscendingOrder);
        report.ui.actionExport_to_Hteml->trigger();
    }

private slots:
    void initTestCase() { QDesktopServices::setUrlHandler(QStringLiteral("file"), &m_viewer, "open"); }
    void cleanupTestCase() { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); }
    void init()
    {
        QVERIFY(CReportFixture::build(exportClients()));
        QDir dir(CStoreTestRun::appDir());
        for (const QString &page : dir.entryList({"*.html*", "plain"}))
            QFile::remove(dir.filePath(page));
        dialogs().reset();
        m_viewer.opened.clear();
    }

    void reportPageAsWrittenByHand()
    {
        CReport report(nullptr, {});
        dialogs().fileNames.enqueue({target("report.html")});
        dialogs().answers.enqueue(QMessageBox::No);
        reportExport(report);
        QCOMPARE(CStoreTestRun::read("report.html"), expected("report_expected.html"));
        QCOMPARE(dialogs().fileRequests.size(), 1);
        QCOMPARE(dialogs().fileRequests.at(0).kind, QString("save"));
        QCOMPARE(dialogs().fileRequests.at(0).caption, QString("Select export file "));
        QCOMPARE(dialogs().fileRequests.at(0).filter, QString("Html file (*.html *.htm )"));
        QCOMPARE(dialogs().messages.size(), 1);
        QCOMPARE(dialogs().messages.at(0).text, QString("Do you want open the file?"));
        QCOMPARE(dialogs().messages.at(0).title, QString());
        QVERIFY(!dialogs().messages.at(0).hasParent);
        QCOMPARE(dialogs().messages.at(0).buttons, QMessageBox::Yes | QMessageBox::No);
        QVERIFY(m_viewer.opened.isEmpty());
    }

    void emptyTableAndNoColumns()
    {
        CReport report(nullptr, {});
        report.m_columns.clear();
        dialogs().fileNames.enqueue({target("empty.html")});
        report.ui.actionExport_to_Hteml->trigger();
        QCOMPARE(CStoreTestRun::read("empty.html"), expected("report_nocolumns_expected.html"));
    }

    void clientListPageAsWrittenByHand()
    {
        qtm window(nullptr, {});
        dialogs().fileNames.enqueue({target("list.html")});
        dialogs().answers.enqueue(QMessageBox::Yes);
        QMetaObject::invokeMethod(&window, "ExportHtml");
        QCOMPARE(CStoreTestRun::read("list.html"), expected("clientlist_expected.html"));
        QCOMPARE(m_viewer.opened, QList<QUrl> {QUrl::fromLocalFile(target("list.html"))});
    }

    void emptyClientList()
    {
        QVERIFY(CReportFixture::build({}));
        qtm window(nullptr, {});
        dialogs().fileNames.enqueue({target("none.html")});
        QMetaObject::invokeMethod(&window, "ExportHtml");
        QByteArray page = expected("clientlist_expected.html");
        page = page.left(page.indexOf("</tr>") + 5) + "</table></body></html>";
        QCOMPARE(CStoreTestRun::read("none.html"), page);
    }

    void cancelWritesNothing()
    {
        CReport report(nullptr, {});
        reportExport(report); // no file name queued: cancelled
        QCOMPARE(dialogs().fileRequests.size(), 1);
        QVERIFY(dialogs().messages.isEmpty());
        QVERIFY(QDir(CStoreTestRun::appDir()).entryList({"*.html"}).isEmpty());
    }

    void replacesALongerFileWhole()
    {
        QVERIFY(CStoreTestRun::write("old.html", QByteArray(100000, 'x')));
        CReport report(nullptr, {});
        dialogs().fileNames.enqueue({target("old.html")});
        reportExport(report);
        QCOMPARE(CStoreTestRun::read("old.html"), expected("report_expected.html"));
    }

    void defaultSuffix()
    {
        CReport report(nullptr, {});
        dialogs().fileNames.enqueue({target("plain")});
        reportExport(report);
        QCOMPARE(CStoreTestRun::read("plain.html"), expected("report_expected.html"));
    }

    // The save dialog asks before replacing the name it returns; a file that only the added suffix
    // hits must be asked for here.
    void replacingTheSuffixedName_data()
    {
        QTest::addColumn<bool>("clientList");
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<bool>("asked");
        QTest::addColumn<int>("answer");
        QTest::newRow("report, No") << false << "taken" << true << int(QMessageBox::No);
        QTest::newRow("report, Yes") << false << "taken" << true << int(QMessageBox::Yes);
        QTest::newRow("client list, No") << true << "taken" << true << int(QMessageBox::No);
        QTest::newRow("client list, Yes") << true << "taken" << true << int(QMessageBox::Yes);
        QTest::newRow("box closed") << true << "taken" << true << int(QMessageBox::NoButton);
        QTest::newRow("named in full: the dialog asked") << false << "taken.html" << false << 0;
    }

    void replacingTheSuffixedName()
    {
        QFETCH(bool, clientList);
        QFETCH(QString, chosen);
        QFETCH(bool, asked);
        QFETCH(int, answer);
        QVERIFY(CStoreTestRun::write("taken.html", "keep"));
        dialogs().fileNames.enqueue({target(chosen)});
        if (asked)
            dialogs().answers.enqueue(QMessageBox::StandardButton(answer));
        dialogs().answers.enqueue(QMessageBox::No); // the question whether to open the page
        const bool replace = !asked || answer == QMessageBox::Yes;
        if (clientList) {
            qtm window(nullptr, {});
            QMetaObject::invokeMethod(&window, "ExportHtml");
        } else {
            CReport report(nullptr, {});
            reportExport(report);
        }
        QCOMPARE(dialogs().messages.size(), (asked ? 1 : 0) + (replace ? 1 : 0));
        if (asked) {
            const CTestDialogs::Message &m = dialogs().messages.at(0);
            QCOMPARE(m.icon, QMessageBox::Question);
            QCOMPARE(m.buttons, QMessageBox::Yes | QMessageBox::No);
            QVERIFY(m.hasParent);
            QVERIFY2(m.text.contains(QDir::toNativeSeparators(target("taken.html"))), qPrintable(m.text));
        }
        if (replace) {
            QCOMPARE(dialogs().messages.last().text, QString("Do you want open the file?"));
            QCOMPARE(CStoreTestRun::read("taken.html"),
                expected(clientList ? "clientlist_expected.html" : "report_expected.html"));
        } else {
            QCOMPARE(CStoreTestRun::read("taken.html"), QByteArray("keep"));
        }
        QCOMPARE(QDir(CStoreTestRun::appDir()).entryList({"*.html*"}), QStringList({"taken.html"}));
    }

    void unwritableTarget_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("readOnlyFile");
        QTest::newRow("directory gone") << "gone/report.html" << false;
        QTest::newRow("write-protected file") << "locked.html" << true;
    }

    void unwritableTarget()
    {
        QFETCH(QString, name);
        QFETCH(bool, readOnlyFile);
        if (readOnlyFile) {
            QVERIFY(CStoreTestRun::write(name, "keep"));
            QVERIFY(QFile::setPermissions(target(name), QFile::ReadOwner));
        }
        qtm window(nullptr, {});
        dialogs().fileNames.enqueue({target(name)});
        dialogs().answers.enqueue(QMessageBox::Yes);
        QMetaObject::invokeMethod(&window, "ExportHtml");
        QCOMPARE(dialogs().messages.size(), 1);
        QCOMPARE(dialogs().messages.at(0).icon, QMessageBox::Warning);
        QVERIFY2(dialogs().messages.at(0).text.contains(target(name)), qPrintable(dialogs().messages.at(0).text));
        QVERIFY(m_viewer.opened.isEmpty());
        if (readOnlyFile) {
            QCOMPARE(CStoreTestRun::read(name), QByteArray("keep"));
            QFile::setPermissions(target(name), QFile::ReadOwner | QFile::WriteOwner);
        }
        QVERIFY(QDir(CStoreTestRun::appDir()).entryList({"*.html*"}).size() == (readOnlyFile ? 1 : 0));
    }
};

BRAMIX_ADMIN_TEST_MAIN(TestReportExport)
#include "tst_reportexport.moc"
