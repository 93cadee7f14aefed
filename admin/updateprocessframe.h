#pragma once

#include <QFrame>

class Ui_UpdateProcessFrame;

// The update progress window: a busy bar while the pushes run, the counts its user sets, and a button
// that reads "Cancel" while busy and "OK" when done; the button only hides the window.
class UpdateProcessFrame : public QFrame
{
    Q_OBJECT
public:
    explicit UpdateProcessFrame(QWidget *parent = nullptr);
    ~UpdateProcessFrame() override;

    void start();
    void setText(const QString &text);
    void setDone(bool done);
    void finish();

protected:
    void changeEvent(QEvent *event) override;

private:
    Ui_UpdateProcessFrame *m_ui;
};
