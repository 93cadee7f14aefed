#include "creportcelldelegate.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QHelpEvent>
#include <QStyle>
#include <QToolTip>

namespace {
const QChar kBreak = QChar::LineSeparator;
}

CReportCellDelegate::CReportCellDelegate(QObject *parent)
    : QStyledItemDelegate(parent)
{ }

void CReportCellDelegate::initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    // The base has turned the line feeds into line separators.
    if (option->text.endsWith(kBreak))
        option->text.chop(1);
    if (option->text.contains(kBreak)) {
        // From the top, as a list is read: centred, lines with room to spare float mid-row.
        option->displayAlignment = (option->displayAlignment & ~Qt::AlignVertical_Mask) | Qt::AlignTop;
    }
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
            hidden = opt.fontMetrics.horizontalAdvance(opt.text) > textRect.width();
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
