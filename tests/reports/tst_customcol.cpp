// The column chooser: adding, removing, restoring, the ways to accept and to refuse, and the report
// window taking its choice over and searching again.
#include "cadmintestrun.h"
#include "ccustomcol.h"
#include "creport.h"
#include "ctestdialogs.h"

#include <QTimer>
#include <QtTest>

namespace {

QStringList texts(const QListWidget *list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

void doubleClick(QListWidget *list, int row)
{
    list->scrollToItem(list->item(row));
    QCoreApplication::processEvents();
    const QRect r = list->visualItemRect(list->item(row));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, r.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, r.center());
}

// Runs the dialog modally; once it is up, act does what the user does.
int runWith(QDialog &dialog, const std::function<void()> &act)
{
    QTimer::singleShot(0, &dialog, act);
    // Should act leave the dialog open, the test fails instead of waiting for ever.
    QTimer::singleShot(10000, &dialog, [&dialog] { dialog.done(-1); });
    return dialog.exec();
}

// The result a test gives a dialog that its act left open.
const int kLeftOpen = 7;

const QStringList kClasses = {"BIOS", "BaseBoard", "CDROMDrive", "CPU", "DesktopMonitor", "DiskDrive", "MemoryDevice",
    "NetworkAdapter", "OS", "Printer", "Software", "SoundDevice", "VideoController"};

} // namespace

class TestCustomCol : public QObject
{
    Q_OBJECT

private slots:
    void init() { CAdminTestRun::dialogs().reset(); }

    void leftListOffersTheClassKeys()
    {
        CCustomCol c(nullptr);
        QCOMPARE(texts(c.ui.leftList), kClasses);
        QCOMPARE(c.ui.rightList->count(), 0);
        QVERIFY(c.m_columns.isEmpty());
    }

    void addingSelectsAnExistingEntry()
    {
        CCustomCol c(nullptr);
        c.setColumns({"lastupdate", "CPU", "OS", "CPU"});
        QCOMPARE(texts(c.ui.rightList), QStringList({"lastupdate", "CPU", "OS", "CPU"}));
        // Nothing current on the left: the button does nothing.
        c.ui.addSelect->click();
        QCOMPARE(c.ui.rightList->count(), 4);
        c.ui.leftList->setCurrentRow(kClasses.indexOf("CPU"));
        c.ui.addSelect->click();
        QCOMPARE(c.ui.rightList->count(), 4);
        QCOMPARE(c.ui.rightList->currentRow(), 1);
        c.ui.leftList->setCurrentRow(kClasses.indexOf("BIOS"));
        c.ui.addSelect->click();
        QCOMPARE(texts(c.ui.rightList), QStringList({"lastupdate", "CPU", "OS", "CPU", "BIOS"}));
    }

    void removingAndRestoring()
    {
        CCustomCol c(nullptr);
        c.setColumns({"lastupdate", "CPU", "CPU"});
        c.ui.rightList->setCurrentRow(-1);
        c.ui.delSelect->click();
        QCOMPARE(c.ui.rightList->count(), 3);
        c.ui.rightList->setCurrentRow(0);
        c.ui.delSelect->click();
        QCOMPARE(texts(c.ui.rightList), QStringList({"CPU", "CPU"}));
        QTest::mouseClick(c.ui.delAll, Qt::LeftButton);
        QCOMPARE(c.ui.rightList->count(), 0);
        c.ui.addAll->click();
        QCOMPARE(texts(c.ui.rightList), QStringList({"lastupdate", "CPU", "CPU"}));
    }

    void doubleClicks()
    {
        CCustomCol c(nullptr);
        c.resize(536, 382);
        c.show();
        QVERIFY(QTest::qWaitForWindowExposed(&c));
        c.setColumns({"CPU", "OS"});
        doubleClick(c.ui.leftList, kClasses.indexOf("Printer"));
        QCOMPARE(texts(c.ui.rightList), QStringList({"CPU", "OS", "Printer"}));
        doubleClick(c.ui.leftList, kClasses.indexOf("OS"));
        QCOMPARE(c.ui.rightList->count(), 3);
        QCOMPARE(c.ui.rightList->currentRow(), 1);
        doubleClick(c.ui.rightList, 0);
        QCOMPARE(texts(c.ui.rightList), QStringList({"OS", "Printer"}));
    }

