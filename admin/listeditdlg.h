#pragma once

#include "cset.h"

#include <QDialog>

class QKeyEvent;
class QTreeWidgetItem;
class Ui_ListEditDlg;

// The folder editor: folders with their clients on the left, clients in no folder on the right.
// Every action goes to list.xml at once, through the store's locked re-read of the file as it is
// then, so flags the server sets and clients a scan adds meanwhile are kept; what the dialog read
// when it opened only feeds its views. OK and Cancel change nothing in the file.
class ListEditDlg : public QDialog
{
    Q_OBJECT
public:
    explicit ListEditDlg(QWidget *parent = nullptr);
    ~ListEditDlg() override;

    void deleteTreeItem(QTreeWidgetItem *item);

protected:
    void changeEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private slots:
    void on_addFolderBu_clicked();
    void on_DeleteFolderBu_clicked();
    void on_rightBu_clicked();
    void on_leftBu_clicked();

private:
    Ui_ListEditDlg *ui;
    CSet m_set;
};
