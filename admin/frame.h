#pragma once

#include <QFrame>

class Ui_Frame;

// The scan progress window: a busy bar while the probes run, the counts its user sets, and a button
// that reads "Cancel" while busy and "OK" when done; the button only hides the window.
class Frame : public QFrame
{
    Q_OBJECT
public:
    explicit Frame(QWidget *parent = nullptr);
    ~Frame() override;

    void start();
    void setText(const QString &text);
    void setDone(bool done);
    void finish();

protected:
    void changeEvent(QEvent *event) override;

private:
    Ui_Frame *m_ui;
};
