#include "listeditdlg.h"

#include "cdialogs.h"
#include "ui_listeditdlg.h"

#include <QEvent>
#include <QIcon>
#include <QKeyEvent>
#include <QUuid>

namespace {

const int kTagRole = 32;
const QString kResources = QStringLiteral(":/new/prefix1/Resources/");

QString kindOf(const QString &tag)
{
    return tag.split(QLatin1Char('=')).value(0);
}

QString valueOf(const QString &tag)
{
    return tag.split(QLatin1Char('=')).value(1);
}

QString tagOf(const QTreeWidgetItem *item)
{
    return item->data(0, kTagRole).toString();
}

QString platformIcon(const QString &os)
{
    if (os == QLatin1String("1"))
        return kResources + QStringLiteral("windows.png");
    if (os == QLatin1String("2"))
        return kResources + QStringLiteral("linux.png");
    if (os == QLatin1String("3"))
        return kResources + QStringLiteral("apple.jpg");
    if (os == QLatin1String("4"))
        return kResources + QStringLiteral("alixe.png");
    return kResources + QStringLiteral("watch.png");
}

// The store keeps a client's texts as UTF-8; they show as stored.
QString entryText(const PCEntry &entry, const char *key)
{
    const auto it = entry.find(key);
    return it == entry.end() ? QString() : QString::fromStdString(it->second);
}

} // namespace

ListEditDlg::ListEditDlg(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui_ListEditDlg)
{
    ui->setupUi(this);
    connect(ui->folderEdit, &QLineEdit::returnPressed, this, &ListEditDlg::on_addFolderBu_clicked);

    m_set.openList();
    std::list<PCEntry> clients;
    QList<FolderEntry> folders;
    m_set.getPCList(clients);
    m_set.getFolders(folders);

    const QIcon folderIcon(kResources + QStringLiteral("folder.png"));
    for (const FolderEntry &folder : folders) {
        auto *item = new QTreeWidgetItem(ui->treeWidget);
        item->setText(0, folder.value(QStringLiteral("name")));
        item->setData(0, kTagRole, QStringLiteral("FOLDER=") + folder.value(QStringLiteral("value")));
        item->setIcon(0, folderIcon);
    }

    for (const PCEntry &client : clients) {
        const QString label = entryText(client, "name") + QLatin1Char('(') + entryText(client, "ip") + QLatin1Char(')');
        const QString tag = QStringLiteral("UUID=") + entryText(client, "UUID");
        const QString tip = QStringLiteral("Version:") + entryText(client, "version");
        const QIcon icon(platformIcon(entryText(client, "os")));
        const QString folder = entryText(client, "folder");
        QTreeWidgetItem *parentItem = nullptr;
        if (!folder.isEmpty()) {
            for (int i = 0; i < ui->treeWidget->topLevelItemCount() && !parentItem; ++i) {
                QTreeWidgetItem *top = ui->treeWidget->topLevelItem(i);
                if (valueOf(tagOf(top)) == folder)
                    parentItem = top;
            }
        }
        if (parentItem) {
            auto *item = new QTreeWidgetItem(parentItem);
            item->setText(0, label);
            item->setData(0, kTagRole, tag);
            item->setToolTip(0, tip);
            item->setIcon(0, icon);
        } else {
            auto *item = new QListWidgetItem(label, ui->listWidget);
            item->setData(kTagRole, tag);
            item->setToolTip(tip);
            item->setIcon(icon);
        }
    }
}

ListEditDlg::~ListEditDlg()
{
    delete ui;
}

void ListEditDlg::deleteTreeItem(QTreeWidgetItem *item)
{
    if (!item)
        return;
    for (int i = item->childCount() - 1; i >= 0; --i)
        deleteTreeItem(item->child(i));
    delete item;
}

void ListEditDlg::changeEvent(QEvent *event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        ui->retranslateUi(this);
}

// The folder name box has done its part (returnPressed adds the folder) when its Enter reaches the
// dialog; the default button must not act on that Enter as well and move a client.
void ListEditDlg::keyPressEvent(QKeyEvent *event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && focusWidget() == ui->folderEdit) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void ListEditDlg::on_addFolderBu_clicked()
{
    const QString name = ui->folderEdit->text();
    if (name.isEmpty())
        return;
    auto *item = new QTreeWidgetItem(ui->treeWidget);
    item->setText(0, name);
    const QString value = QUuid::createUuid().toString();
    item->setData(0, kTagRole, QStringLiteral("FOLDER=") + value);
    item->setIcon(0, QIcon(kResources + QStringLiteral("folder.png")));
    ui->folderEdit->clear();
    m_set.addFolder(name, value);
}

void ListEditDlg::on_DeleteFolderBu_clicked()
{
    QTreeWidgetItem *item = ui->treeWidget->currentItem();
    if (!item)
        return;
    if (item->childCount() > 0) {
        CDialogs::warning(nullptr, QString(), tr("The folder is not empty, can not be delete!"));
        return;
    }
    const QString tag = tagOf(item);
    if (kindOf(tag) != QLatin1String("FOLDER"))
        return;
    m_set.deleteFolder(valueOf(tag));
    deleteTreeItem(item);
}

void ListEditDlg::on_leftBu_clicked()
{
    QTreeWidgetItem *folder = ui->treeWidget->currentItem();
    QListWidgetItem *client = ui->listWidget->currentItem();
    if (!folder || !client)
        return;
    const QString folderTag = tagOf(folder);
    if (kindOf(folderTag) != QLatin1String("FOLDER"))
        return;
    const QString clientTag = client->data(kTagRole).toString();
    auto *item = new QTreeWidgetItem(folder);
    item->setText(0, client->text());
    item->setData(0, kTagRole, clientTag);
    item->setIcon(0, client->icon());
    delete ui->listWidget->takeItem(ui->listWidget->currentRow());
    m_set.setPCFolder(valueOf(clientTag), valueOf(folderTag));
}

void ListEditDlg::on_rightBu_clicked()
{
    QTreeWidgetItem *client = ui->treeWidget->currentItem();
    if (!client)
        return;
    const QString tag = tagOf(client);
    if (kindOf(tag) != QLatin1String("UUID"))
        return;
    const QString uuid = valueOf(tag);
    auto *item = new QListWidgetItem(client->text(0), ui->listWidget);
    item->setData(kTagRole, QStringLiteral("UUID=") + uuid);
    item->setIcon(client->icon(0));
    m_set.setPCFolder(uuid, QStringLiteral("0"));
    deleteTreeItem(client);
}
