#include "creportcelldelegate.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QHelpEvent>
#include <QPainter>
#include <QStyle>
#include <QToolTip>

namespace {

// QStyledItemDelegate hands the text over with its line feeds turned into line separators.
const QChar kBreak = QChar::LineSeparator;

} // namespace

CReportCellDelegate::CReportCellDelegate(QObject *parent)
    : QStyledItemDelegate(parent)
{ }

void CReportCellDelegate::initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    if (option->text.endsWith(kBreak))
        option->text.chop(1);
    if (option->text.contains(kBreak)) {
        // From the top, as a list is read: centred, lines with room to spare float mid-row.
        option->displayAlignment = (option->displayAlignment & ~Qt::AlignVertical_Mask) | Qt::AlignTop;
    }
}

void CReportCellDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QWidget *widget = opt.widget;
    const QStyle *style = widget ? widget->style() : QApplication::style();
    if (opt.text.contains(kBreak)) {
        // The style would draw a line it has no room for, cut by the cell's lower edge: hand it only
        // the lines that fit whole, each no wider than the cell, the last one marked when more follow.
        const QRect textRect = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, widget);
        const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
        const int width = textRect.width() - 2 * margin;
        const QFontMetrics &fm = opt.fontMetrics;
        const QStringList lines = opt.text.split(kBreak);
        const qsizetype fit
            = qBound<qsizetype>(1, qsizetype(textRect.height() / qMax(1, fm.lineSpacing())), lines.size());
        QStringList shown;
        for (qsizetype i = 0; i < fit; ++i) {
            const bool more = i == fit - 1 && fit < lines.size();
            shown << fm.elidedText(more ? lines.at(i) + QChar(0x2026) : lines.at(i), opt.textElideMode, width);
        }
        opt.text = shown.join(kBreak);
        opt.features &= ~QStyleOptionViewItem::WrapText;
    }
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);
}

bool CReportCellDelegate::helpEvent(
    QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option, const QModelIndex &index)
{
    if (event && view && event->type() == QEvent::ToolTip && index.isValid()) {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        bool hidden = opt.text.contains(kBreak);
        if (!hidden && !opt.text.isEmpty()) {
            const QStyle *style = opt.widget ? opt.widget->style() : QApplication::style();
            const QRect textRect = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, opt.widget);
            const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, opt.widget) + 1;
            hidden = opt.fontMetrics.horizontalAdvance(opt.text) > textRect.width() - 2 * margin;
        }
        if (hidden) {
            // Inventory texts come from the agents: shown as text, never as markup.
            const QString tip = QStringLiteral("<p style=\"white-space:pre\">")
                + opt.text.toHtmlEscaped().replace(kBreak, QLatin1String("<br>")) + QStringLiteral("</p>");
            QToolTip::showText(event->globalPos(), tip, view->viewport(), view->visualRect(index));
            return true;
        }
    }
    return QStyledItemDelegate::helpEvent(event, view, option, index);
}
