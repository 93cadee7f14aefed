#include "selupfiledlg.h"

#include "cdialogs.h"
#include "cupdatelist.h"
#include "cupdatethread.h"
#include "ui_selupfiledlg.h"

#include <QDir>
#include <QEvent>
#include <QListWidget>

namespace {

void addFiles(QListWidget *list, const QStringList &paths)
{
    for (const QString &path : paths)
        list->addItem(path);
}

void removeCurrent(QListWidget *list)
{
    const int row = list->currentRow();
    if (row < 0)
        return;
    // Out of the list at once; freed once the event that led here (a double-click
    // on it) is over, or with the list if that comes first.
    QListWidgetItem *item = list->takeItem(row);
    auto *holder = new QObject(list);
    QObject::connect(holder, &QObject::destroyed, [item] { delete item; });
    holder->deleteLater();
}

QStringList rowsOf(const QListWidget *list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out.append(list->item(i)->text());
    return out;
}

} // namespace

SelUpFileDlg::SelUpFileDlg(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui_SelUpFileDlg)
{
    ui->setupUi(this);
    connect(ui->buWinSel, &QAbstractButton::clicked, this, &SelUpFileDlg::SelWindowsFile);
    connect(ui->buWinDel, &QAbstractButton::clicked, this, &SelUpFileDlg::DelWindowsFile);
    connect(ui->buLinSel, &QAbstractButton::clicked, this, &SelUpFileDlg::SelLinuxFile);
    connect(ui->buLinDel, &QAbstractButton::clicked, this, &SelUpFileDlg::DelLinuxFile);
    connect(ui->WindowsList, &QListWidget::itemDoubleClicked, this, &SelUpFileDlg::on_WindowsDb_clicked);
    connect(ui->LinuxList, &QListWidget::itemDoubleClicked, this, &SelUpFileDlg::on_LinuxDb_clicked);

    QStringList windows;
    QStringList linuxFiles;
    QString version;
    QString setdate;
    {
        CUpdateList list;
        list.getList(windows, linuxFiles, version, setdate);
    }
    setList(windows, linuxFiles, version);
}

SelUpFileDlg::~SelUpFileDlg()
{
    delete ui;
}

int SelUpFileDlg::setList(const QStringList &windows, const QStringList &linuxFiles, const QString &version)
{
    addFiles(ui->WindowsList, windows);
    addFiles(ui->LinuxList, linuxFiles);
    ui->editVer->setText(version);
    return 0;
}

int SelUpFileDlg::getList(QStringList &windows, QStringList &linuxFiles, QString &version)
{
    windows.append(rowsOf(ui->WindowsList));
    linuxFiles.append(rowsOf(ui->LinuxList));
    version = ui->editVer->text();
    return 0;
}

bool SelUpFileDlg::isForce()
{
    return ui->cbForce->checkState() == Qt::Checked;
}

QStringList SelUpFileDlg::chooseFiles()
{
    const QStringList chosen = CDialogs::instance()->getOpenFileNames(
        this, tr("Select one or more files to update"), QStringLiteral("./"), tr("All files (*)"));
    // A file the push cannot name would be published and then fail every push without a word:
    // refuse it now, while the administrator can still rename it.
    QStringList taken;
    QStringList refused;
    for (const QString &path : chosen)
        (CUpdateThread::canPush(path) ? taken : refused).append(path);
    if (refused.size() == 1) {
        CDialogs::warning(this, tr("Select file to update"),
            tr("The file \"%1\" is not listed: its name cannot be sent to the clients. A name must not "
               "hold \":\", \"\\\", control characters or characters beyond Latin-1 (U+00FF).")
                .arg(QDir::toNativeSeparators(refused.first())));
    } else if (!refused.isEmpty()) {
        QStringList names;
        for (const QString &path : std::as_const(refused))
            names.append(QDir::toNativeSeparators(path));
        CDialogs::warning(this, tr("Select file to update"),
            tr("These files are not listed: their names cannot be sent to the clients. A name must not "
               "hold \":\", \"\\\", control characters or characters beyond Latin-1 (U+00FF).\n\n%1")
                .arg(names.join(QLatin1Char('\n'))));
    }
    return taken;
}

void SelUpFileDlg::SelWindowsFile()
{
    addFiles(ui->WindowsList, chooseFiles());
}

void SelUpFileDlg::DelWindowsFile()
{
    removeCurrent(ui->WindowsList);
}

void SelUpFileDlg::SelLinuxFile()
{
    addFiles(ui->LinuxList, chooseFiles());
}

void SelUpFileDlg::DelLinuxFile()
{
    removeCurrent(ui->LinuxList);
}

void SelUpFileDlg::on_WindowsDb_clicked(QListWidgetItem *)
{
    removeCurrent(ui->WindowsList);
}

void SelUpFileDlg::on_LinuxDb_clicked(QListWidgetItem *)
{
    removeCurrent(ui->LinuxList);
}

void SelUpFileDlg::changeEvent(QEvent *event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        ui->retranslateUi(this);
}