    void acceptAndRefuse_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("result");
        QTest::addColumn<QStringList>("columns");
        QTest::newRow("OK by mouse") << "ok" << int(QDialog::Accepted) << QStringList({"CPU", "Software"});
        QTest::newRow("OK by Enter") << "enter" << int(QDialog::Accepted) << QStringList({"CPU", "Software"});
        QTest::newRow("delAll then OK") << "delAllOk" << int(QDialog::Accepted) << QStringList();
        QTest::newRow("Cancel") << "cancel" << int(QDialog::Rejected) << QStringList();
        QTest::newRow("Escape") << "escape" << int(QDialog::Rejected) << QStringList();
        QTest::newRow("closed") << "close" << int(QDialog::Rejected) << QStringList();
        // Pressed on OK, released beside it: no click, so the dialog stays open (the test then ends
        // it with kLeftOpen) and takes nothing; a real click afterwards still accepts.
        QTest::newRow("OK released outside") << "okOutside" << kLeftOpen << QStringList();
        QTest::newRow("released outside, then OK")
            << "okOutsideThenOk" << int(QDialog::Accepted) << QStringList({"CPU", "Software"});
    }

    void acceptAndRefuse()
    {
        QFETCH(QString, how);
        QFETCH(int, result);
        QFETCH(QStringList, columns);
        CCustomCol c(nullptr);
        c.setColumns({"CPU", "Software"});
        const int got = runWith(c, [&] {
            if (how == "ok") {
                QTest::mouseClick(c.ui.okButton, Qt::LeftButton);
            } else if (how == "enter") {
                c.ui.okButton->setFocus();
                QTest::keyClick(c.ui.okButton, Qt::Key_Return);
            } else if (how == "delAllOk") {
                QTest::mouseClick(c.ui.delAll, Qt::LeftButton);
                QTest::mouseClick(c.ui.okButton, Qt::LeftButton);
            } else if (how == "cancel") {
                QTest::mouseClick(c.ui.cancelButton, Qt::LeftButton);
            } else if (how.startsWith("okOutside")) {
                const QPoint beside(c.ui.okButton->width() + 20, c.ui.okButton->height() / 2);
                QTest::mousePress(c.ui.okButton, Qt::LeftButton);
                QTest::mouseMove(c.ui.okButton, beside);
                QTest::mouseRelease(c.ui.okButton, Qt::LeftButton, {}, beside);
                if (!c.isVisible())
                    return; // taken as an answer: the result shows it
                if (how == "okOutside")
                    c.done(kLeftOpen);
                else
                    QTest::mouseClick(c.ui.okButton, Qt::LeftButton);
            } else if (how == "escape") {
                QTest::keyClick(&c, Qt::Key_Escape);
            } else {
                c.close();
            }
        });
        QCOMPARE(got, result);
        QCOMPARE(c.m_columns, columns);
    }

    void reportTakesTheChoiceAndSearches()
    {
        CReport report(nullptr, {});
        const QStringList before = report.m_columns;
        int offered = 0;
        CAdminTestRun::dialogs().dialogHandlers.enqueue([&offered](QDialog &d) {
            CCustomCol &c = static_cast<CCustomCol &>(d);
            offered = int(c.ui.rightList->count());
            return runWith(d, [&c] {
                QTest::mouseClick(c.ui.delAll, Qt::LeftButton);
                c.ui.leftList->setCurrentRow(kClasses.indexOf("OS"));
                c.ui.addSelect->click();
                QTest::mouseClick(c.ui.okButton, Qt::LeftButton);
            });
        });
        report.ui.actionCustomCol->trigger();
        QCOMPARE(CAdminTestRun::dialogs().dialogs, QStringList({"CCustomColClass"}));
        QCOMPARE(offered, 14);
        QCOMPARE(report.m_columns, QStringList({"OS"}));
        // The search ran again at once.
        QCOMPARE(report.ui.tableWidget->columnCount(), 2);
        QCOMPARE(report.ui.tableWidget->horizontalHeaderItem(1)->text(), QString("OS"));

        // Refused: nothing changes, also not the table.
        report.ui.tableWidget->setColumnCount(5);
        report.ui.actionCustomCol->trigger(); // no handler queued: rejected
        QCOMPARE(report.m_columns, QStringList({"OS"}));
        QCOMPARE(report.ui.tableWidget->columnCount(), 5);
        QVERIFY(before.size() == 14);
    }
};

BRAMIX_ADMIN_TEST_MAIN(TestCustomCol)
#include "tst_customcol.moc"
