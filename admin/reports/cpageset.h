#pragma once

#include "ui_cpageset.h"

#include <QDialog>

// The page set-up of the report window over setting.xml: four margins, paper size, orientation and the
// report font. Filled from the file when built; OK writes every setting back, Cancel nothing.
class CPageSet : public QDialog
{
    Q_OBJECT

public:
    explicit CPageSet(QWidget *parent = nullptr);
    ~CPageSet() override;

    Ui_Dialog ui;

private slots:
    void on_okButton_clicked();
    void on_toolButton_clicked();
};
