#pragma once

#include <QFont>
#include <QMap>
#include <QRect>
#include <QSize>
#include <QString>
#include <QWidget>

class QPainter;
class QPaintEvent;
class QTableWidget;

// The print preview: the report table laid out on one page of the paper kept in setting.xml. The layout
// functions are shared with the printed page, so the preview shows what the printer gets.
class RenderArea : public QWidget
{
    Q_OBJECT

public:
    // What one side of the layout works with: page width in its pixels, margins, line spacing, base font.
    struct PageFormat
    {
        int width;
        int top;
        int left;
        int right;
        int spacing;
        QFont font;
    };

    explicit RenderArea(QWidget *parent = nullptr);

    // Takes the report form (Ui_MainWindow); the canvas reads only its table.
    template<class Form> void setUi(const Form &ui) { m_table = ui.tableWidget; }
    // Reads setting.xml and applies it; the canvas reads the file only when told to, not at every paint.
    void loadPageSet();
    void setPageSet(const QMap<QString, QString> &settings);
    void drawHeader(QPainter *painter);
    void drawRows(QPainter *painter);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // Page of paper number `paper` (the numbering of setting.xml) in pixels at the given resolution,
    // width and height exchanged for landscape.
    static QSize pageSize(int paper, bool landscape, int dpiX, int dpiY);
    // Title, double rule, column headers and the rule below them; leaves (x, y) on that rule.
    static void drawHeader(QPainter *painter, const QTableWidget *table, const PageFormat &page, int &x, int &y);
    // One line per table row below the header, then the closing rule. Only rows whose line meets
    // `exposed` are drawn (all rows when it is null); the cursor ends as if every row had been drawn.
    static void drawRows(QPainter *painter, const QTableWidget *table, const PageFormat &page, int &x, int &y,
        const QRect &exposed = QRect());

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    PageFormat format() const;

    int m_pageHeight = 0;
    int m_pageWidth = 0;
    QFont m_font;
    int m_x = 0;
    int m_y = 0;
    int m_top = 0;
    int m_left = 0;
    int m_right = 0;
    int m_spacing = 3;
    const QTableWidget *m_table = nullptr;
    int m_dpiY = 96;
    int m_dpiX = 96;
};
