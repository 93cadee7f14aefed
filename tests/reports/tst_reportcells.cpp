// How the report table draws its cells. A class cell lists its digests each followed by a line
// break (exports and printing take the texts as they are); on screen a one-line cell shows its line
// without an elision mark, an empty one nothing, and a longer one its first lines from the top with
// all of them in its tooltip. The mark shows only where lines are hidden.
#include "cadmintestrun.h"
#include "crecordingdevice.h"
#include "creport.h"

#include <QHelpEvent>
#include <QToolTip>
#include <QtTest>

namespace {

const QString kSoftware = QStringLiteral("7-Zip 22.01\nFirefox 115.3\nLibreOffice 7.5\nVLC 3.0.18\n");

} // namespace

class TestReportCells : public QObject
{
    Q_OBJECT

private:
    CReport *m_report = nullptr;
    QTableWidget *table() const { return m_report->ui.tableWidget; }

    // One row: "pc name" and the cell under test, the row that many lines tall.
    QModelIndex showCell(const QString &text, int lines, bool fitColumn = false)
    {
        QTableWidget *t = table();
        t->setSortingEnabled(false);
        t->clear();
        t->setColumnCount(2);
        t->setRowCount(1);
        t->setHorizontalHeaderLabels({"pc name", "Software"});
        t->setItem(0, 0, new QTableWidgetItem("pc1(198.51.100.11)"));
        t->setItem(0, 1, new QTableWidgetItem(text));
        if (fitColumn)
            t->resizeColumnToContents(1);
        else
            t->setColumnWidth(1, 300);
        t->setRowHeight(0, lines * t->fontMetrics().lineSpacing() + 6);
        QCoreApplication::processEvents();
        return t->model()->index(0, 1);
    }

    // The texts drawn inside the cell, top to bottom, with their baselines.
    QList<CRecordingEngine::Text> drawnIn(const QModelIndex &index)
    {
        QWidget *viewport = table()->viewport();
        CRecordingDevice device(viewport->width(), viewport->height());
        viewport->render(&device, QPoint(), QRegion(), QWidget::DrawChildren);
        const QRect cell = table()->visualRect(index);
        QList<CRecordingEngine::Text> out;
        // Whatever shows in the cell, also a line cut by its lower edge.
        for (const CRecordingEngine::Text &t : std::as_const(device.engine().texts)) {
            const QFontMetricsF fm(t.font);
            const bool inside = t.pos.x() >= cell.left() && t.pos.x() < cell.right() && t.pos.y() > cell.top()
                && t.pos.y() - fm.ascent() < cell.bottom();
            if (inside && !t.text.trimmed().isEmpty())
                out.append(t);
        }
        std::sort(out.begin(), out.end(), [](const auto &a, const auto &b) { return a.pos.y() < b.pos.y(); });
        return out;
    }

private slots:
    void init()
    {
        m_report = new CReport(nullptr, {});
        m_report->resize(862, 549);
        m_report->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_report));
    }

    void cleanup()
    {
        QToolTip::hideText();
        delete m_report;
        m_report = nullptr;
    }

    void drawnAsAUserExpects_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("lines");
        QTest::addColumn<QStringList>("drawn");
        QTest::addColumn<bool>("fitColumn");
        QTest::newRow("one digest") << "eth0\n" << 1 << QStringList {"eth0"} << false;
        QTest::newRow("one empty digest") << "\n" << 1 << QStringList() << false;
        QTest::newRow("class without items") << "" << 1 << QStringList() << false;
        QTest::newRow("time stamp, no break")
            << "December 11 2026 10:00:00" << 1 << QStringList {"December 11 2026 10:00:00"} << false;
        QTest::newRow("many, one-line row") << kSoftware << 1 << QStringList {"7-Zip 22.01\u2026"} << false;
        QTest::newRow("many, three-line row")
            << kSoftware << 3 << QStringList {"7-Zip 22.01", "Firefox 115.3", "LibreOffice 7.5\u2026"} << false;
        QTest::newRow("two, room for more") << "CD-ROM\nDVD-RW\n" << 4 << QStringList {"CD-ROM", "DVD-RW"} << false;
        QTest::newRow("empty first digest") << "\nsecond\n" << 2 << QStringList {"second"} << false;
        QTest::newRow("many, three-line row, column fitted to the widest line")
            << kSoftware << 3 << QStringList {"7-Zip 22.01", "Firefox 115.3", "LibreOffice 7.5\u2026"} << true;
    }

    void drawnAsAUserExpects()
    {
        QFETCH(QString, text);
        QFETCH(int, lines);
        QFETCH(QStringList, drawn);
        QFETCH(bool, fitColumn);
        const QModelIndex index = showCell(text, lines, fitColumn);
        const QList<CRecordingEngine::Text> got = drawnIn(index);
        QStringList texts;
        for (const CRecordingEngine::Text &t : got)
            texts << t.text;
        QCOMPARE(texts, drawn);
        // The cell keeps its text whole: exports, printing and sorting read it.
        QCOMPARE(table()->item(0, 1)->text(), text);
        // A cell of several lines starts at its top: its first line within the first line's height.
        if (text.count('\n') > 1 && !text.startsWith('\n')) {
            const QRect cell = table()->visualRect(index);
            const QFontMetrics fm(table()->font());
            QVERIFY2(got.first().pos.y() <= cell.top() + fm.ascent() + 4,
                qPrintable(QString("baseline %1, cell top %2").arg(got.first().pos.y()).arg(cell.top())));
        }
    }

    void toolTipListsEveryLine_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("many") << kSoftware
                              << QStringList {"7-Zip 22.01", "Firefox 115.3", "LibreOffice 7.5", "VLC 3.0.18"};
        QTest::newRow("markup stays text") << "<b>bold</b>\nR&D\n"
                                           << QStringList {"&lt;b&gt;bold&lt;/b&gt;", "R&amp;D"};
        QTest::newRow("one line that fits") << "eth0\n" << QStringList();
        QTest::newRow("one line wider than the cell") << QString(80, 'W') + "\n" << QStringList {QString(80, 'W')};
        QTest::newRow("empty") << "\n" << QStringList();
    }

    void toolTipListsEveryLine()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, shown);
        const QModelIndex index = showCell(text, 1);
        const QRect cell = table()->visualRect(index);
        QToolTip::hideText();
        QHelpEvent help(QEvent::ToolTip, cell.center(), table()->viewport()->mapToGlobal(cell.center()));
        QCoreApplication::sendEvent(table()->viewport(), &help);
        if (shown.isEmpty()) {
            QVERIFY2(!QToolTip::isVisible() || QToolTip::text().isEmpty(), qPrintable(QToolTip::text()));
            return;
        }
        QVERIFY(QToolTip::isVisible());
        const QString tip = QToolTip::text();
        qsizetype at = -1;
        for (const QString &line : shown) {
            const qsizetype next = tip.indexOf(line);
            QVERIFY2(next > at, qPrintable(tip));
            at = next;
        }
    }
};

BRAMIX_ADMIN_TEST_MAIN(TestReportCells)
#include "tst_reportcells.moc"
