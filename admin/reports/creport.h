#pragma once

#include "cdigestcache.h"
#include "ui_creport.h"

#include <QFont>
#include <QMainWindow>
#include <QMap>
#include <QModelIndex>
#include <QString>
#include <QStringList>

class QPainter;
class QPrinter;
class QScrollArea;
class RenderArea;

// The report window: a search of every client's stored inventory by CPU vendor, CPU frequency,
// memory size and disk size, shown with a chosen set of columns, exported as HTML, previewed and
// printed. Made once by the main window and kept while the console runs; closing only hides it.
class CReport : public QMainWindow
{
    Q_OBJECT

public:
    explicit CReport(QWidget *parent = nullptr, Qt::WindowFlags flags = {});
    ~CReport() override;

    // Brings the form's texts into the language of the "Lang" setting.
    void retranslate();

    // An action's text as a tool button shows it: without its mnemonic, also one written "(&P)" as
    // translations do, and without a closing "...".
    static QString toolText(const QString &text);

    // Readers of one client's digest summary.
    static int getCpuType(const QMap<QString, QString> &summary); // 1 Intel, 2 Amd, 3 other
    static double getCpuFreq(const QMap<QString, QString> &summary); // MHz, 0 when none found
    static double getMemCap(const QMap<QString, QString> &summary); // MB, first module
    static double getDiskCap(const QMap<QString, QString> &summary); // GB, first disk

    Ui_MainWindow ui;

    // Print layout, pixels.
    int m_pageHeight = 0;
    int m_pageWidth = 0;
    QFont m_font;
    int m_x = 0;
    int m_y = 0;
    int m_top = 28;
    int m_left = 28;
    int m_right = 28;
    int m_spacing = 3;

    RenderArea *m_renderArea = nullptr; // the preview canvas on page 1
    QScrollArea *m_scrollArea = nullptr; // holds the canvas

    // The report columns after the fixed first column "pc name".
    QStringList m_columns;

private slots:
    void on_buClose_clicked();
    void on_tableWidget_clicked(QModelIndex index);
    void on_search_clicked();
    void on_ExportToHtml();
    void on_print();
    void on_custom_col();
    void on_preview();
    void on_PageSet();

private:
    // The printed page: paper size and orientation of setting.xml, header, rows.
    void setupPrinter(QPrinter *printer);
    void drawHeader(QPainter *painter);
    void drawRows(QPainter *painter);

    // Digest summaries of the client files as last read, for the next search.
    CDigestCache m_digestCache;
};
