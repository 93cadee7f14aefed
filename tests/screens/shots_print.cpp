// The page set-up dialog, the print preview in A4 portrait and landscape, and the first page of the
// printed report (a PDF, drawn by poppler's pdftoppm where installed).

#if __has_include("ui_creport.h")

#include "cdialogs.h"
#include "cpageset.h"
#include "creport.h"
#include "cshotcontext.h"
#include "renderarea.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QScrollArea>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace {

// The print dialog answers Accept with printing to a PDF file; every other dialog is the toolkit's.
class CPdfPrintDialogs : public CDialogs
{
public:
    explicit CPdfPrintDialogs(const QString &pdf)
        : m_pdf(pdf)
    {
        CDialogs::setInstance(this);
    }
    ~CPdfPrintDialogs() override { CDialogs::setInstance(nullptr); }

    int execPrintDialog(QPrintDialog &dialog) override
    {
        dialog.printer()->setOutputFormat(QPrinter::PdfFormat);
        dialog.printer()->setOutputFileName(m_pdf);
        return QDialog::Accepted;
    }

private:
    QString m_pdf;
};

// The page set-up of the pictures; setting.xml as found is put back afterwards.
class CPageSetFile
{
public:
    CPageSetFile()
    {
        QFile file(QStringLiteral("setting.xml"));
        m_existed = file.open(QIODevice::ReadOnly);
        if (m_existed)
            m_saved = file.readAll();
    }
    ~CPageSetFile()
    {
        if (m_existed)
            write(m_saved);
        else
            QFile::remove(QStringLiteral("setting.xml"));
    }

    void set(int orientation)
    {
        write("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<setting>\n  <pageset>\n"
              "    <left>40</left>\n    <right>40</right>\n    <top>50</top>\n    <bottom>40</bottom>\n"
              "    <pagesize>0</pagesize>\n    <orientation>"
            + QByteArray::number(orientation)
            + "</orientation>\n"
              "    <font>DejaVu Sans,9,-1,5,400,0,0,0,0,0,0,0,0,0,0,1</font>\n  </pageset>\n</setting>\n");
    }

private:
    static void write(const QByteArray &content)
    {
        QFile file(QStringLiteral("setting.xml"));
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write(content);
    }

    bool m_existed = false;
    QByteArray m_saved;
};

void fillFixtureTable(QTableWidget *table)
{
    const QStringList headers {QStringLiteral("pc name"), QStringLiteral("lastupdate"), QStringLiteral("CPU"),
        QStringLiteral("MemoryDevice"), QStringLiteral("DiskDrive")};
    const QList<QStringList> rows {
        {"lab-01(127.0.0.11)", "December 10 2026 09:12:40", "Intel(R) Core(TM) i5-4590 CPU @ 3.30GHz", "4096 MB",
            "500 GB"},
        {"lab-02(127.0.0.12)", "December 09 2026 17:03:05", "AMD Athlon(tm) 64 X2 Dual Core 4200+", "2048 MB",
            "250 GB"},
        {"office-7(127.0.0.17)", "November 28 2026 08:45:19", "Intel(R) Pentium(R) 4 CPU 2.80GHz", "1024 MB", "80 GB"},
        {"store-3(127.0.0.23)", "", "", "", ""},
    };
    // Wide enough for each column's text in the printed font: the page layout never clips.
    const QList<int> widths {124, 176, 260, 116, 70};
    table->setSortingEnabled(false);
    table->clear();
    table->setColumnCount(int(headers.size()));
    table->setRowCount(int(rows.size()));
    for (int c = 0; c < headers.size(); ++c) {
        table->setHorizontalHeaderItem(c, new QTableWidgetItem(headers[c]));
        table->setColumnWidth(c, widths[c]);
    }
    for (int r = 0; r < rows.size(); ++r)
        for (int c = 0; c < rows[r].size(); ++c)
            if (!rows[r][c].isEmpty())
                table->setItem(r, c, new QTableWidgetItem(rows[r][c]));
    table->setSortingEnabled(true);
}

} // namespace

BRAMIX_SCREENS(print)
{
    CPageSetFile pageSet;
    pageSet.set(0);

    {
        CPageSet dialog(nullptr);
        ctx.save(&dialog, QStringLiteral("pageset"));
    }

    CReport report(nullptr, {});
    report.retranslate();
    if (ctx.liveData())
        report.ui.search->click();
    else
        fillFixtureTable(report.ui.tableWidget);
    report.resize(862, 700);
    report.ui.actionPrint_prview->trigger();
    ctx.save(&report, QStringLiteral("preview_a4_portrait"));

    pageSet.set(1);
    report.ui.actionPrint_prview->trigger();
    ctx.save(&report, QStringLiteral("preview_a4_landscape"));

    // The printed page: portrait A4, the report table's own font.
    pageSet.set(0);
    const QString pdftoppm = QStandardPaths::findExecutable(QStringLiteral("pdftoppm"));
    QTemporaryDir out;
    if (pdftoppm.isEmpty() || !out.isValid())
        return;
    const QString pdf = out.filePath(QStringLiteral("report.pdf"));
    {
        CPdfPrintDialogs dialogs(pdf);
        report.ui.action_Print->trigger();
    }
    QProcess render;
    render.start(pdftoppm,
        {QStringLiteral("-png"), QStringLiteral("-r"), QStringLiteral("96"), QStringLiteral("-f"), QStringLiteral("1"),
            QStringLiteral("-l"), QStringLiteral("1"), QStringLiteral("-singlefile"), pdf, out.filePath("page")});
    if (!render.waitForFinished(60000) || render.exitCode() != 0)
        return;
    // The label takes the page's full size: adjustSize() would cap a top-level window at part of
    // the screen and show the blank middle of the page.
    const QPixmap picture(out.filePath(QStringLiteral("page.png")));
    if (picture.isNull())
        return;
    QLabel page;
    page.setAlignment(Qt::AlignLeft | Qt::AlignTop);
    page.setPixmap(picture);
    page.setFixedSize(picture.size());
    ctx.save(&page, QStringLiteral("print_pdf_page1"));
}

#endif
