#include "clogtable.h"

#include "ui_clogtable.h"

#include <QEvent>
#include <QItemSelectionModel>

CLogTable::CLogTable(QWidget *parent)
    : QFrame(parent)
    , m_ui(new Ui_CLogTable)
{
    m_ui->setupUi(this);
}

CLogTable::~CLogTable()
{
    // The view goes with the frame's children, after the model it shows: detach it first.
    setModel(nullptr);
    delete m_ui;
}

void CLogTable::setModel(QAbstractItemModel *model)
{
    if (model == m_model)
        return;
    // The view neither owns the model nor frees the selection model it made for the old one.
    QItemSelectionModel *oldSelection = m_ui->tvLog->selectionModel();
    QAbstractItemModel *oldModel = m_model;
    m_ui->tvLog->setModel(model);
    m_model = model;
    if (oldSelection && oldSelection != m_ui->tvLog->selectionModel())
        delete oldSelection;
    delete oldModel;
}

void CLogTable::changeEvent(QEvent *event)
{
    QFrame::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        setWindowTitle(QCoreApplication::translate("CLogTable", "Log view"));
}
