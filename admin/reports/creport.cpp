#include "creport.h"

#include "ccustomcol.h"
#include "cdialogs.h"
#include "cdigestreader.h"
#include "cglobal.h"
#include "cpageset.h"
#include "creportcelldelegate.h"
#include "cresourcepage.h"
#include "cset.h"
#include "csetting.h"
#include "renderarea.h"

#include <QApplication>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QRegularExpression>
#include <QScrollArea>
#include <QSettings>
#include <QTextStream>
#include <QTranslator>

#include <list>

namespace {

// The number the user typed beside a comparison: "." as the decimal point, anything else 0.
double enteredNumber(const QLineEdit *edit)
{
    bool ok = false;
    const double v = edit->text().toDouble(&ok);
    return ok ? v : 0;
}

// A comparison filter: code 0 off, 1 equal, 2 greater than, 3 less than.
bool passes(int code, double value, double entered)
{
    switch (code) {
    case 1:
        return value == entered;
    case 2:
        return value > entered;
    case 3:
        return value < entered;
    default:
        return true;
    }
}

double firstNumber(const QString &text, const QRegularExpression &re)
{
    const QRegularExpressionMatch m = re.match(text);
    return m.hasMatch() ? m.captured(1).toDouble() : 0;
}

} // namespace

CReport::CReport(QWidget *parent, Qt::WindowFlags flags)
    : QMainWindow(parent, flags)
{
    ui.setupUi(this);
    ui.stackedWidget->setCurrentIndex(0);
    ui.tableWidget->setItemDelegate(new CReportCellDelegate(ui.tableWidget));

    m_renderArea = new RenderArea(this);
    m_renderArea->setUi(ui);
    m_scrollArea = new QScrollArea;
    m_scrollArea->setWidget(m_renderArea);
    ui.vboxLayout4->addWidget(m_scrollArea);

    m_columns << QStringLiteral("lastupdate");
    {
        CGlobal table;
        table.init();
        for (const auto &entry : table.m_classMap)
            m_columns << QString::fromLatin1(entry.first.c_str());
    }

    ui.cpuType->addItem(tr("All"), 0);
    ui.cpuType->addItem(tr("Intel"), 1);
    ui.cpuType->addItem(tr("Amd"), 2);
    ui.cpuType->addItem(tr("other"), 3);
    for (QComboBox *scope : {ui.cpuScope, ui.memScope, ui.diskScope}) {
        scope->addItem(tr("All"), 0);
        scope->addItem(QStringLiteral("="), 1);
        scope->addItem(QStringLiteral(">"), 2);
        scope->addItem(QStringLiteral("<"), 3);
    }

    connect(ui.action_Print, &QAction::triggered, this, &CReport::on_print);
    connect(ui.actionPrint_prview, &QAction::triggered, this, &CReport::on_preview);
    connect(ui.actionPage_Set, &QAction::triggered, this, &CReport::on_PageSet);
    connect(ui.actionExport_to_Hteml, &QAction::triggered, this, &CReport::on_ExportToHtml);
    connect(ui.actionCustomCol, &QAction::triggered, this, &CReport::on_custom_col);
}

CReport::~CReport() = default;

void CReport::retranslate()
{
    QTranslator translator;
    const QString lang = QSettings().value(QStringLiteral("Lang"), QStringLiteral("EN")).toString();
    (void)translator.load(QStringLiteral("BramixAdmin_") + lang);
    QCoreApplication::installTranslator(&translator);
    ui.retranslateUi(this);
    for (QAction *action : {ui.action_Print, ui.actionPrint_prview, ui.actionPage_Set, ui.actionExport_to_Hteml,
             ui.actionCustomCol, ui.action_Close})
        action->setIconText(toolText(action->text()));
}

QString CReport::toolText(const QString &text)
{
    static const QRegularExpression mnemonic(QStringLiteral("\\s*[(\\x{FF08}]&[^&][)\\x{FF09}]"));
    QString out = text;
    out.remove(mnemonic);
    if (out.endsWith(QLatin1String("...")))
        out.chop(3);
    else if (out.endsWith(QChar(0x2026)))
        out.chop(1);
    // "&&" stands for one "&"; a single "&" marks the mnemonic.
    QString plain;
    for (int i = 0; i < out.size(); ++i) {
        if (out.at(i) == QLatin1Char('&')) {
            if (i + 1 < out.size() && out.at(i + 1) == QLatin1Char('&'))
                plain += out.at(++i);
            continue;
        }
        plain += out.at(i);
    }
    return plain.trimmed();
}

