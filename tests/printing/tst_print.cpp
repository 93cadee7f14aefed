#include "cadmintestrun.h"
#include "cpageset.h"
#include "creport.h"
#include "ctestdialogs.h"
#include "renderarea.h"

#include <QFile>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

namespace {

// The print dialog's Accept as the user gives it when printing to a file: the printer writes a PDF.
class CPdfDialogs : public CTestDialogs
{
public:
    QString pdf;

    int execPrintDialog(QPrintDialog &dialog) override
    {
        const int result = CTestDialogs::execPrintDialog(dialog);
        if (result == QDialog::Accepted) {
            dialog.printer()->setOutputFormat(QPrinter::PdfFormat);
            dialog.printer()->setOutputFileName(pdf);
        }
        return result;
    }
};

void writeSettings(const QByteArray &pageset)
{
    QFile file("setting.xml");
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("<setting>\n  <pageset>\n" + pageset + "  </pageset>\n</setting>\n");
}

QByteArray readFile(const QString &name)
{
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Output of a poppler tool; null when the tool is not installed.
QString poppler(const QString &tool, const QStringList &args)
{
    if (QStandardPaths::findExecutable(tool).isEmpty())
        return QString();
    QProcess process;
    process.start(tool, args);
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return QStringLiteral("<%1 failed>").arg(tool);
    return QString::fromUtf8(process.readAllStandardOutput());
}

// The first word's left edge in points, from pdftotext's bounding boxes; -1 when not found.
double wordX(const QString &bbox, const QString &word)
{
    const QRegularExpression re(
        QStringLiteral("<word xMin=\"([0-9.]+)\"[^>]*>%1</word>").arg(QRegularExpression::escape(word)));
    const QRegularExpressionMatch m = re.match(bbox);
    return m.hasMatch() ? m.captured(1).toDouble() : -1;
}

void fillTable(CReport &report, int rows)
{
    QTableWidget *table = report.ui.tableWidget;
    table->setSortingEnabled(false);
    table->clear();
    table->setColumnCount(3);
    table->setRowCount(rows);
    const QStringList headers {"pc name", "lastupdate", "CPU"};
    const QList<int> widths {150, 210, 120};
    for (int c = 0; c < 3; ++c) {
        table->setHorizontalHeaderItem(c, new QTableWidgetItem(headers[c]));
        table->setColumnWidth(c, widths[c]);
    }
    for (int r = 0; r < rows; ++r) {
        table->setItem(r, 0, new QTableWidgetItem(QStringLiteral("host%1").arg(r)));
        table->setItem(r, 1, new QTableWidgetItem(QStringLiteral("stamp%1").arg(r)));
        // The CPU cell of odd rows stays without an item.
        if (r % 2 == 0)
            table->setItem(r, 2, new QTableWidgetItem(QStringLiteral("cpu%1").arg(r)));
    }
}

const QByteArray g_pageset = "    <left>200</left>\n    <right>10</right>\n    <top>300</top>\n    <bottom>0</bottom>\n"
                             "    <pagesize>0</pagesize>\n    <orientation>0</orientation>\n"
                             "    <font>dejavu sans,10,-1,5,400,0,0,0,0,0,0,0,0,0,0,1</font>\n";

} // namespace

class TestPrint : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void printsOnePage_data();
    void printsOnePage();
    void rejectedPrintsNothing();
    void rowsPastTheBottomAreLeftOut();
    void printedLayoutUsesTableFontAndFixedMargins();
    void pageSetAccepted();
    void pageSetRejected();
    void previewShowsThePage();

private:
    CPdfDialogs m_dialogs;
};

void TestPrint::init()
{
    m_dialogs.reset();
    m_dialogs.pdf = QDir::current().filePath("report.pdf");
    QFile::remove(m_dialogs.pdf);
    writeSettings(g_pageset);
}

void TestPrint::printsOnePage_data()
{
    QTest::addColumn<QString>("orientation");
    QTest::addColumn<bool>("landscape");

    QTest::newRow("portrait") << "0" << false;
    QTest::newRow("landscape") << "1" << true;
    // The printer turns only for exactly "1" (the preview takes "01" as landscape).
    QTest::newRow("01") << "01" << false;
    QTest::newRow("2") << "2" << false;
}

