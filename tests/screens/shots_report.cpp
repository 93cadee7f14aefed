// The report window after a search, its column chooser, and a report exported as HTML as a browser
// shows it.

#if __has_include("ui_creport.h")

#include "ccustomcol.h"
#include "cdialogs.h"
#include "creport.h"
#include "cshotcontext.h"

#include <QFile>
#include <QHeaderView>
#include <QTemporaryDir>
#include <QTextBrowser>

namespace {

// The export's save dialog answers with a file of a scratch directory and "No" to opening it.
class CExportDialogs : public CDialogs
{
public:
    explicit CExportDialogs(const QString &target)
        : m_target(target)
    {
        CDialogs::setInstance(this);
    }
    ~CExportDialogs() override { CDialogs::setInstance(nullptr); }

    QString getSaveFileName(QWidget *, const QString &, const QString &, const QString &) override { return m_target; }
    QMessageBox::StandardButton message(QWidget *, QMessageBox::Icon, const QString &, const QString &,
        QMessageBox::StandardButtons, QMessageBox::StandardButton) override
    {
        return QMessageBox::No;
    }

private:
    QString m_target;
};

} // namespace

BRAMIX_SCREENS(report)
{
    CReport report(nullptr, {});
    report.retranslate();
    report.resize(1000, 560);
    report.ui.search->click();
    // As the window first shows the result: the table's own row heights and column widths.
    ctx.save(&report, QStringLiteral("report_search_as_shown"));
    report.ui.tableWidget->resizeColumnsToContents();
    report.ui.tableWidget->resizeRowsToContents();
    ctx.save(&report, QStringLiteral("report_search"));

    {
        CCustomCol chooser(nullptr);
        chooser.setColumns(QStringList {QStringLiteral("lastupdate"), QStringLiteral("CPU"),
            QStringLiteral("MemoryDevice"), QStringLiteral("DiskDrive")});
        ctx.save(&chooser, QStringLiteral("report_columns"));
    }

    // A few columns, so that the table and the exported page fit the picture.
    report.m_columns = QStringList {QStringLiteral("lastupdate"), QStringLiteral("CPU"), QStringLiteral("MemoryDevice"),
        QStringLiteral("DiskDrive")};
    report.ui.search->click();
    report.ui.tableWidget->resizeColumnsToContents();
    report.ui.tableWidget->resizeRowsToContents();
    ctx.save(&report, QStringLiteral("report_search_columns"));

    QTemporaryDir out;
    if (!out.isValid())
        return;
    const QString page = out.filePath(QStringLiteral("report.html"));
    {
        CExportDialogs dialogs(page);
        report.ui.actionExport_to_Hteml->trigger();
    }
    QFile file(page);
    if (!file.open(QIODevice::ReadOnly))
        return;
    QTextBrowser browser;
    browser.setHtml(QString::fromUtf8(file.readAll()));
    browser.resize(1000, 420);
    ctx.save(&browser, QStringLiteral("report_export_html"));

    // Class cells of one and of several digests as the search fills them (each digest followed by a
    // line break): the first row at the table's own height, the second three lines tall.
    if (report.ui.tableWidget->rowCount() >= 2) {
        QTableWidget *table = report.ui.tableWidget;
        table->setSortingEnabled(false);
        table->setRowCount(2);
        table->setColumnCount(4);
        table->setHorizontalHeaderLabels({QStringLiteral("pc name"), QStringLiteral("NetworkAdapter"),
            QStringLiteral("Software"), QStringLiteral("Printer")});
        const QStringList cells {QStringLiteral("Intel(R) PRO/1000 MT\n"),
            QStringLiteral("7-Zip 22.01\nLibreOffice 7.5\nMozilla Firefox 115.3\nVLC media player 3.0.18\n"),
            QStringLiteral("\n")};
        for (int row = 0; row < 2; ++row) {
            for (int c = 0; c < cells.size(); ++c)
                table->setItem(row, c + 1, new QTableWidgetItem(cells.at(c)));
        }
        table->resizeColumnsToContents();
        table->setRowHeight(0, table->verticalHeader()->defaultSectionSize());
        table->setRowHeight(1, 3 * table->fontMetrics().lineSpacing() + 6);
        ctx.save(&report, QStringLiteral("report_cells"));
        table->setSortingEnabled(true);
    }
}

#endif
