#include "ccustomcol.h"

#include "cglobal.h"

CCustomCol::CCustomCol(QWidget *parent)
    : QDialog(parent)
{
    ui.setupUi(this);
    CGlobal table;
    table.init();
    for (const auto &entry : table.m_classMap)
        ui.leftList->addItem(QString::fromLatin1(entry.first.c_str()));
    connect(ui.leftList, &QListWidget::itemDoubleClicked, this, &CCustomCol::on_leftDb_clicked);
    connect(ui.rightList, &QListWidget::itemDoubleClicked, this, &CCustomCol::on_rightDb_clicked);
}

CCustomCol::~CCustomCol() = default;

void CCustomCol::setColumns(const QStringList &columns)
{
    m_initColumns = columns;
    ui.rightList->addItems(columns);
}

void CCustomCol::add(const QString &text)
{
    for (int i = 0; i < ui.rightList->count(); ++i) {
        if (ui.rightList->item(i)->text() == text) {
            ui.rightList->setCurrentRow(i);
            return;
        }
    }
    ui.rightList->addItem(text);
}

void CCustomCol::on_addAll_clicked()
{
    ui.rightList->clear();
    ui.rightList->addItems(m_initColumns);
}

void CCustomCol::on_addSelect_clicked()
{
    if (QListWidgetItem *item = ui.leftList->currentItem())
        add(item->text());
}

void CCustomCol::on_delSelect_clicked()
{
    const int row = ui.rightList->currentRow();
    if (row >= 0)
        delete ui.rightList->takeItem(row);
}

void CCustomCol::on_leftDb_clicked(QListWidgetItem *item)
{
    if (item)
        add(item->text());
}

void CCustomCol::on_rightDb_clicked(QListWidgetItem *item)
{
    if (item)
        delete ui.rightList->takeItem(ui.rightList->row(item));
}

void CCustomCol::on_okButton_clicked()
{
    // Only a real click accepts: a press on OK dragged off the button (released, not clicked) must
    // not hand the report an empty column list.
    m_columns.clear();
    for (int i = 0; i < ui.rightList->count(); ++i)
        m_columns.append(ui.rightList->item(i)->text());
    accept();
}
