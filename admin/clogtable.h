#pragma once

#include <QFrame>

class QAbstractItemModel;
class Ui_CLogTable;

// The read-only table window that shows the change log or the update log, whichever was asked for
// last. It owns the model it shows.
class CLogTable : public QFrame
{
    Q_OBJECT
public:
    explicit CLogTable(QWidget *parent = nullptr);
    ~CLogTable() override;

    // Shows model; the model shown before and its selection model are freed.
    void setModel(QAbstractItemModel *model);

protected:
    void changeEvent(QEvent *event) override;

private:
    Ui_CLogTable *m_ui;
    QAbstractItemModel *m_model = nullptr;
};
