#pragma once

#include "ui_ccustomcol.h"

#include <QDialog>
#include <QStringList>

class QListWidgetItem;

// The column chooser of the report window: the inventory class keys on the left, the report's
// columns (after the fixed "pc name") on the right, in display order.
class CCustomCol : public QDialog
{
    Q_OBJECT

public:
    explicit CCustomCol(QWidget *parent = nullptr);
    ~CCustomCol() override;

    // The columns the report has now; call once before running the dialog.
    void setColumns(const QStringList &columns);

    // The chosen columns, top to bottom: empty until OK is pressed.
    QStringList m_columns;
    QStringList m_initColumns;

    Ui_CCustomColClass ui;

private slots:
    void on_addAll_clicked();
    void on_addSelect_clicked();
    void on_delSelect_clicked();
    void on_leftDb_clicked(QListWidgetItem *item);
    void on_rightDb_clicked(QListWidgetItem *item);
    void on_okButton_clicked();

private:
    void add(const QString &text);
};