int CReport::getCpuType(const QMap<QString, QString> &summary)
{
    const QString cpu = summary.value(QStringLiteral("CPU"));
    if (cpu.contains(QLatin1String("intel"), Qt::CaseInsensitive))
        return 1;
    if (cpu.contains(QLatin1String("amd"), Qt::CaseInsensitive))
        return 2;
    return 3;
}

double CReport::getCpuFreq(const QMap<QString, QString> &summary)
{
    static const QRegularExpression decimal(
        QStringLiteral("(\\d*\\.\\d+)(MHz|GHz)"), QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression integer(
        QStringLiteral("(\\d+)(MHz|GHz)"), QRegularExpression::CaseInsensitiveOption);
    const QString cpu = summary.value(QStringLiteral("CPU"));
    QRegularExpressionMatch m = decimal.match(cpu);
    if (!m.hasMatch())
        m = integer.match(cpu);
    if (!m.hasMatch())
        return 0;
    const double value = m.captured(1).toDouble();
    // The unit in any letter case: "mhz" is megahertz as "MHz" is.
    return m.captured(2).startsWith(QLatin1Char('m'), Qt::CaseInsensitive) ? value : value * 1000;
}

double CReport::getMemCap(const QMap<QString, QString> &summary)
{
    static const QRegularExpression re(QStringLiteral("(\\d+)(\\s*)(M)"), QRegularExpression::CaseInsensitiveOption);
    return firstNumber(summary.value(QStringLiteral("MemoryDevice")), re);
}

double CReport::getDiskCap(const QMap<QString, QString> &summary)
{
    static const QRegularExpression re(QStringLiteral("(\\d+)(\\s*)(GB)"), QRegularExpression::CaseInsensitiveOption);
    return firstNumber(summary.value(QStringLiteral("DiskDrive")), re);
}

void CReport::on_buClose_clicked()
{
    ui.stackedWidget->setCurrentIndex(0);
}

void CReport::on_tableWidget_clicked(QModelIndex index)
{
    Q_UNUSED(index);
}

void CReport::on_search_clicked()
{
    QTableWidget *table = ui.tableWidget;
    table->clear();
    table->setRowCount(0);

    CSetting setting;
    setting.init();
    QMap<QString, QString> pageSet;
    setting.getPageSet(pageSet);
    table->setFont(CSetting::font(pageSet.value(QStringLiteral("font")), table->font()));

    table->setColumnCount(int(m_columns.size()) + 1);
    table->setHorizontalHeaderLabels(QStringList {QStringLiteral("pc name")} + m_columns);

    std::list<PCEntry> clients;
    {
        CSet list;
        list.openList();
        list.getPCList(clients);
    }
    QStringList uuids;
    QStringList labels;
    for (const PCEntry &entry : clients) {
        const auto text = [&](const char *key) {
            const auto it = entry.find(key);
            return it == entry.end() ? QString() : QString::fromUtf8(it->second.c_str());
        };
        uuids << text("UUID");
        labels << text("name") + QLatin1Char('(') + text("ip") + QLatin1Char(')');
    }
    // Each client file is read once, in parallel, for every filter and column.
    const QList<QMap<QString, QString>> summaries = CDigestReader::readAll(uuids, &m_digestCache);

    const int vendor = ui.cpuType->currentData().toInt();
    const int cpuCode = ui.cpuScope->currentData().toInt();
    const int memCode = ui.memScope->currentData().toInt();
    const int diskCode = ui.diskScope->currentData().toInt();
    const double cpuEntered = enteredNumber(ui.cpuFreq);
    const double memEntered = enteredNumber(ui.memCap);
    const double diskEntered = enteredNumber(ui.diskCap);
    QList<int> hits;
    for (int i = 0; i < summaries.size(); ++i) {
        const QMap<QString, QString> &s = summaries.at(i);
        if (vendor != 0 && getCpuType(s) != vendor)
            continue;
        if (cpuCode != 0 && !passes(cpuCode, getCpuFreq(s), cpuEntered))
            continue;
        if (memCode != 0 && !passes(memCode, getMemCap(s), memEntered))
            continue;
        if (diskCode != 0 && !passes(diskCode, getDiskCap(s), diskEntered))
            continue;
        hits << i;
    }

    // A sorted table moves a row as soon as one of its cells is set, so the rest of the row would
    // land in another client's row: fill unsorted, then sort once by the header's choice.
    const bool sorting = table->isSortingEnabled();
    table->setSortingEnabled(false);
    table->setRowCount(int(hits.size()));
    for (int row = 0; row < hits.size(); ++row) {
        const QMap<QString, QString> &s = summaries.at(hits.at(row));
        table->setItem(row, 0, new QTableWidgetItem(labels.at(hits.at(row))));
        for (int c = 0; c < m_columns.size(); ++c)
            table->setItem(row, c + 1, new QTableWidgetItem(s.value(m_columns.at(c))));
    }
    table->setSortingEnabled(sorting);
}

void CReport::on_ExportToHtml()
{
    CResourcePage::save(this, tr("Select export file "), tr("Html file (*.html *.htm )"), tr("Export to Html"),
        [this](QTextStream &out) {
            const QTableWidget *table = ui.tableWidget;
            out << CResourcePage::head() << CResourcePage::headerRow(m_columns);
            for (int row = 0; row < table->rowCount(); ++row) {
                QStringList cells;
                const int columns = table->columnCount();
                for (int c = 0; c < columns; ++c) {
                    const QTableWidgetItem *item = table->item(row, c);
                    cells << (item ? item->text() : QString());
                }
                out << CResourcePage::bodyRow(cells);
            }
            out << CResourcePage::tail();
            return true;
        });
}

void CReport::on_print()
{
    QPrinter printer(QPrinter::ScreenResolution);
    m_font = ui.tableWidget->font();
    QPrintDialog dialog(&printer, this);
    dialog.setWindowTitle(tr("Print Document"));
    if (CDialogs::instance()->execPrintDialog(dialog) != QDialog::Accepted)
        return;
    setupPrinter(&printer);
    QPainter painter;
    if (!painter.begin(&printer))
        return;
    painter.setPen(Qt::black);
    drawHeader(&painter);
    drawRows(&painter);
    painter.end();
}

void CReport::setupPrinter(QPrinter *printer)
{
    QMap<QString, QString> settings;
    {
        CSetting setting;
        setting.init();
        setting.getPageSet(settings);
    }
    // The printer turns only for exactly "1"; the paper stays what the print dialog chose.
    const bool landscape = settings.value(QStringLiteral("orientation")) == QLatin1String("1");
    const QSize page = RenderArea::pageSize(CSetting::number(settings.value(QStringLiteral("pagesize"))), landscape,
        printer->logicalDpiX(), printer->logicalDpiY());
    m_pageWidth = page.width();
    m_pageHeight = page.height();
    printer->setPageOrientation(landscape ? QPageLayout::Landscape : QPageLayout::Portrait);
}

void CReport::drawHeader(QPainter *painter)
{
    RenderArea::drawHeader(painter, ui.tableWidget, {m_pageWidth, m_top, m_left, m_right, m_spacing, m_font}, m_x, m_y);
}

void CReport::drawRows(QPainter *painter)
{
    RenderArea::drawRows(painter, ui.tableWidget, {m_pageWidth, m_top, m_left, m_right, m_spacing, m_font}, m_x, m_y);
}

void CReport::on_custom_col()
{
    CCustomCol chooser(nullptr);
    chooser.setColumns(m_columns);
    if (CDialogs::instance()->execDialog(chooser) != QDialog::Accepted)
        return;
    m_columns.clear();
    m_columns = chooser.m_columns;
    on_search_clicked();
}

void CReport::on_preview()
{
    // The page set-up as it is now; paints between two openings do not read the file.
    m_renderArea->loadPageSet();
    ui.stackedWidget->setCurrentIndex(1);
}

void CReport::on_PageSet()
{
    CPageSet dialog(this);
    if (CDialogs::instance()->execDialog(dialog) != QDialog::Accepted)
        return;
    QMap<QString, QString> settings;
    {
        CSetting setting;
        setting.init();
        setting.getPageSet(settings);
    }
    ui.tableWidget->setFont(CSetting::font(settings.value(QStringLiteral("font")), ui.tableWidget->font()));
    m_renderArea->setPageSet(settings);
    m_renderArea->repaint();
}