void TestPrint::printsOnePage()
{
    QFETCH(QString, orientation);
    QFETCH(bool, landscape);
    writeSettings("    <pagesize>0</pagesize>\n    <orientation>" + orientation.toUtf8()
        + "</orientation>\n    <font>dejavu sans,10</font>\n");

    CReport report(nullptr, {});
    fillTable(report, 3);
    m_dialogs.printAccepts.enqueue(true);
    report.ui.action_Print->trigger();

    QCOMPARE(m_dialogs.printDialogTitles, QStringList {"Print Document"});
    const QByteArray pdf = readFile(m_dialogs.pdf);
    QVERIFY(pdf.startsWith("%PDF"));

    const QString info = poppler("pdfinfo", {m_dialogs.pdf});
    if (info.isNull())
        QSKIP("poppler-utils not installed");
    QVERIFY2(info.contains(QRegularExpression("Pages:\\s+1\\n")), qPrintable(info));
    const QRegularExpressionMatch size = QRegularExpression("Page size:\\s+([0-9.]+) x ([0-9.]+) pts").match(info);
    QVERIFY2(size.hasMatch(), qPrintable(info));
    QCOMPARE(size.captured(1).toDouble() > size.captured(2).toDouble(), landscape);

    const QString text = poppler("pdftotext", {"-layout", m_dialogs.pdf, "-"});
    QVERIFY2(text.contains("System infomation report"), qPrintable(text));
    QVERIFY2(text.contains(QRegularExpression("pc name\\s+lastupdate\\s+CPU")), qPrintable(text));
    QVERIFY2(text.contains(QRegularExpression("host0\\s+stamp0\\s+cpu0")), qPrintable(text));
    QVERIFY2(text.contains(QRegularExpression("host1\\s+stamp1\\s*\\n")), qPrintable(text));
    QVERIFY2(text.contains("host2"), qPrintable(text));
}

void TestPrint::rejectedPrintsNothing()
{
    CReport report(nullptr, {});
    fillTable(report, 3);
    report.ui.action_Print->trigger(); // nothing queued: the print dialog is rejected
    QCOMPARE(m_dialogs.printDialogTitles.size(), 1);
    QVERIFY(!QFile::exists(m_dialogs.pdf));
}

void TestPrint::rowsPastTheBottomAreLeftOut()
{
    CReport report(nullptr, {});
    fillTable(report, 400);
    m_dialogs.printAccepts.enqueue(true);
    report.ui.action_Print->trigger();

    const QString info = poppler("pdfinfo", {m_dialogs.pdf});
    if (info.isNull())
        QSKIP("poppler-utils not installed");
    QVERIFY2(info.contains(QRegularExpression("Pages:\\s+1\\n")), qPrintable(info));
    const QString text = poppler("pdftotext", {m_dialogs.pdf, "-"});
    QVERIFY(text.contains("host0"));
    QVERIFY(text.contains("host20"));
    QVERIFY(!text.contains("host399"));
}

void TestPrint::printedLayoutUsesTableFontAndFixedMargins()
{
    // setting.xml holds left 200 and DejaVu Sans; the printed page keeps 28 pixels and the table's font.
    CReport report(nullptr, {});
    fillTable(report, 2);
    report.ui.tableWidget->setFont(QFont("DejaVu Serif", 12));
    m_dialogs.printAccepts.enqueue(true);
    report.ui.action_Print->trigger();

    const QString fonts = poppler("pdffonts", {m_dialogs.pdf});
    if (fonts.isNull())
        QSKIP("poppler-utils not installed");
    QVERIFY2(fonts.contains("DejaVuSerif"), qPrintable(fonts));
    QVERIFY2(!fonts.contains("DejaVuSans"), qPrintable(fonts));

    const QString bbox = poppler("pdftotext", {"-bbox", m_dialogs.pdf, "-"});
    const double title = wordX(bbox, "System");
    const double head0 = wordX(bbox, "pc");
    const double head1 = wordX(bbox, "lastupdate");
    const double head2 = wordX(bbox, "CPU");
    const double cell = wordX(bbox, "cpu0");
    QVERIFY2(title >= 0 && head0 >= 0 && head1 >= 0 && head2 >= 0 && cell >= 0, qPrintable(bbox));
    // Pixels at screen resolution (96 per inch) become 3/4 of a point. A4 portrait is 792 pixels wide:
    // the title starts at 792 / 2 - 130 = 266, the headers at the fixed left margin of 28.
    const double pt = 72.0 / 96.0;
    QVERIFY2(qAbs((title - head0) - (266 - 28) * pt) < 1.5, qPrintable(QString::number(title - head0)));
    QVERIFY2(qAbs((head1 - head0) - 150 * pt) < 1.5, qPrintable(QString::number(head1 - head0)));
    QVERIFY2(qAbs((head2 - head1) - 210 * pt) < 1.5, qPrintable(QString::number(head2 - head1)));
    QVERIFY2(qAbs(cell - head2) < 1.0, qPrintable(QString::number(cell - head2)));
}

