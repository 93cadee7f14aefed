#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

class QListWidgetItem;
class Ui_SelUpFileDlg;

// The update file dialog: the Windows and Linux update files, the version to
// publish and whether to push at once. Filled from uplist.xml when built.
class SelUpFileDlg : public QDialog
{
    Q_OBJECT
public:
    explicit SelUpFileDlg(QWidget *parent = nullptr);
    ~SelUpFileDlg() override;

    int setList(const QStringList &windows, const QStringList &linuxFiles, const QString &version);
    int getList(QStringList &windows, QStringList &linuxFiles, QString &version);
    bool isForce();

private slots:
    void SelWindowsFile();
    void DelWindowsFile();
    void SelLinuxFile();
    void DelLinuxFile();
    void on_WindowsDb_clicked(QListWidgetItem *item);
    void on_LinuxDb_clicked(QListWidgetItem *item);

protected:
    void changeEvent(QEvent *event) override;

private:
    // The files chosen in the file dialog that a push can carry; a warning names the others.
    QStringList chooseFiles();

    Ui_SelUpFileDlg *ui;
};
