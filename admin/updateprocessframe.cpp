#include "updateprocessframe.h"

#include "ui_updateprocessframe.h"

#include <QEvent>

UpdateProcessFrame::UpdateProcessFrame(QWidget *parent)
    : QFrame(parent)
    , m_ui(new Ui_UpdateProcessFrame)
{
    m_ui->setupUi(this);
}

UpdateProcessFrame::~UpdateProcessFrame()
{
    delete m_ui;
}

void UpdateProcessFrame::start()
{
    m_ui->m_ctrText->setText(QStringLiteral("     updating......"));
    m_ui->m_ctrUpdatePg->setRange(0, 0);
}

void UpdateProcessFrame::setText(const QString &text)
{
    m_ui->m_ctrText->setText(text);
}

void UpdateProcessFrame::setDone(bool done)
{
    m_ui->m_ctrOK->setText(done ? QStringLiteral("OK") : QStringLiteral("Cancel"));
}

void UpdateProcessFrame::finish()
{
    m_ui->m_ctrUpdatePg->setRange(0, 10);
    m_ui->m_ctrUpdatePg->setValue(10);
}

void UpdateProcessFrame::changeEvent(QEvent *event)
{
    QFrame::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        m_ui->retranslateUi(this);
}