void TestPrint::pageSetAccepted()
{
    CReport report(nullptr, {});
    fillTable(report, 3);
    report.ui.tableWidget->setFont(QFont("DejaVu Sans Mono", 8));
    QCOMPARE(report.m_renderArea->size(), QSize(792, 1122));

    m_dialogs.fonts.enqueue(QFont("DejaVu Serif", 14));
    m_dialogs.dialogHandlers.enqueue([](QDialog &dialog) {
        auto *pageSet = qobject_cast<CPageSet *>(&dialog);
        if (!pageSet)
            return int(QDialog::Rejected);
        pageSet->ui.CB_Size->setCurrentIndex(pageSet->ui.CB_Size->findText("Letter"));
        pageSet->ui.RB_Ora_L->setChecked(true);
        pageSet->ui.toolButton->click();
        pageSet->ui.okButton->click();
        return pageSet->result();
    });
    report.ui.actionPage_Set->trigger();

    QCOMPARE(m_dialogs.dialogs, QStringList {"Dialog"});
    QVERIFY(readFile("setting.xml").contains("<pagesize>2</pagesize>"));
    QCOMPARE(report.ui.tableWidget->font().family(), QStringLiteral("DejaVu Serif"));
    QCOMPARE(report.ui.tableWidget->font().pointSize(), 14);
    // Letter landscape at 96 pixels per inch, and the canvas follows it.
    QCOMPARE(report.m_renderArea->sizeHint(), QSize(1056, 816));
    QCOMPARE(report.m_renderArea->size(), QSize(1056, 816));
}

void TestPrint::pageSetRejected()
{
    CReport report(nullptr, {});
    fillTable(report, 3);
    const QFont font("DejaVu Sans Mono", 8);
    report.ui.tableWidget->setFont(font);
    const QByteArray before = readFile("setting.xml");

    m_dialogs.dialogHandlers.enqueue([](QDialog &dialog) {
        auto *pageSet = qobject_cast<CPageSet *>(&dialog);
        if (!pageSet)
            return int(QDialog::Accepted);
        pageSet->ui.RB_Ora_L->setChecked(true);
        pageSet->ui.cancelButton->click();
        return pageSet->result();
    });
    report.ui.actionPage_Set->trigger();

    QCOMPARE(m_dialogs.dialogs, QStringList {"Dialog"});
    QCOMPARE(readFile("setting.xml"), before);
    QCOMPARE(report.ui.tableWidget->font(), font);
    QCOMPARE(report.m_renderArea->sizeHint(), QSize(792, 1122));
}

void TestPrint::previewShowsThePage()
{
    CReport report(nullptr, {});
    fillTable(report, 3);
    report.show();
    QCOMPARE(report.ui.stackedWidget->currentIndex(), 0);
    report.ui.actionPrint_prview->trigger();
    QCOMPARE(report.ui.stackedWidget->currentIndex(), 1);
    QVERIFY(report.m_renderArea->isVisible());
    // The paging buttons leave the one page as it is.
    report.ui.buNP->click();
    report.ui.buPP->click();
    QCOMPARE(report.ui.stackedWidget->currentIndex(), 1);
    report.ui.buClose->click();
    QCOMPARE(report.ui.stackedWidget->currentIndex(), 0);
}

BRAMIX_ADMIN_TEST_MAIN(TestPrint)
#include "tst_print.moc"
