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

    // The "font" value OK stores: the font's key text as read or as chosen last.
    QString fontKey() const { return m_fontKey; }

private slots:
    void on_okButton_clicked();
    void on_toolButton_clicked();

private:
    // Shows font as a person reads it (family and size) in that font; key is what OK stores.
    void showFont(const QString &key, const QFont &font);

    QString m_fontKey;
};
