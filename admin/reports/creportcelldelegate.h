#pragma once

#include <QStyledItemDelegate>

// Draws the report table's cells. A class cell lists its digests each followed by a line break, and
// drawn as it stands the break counts as a further line: a one-line cell came out elided ("eth0…")
// and an empty digest as a lone "…". Here the final break is not drawn, a cell of several lines
// shows its first lines from the top (the elision mark then says that more follow), and its tooltip
// lists every line. The item texts stay as they are: sorting, export and printing read them.
class CReportCellDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    explicit CReportCellDelegate(QObject *parent = nullptr);

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;

    bool helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
        const QModelIndex &index) override;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override;
};
