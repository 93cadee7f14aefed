#include "frame.h"

#include "ui_frame.h"

#include <QEvent>

Frame::Frame(QWidget *parent)
    : QFrame(parent)
    , m_ui(new Ui_Frame)
{
    m_ui->setupUi(this);
}

Frame::~Frame()
{
    delete m_ui;
}

void Frame::start()
{
    m_ui->m_ctrShowText->setText(QStringLiteral("Scaning network ......"));
    m_ui->m_ctrScanProgress->setRange(0, 0);
}

void Frame::setText(const QString &text)
{
    m_ui->m_ctrShowText->setText(text);
}

void Frame::setDone(bool done)
{
    m_ui->m_ctrOK->setText(done ? QStringLiteral("OK") : QStringLiteral("Cancel"));
}

void Frame::finish()
{
    m_ui->m_ctrScanProgress->setRange(0, 10);
    m_ui->m_ctrScanProgress->setValue(10);
}

void Frame::changeEvent(QEvent *event)
{
    QFrame::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        m_ui->retranslateUi(this);
}
