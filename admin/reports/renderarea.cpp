#include "renderarea.h"

#include "csetting.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QPaintEvent>
#include <QPainter>
#include <QPrinter>
#include <QTableWidget>

namespace {

// Paper sizes in inches (width, height, portrait) by the paper numbers of setting.xml. Those numbers are
// the old printer numbering (A4 0, B5 1, Letter 2, Legal 3, Executive 4, A3 8), kept because the file
// holds them; they are not the toolkit's page size ids. Any other number is A4.
QSizeF paperInches(int paper)
{
    switch (paper) {
    case 1: // B5
        return {7.17, 10.13};
    case 2: // Letter
        return {8.5, 11};
    case 3: // Legal
        return {8.5, 14};
    case 4: // Executive
        return {7.5, 10};
    case 8: // A3
        return {11.7, 16.5};
    default: // A4
        return {8.26, 11.69};
    }
}

// The layout counts in whole points of the base font.
int pointSizeOf(const QFont &font)
{
    return font.pointSize() > 0 ? font.pointSize() : QFontInfo(font).pointSize();
}

QFont resized(const QFont &font, int pointSize)
{
    QFont result(font);
    if (pointSize > 0)
        result.setPointSize(pointSize);
    return result;
}

void drawRule(QPainter *painter, const RenderArea::PageFormat &page, int y)
{
    painter->drawLine(page.left, y, page.width - page.right, y);
}

} // namespace

RenderArea::RenderArea(QWidget *parent)
    : QWidget(parent)
{
    QPrinter printer(QPrinter::ScreenResolution);
    m_dpiY = printer.logicalDpiY();
    m_dpiX = printer.logicalDpiX();
    loadPageSet();
    setBackgroundRole(QPalette::Base);
}

void RenderArea::loadPageSet()
{
    QMap<QString, QString> settings;
    CSetting setting;
    setting.init();
    setting.getPageSet(settings);
    setPageSet(settings);
}

void RenderArea::setPageSet(const QMap<QString, QString> &settings)
{
    m_top = CSetting::number(settings.value(QStringLiteral("top")));
    m_left = CSetting::number(settings.value(QStringLiteral("left")));
    m_right = CSetting::number(settings.value(QStringLiteral("right")));
    m_spacing = 3;
    const bool landscape = CSetting::number(settings.value(QStringLiteral("orientation"))) == 1;
    const QSize page
        = pageSize(CSetting::number(settings.value(QStringLiteral("pagesize"))), landscape, m_dpiX, m_dpiY);
    m_pageWidth = page.width();
    m_pageHeight = page.height();
    m_font = CSetting::font(settings.value(QStringLiteral("font")), m_font);
    // A larger page or a turn to landscape must stay reachable in the scroll area.
    if (size() != page)
        resize(page);
    updateGeometry();
    update();
}

void RenderArea::drawHeader(QPainter *painter)
{
    drawHeader(painter, m_table, format(), m_x, m_y);
}

void RenderArea::drawRows(QPainter *painter)
{
    drawRows(painter, m_table, format(), m_x, m_y);
}

QSize RenderArea::sizeHint() const
{
    return {m_pageWidth, m_pageHeight};
}

QSize RenderArea::minimumSizeHint() const
{
    return {100, 100};
}

QSize RenderArea::pageSize(int paper, bool landscape, int dpiX, int dpiY)
{
    const QSizeF inches = paperInches(paper);
    const int height = int(dpiY * inches.height());
    const int width = int(dpiX * inches.width());
    return landscape ? QSize(height, width) : QSize(width, height);
}

void RenderArea::drawHeader(QPainter *painter, const QTableWidget *table, const PageFormat &page, int &x, int &y)
{
    const int p = pointSizeOf(page.font);
    const int s = page.spacing;

    painter->setFont(resized(page.font, p + 4));
    x = page.width / 2 - 130;
    y = page.top;
    painter->drawText(x, y, QStringLiteral("System infomation report"));

    y = page.top + p + 4;
    drawRule(painter, page, y);
    y += s;
    drawRule(painter, page, y);

    painter->setFont(resized(page.font, p + 2));
    x = page.left;
    y += s + p + 2;
    if (table) {
        for (int column = 0; column < table->columnCount(); ++column) {
            // A column without a header item keeps its place empty.
            if (const QTableWidgetItem *item = table->horizontalHeaderItem(column))
                painter->drawText(x, y, item->text());
            x += table->columnWidth(column);
        }
    }

    y += s;
    drawRule(painter, page, y);
}

void RenderArea::drawRows(
    QPainter *painter, const QTableWidget *table, const PageFormat &page, int &x, int &y, const QRect &exposed)
{
    const int p = pointSizeOf(page.font);
    const int s = page.spacing;
    const int step = p + s;
    const int rows = table ? table->rowCount() : 0;
    const int top = y;

    painter->setFont(page.font);
    int first = 0;
    int last = rows - 1;
    if (!exposed.isNull() && step > 0) {
        // A line reaches at most one font height above and below its baseline.
        const int reach = QFontMetrics(page.font, painter->device()).height() + 1;
        first = qMax(0, (exposed.top() - reach - top) / step - 1);
        last = qMin(rows - 1, (exposed.bottom() + reach - top) / step);
    }
    for (int row = first; row <= last; ++row) {
        x = page.left;
        const int baseline = top + (row + 1) * step;
        for (int column = 0; column < table->columnCount(); ++column) {
            // An empty cell keeps its place empty.
            if (const QTableWidgetItem *item = table->item(row, column))
                painter->drawText(x, baseline, item->text());
            x += table->columnWidth(column);
        }
    }
    y = top + rows * step;

    y += s;
    drawRule(painter, page, y);
}

void RenderArea::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    painter.setPen(Qt::black);
    painter.setBrush(QBrush(Qt::white, Qt::SolidPattern));
    painter.drawRect(0, 0, m_pageWidth - 1, m_pageHeight - 1);
    const PageFormat page = format();
    drawHeader(&painter, m_table, page, m_x, m_y);
    drawRows(&painter, m_table, page, m_x, m_y, event->rect());
}

RenderArea::PageFormat RenderArea::format() const
{
    return {m_pageWidth, m_top, m_left, m_right, m_spacing, m_font};
}
