#include "updateprocessframe.h"

UpdateProcessFrame::UpdateProcessFrame(QWidget *parent)
    : QFrame(parent)
{ }

UpdateProcessFrame::~UpdateProcessFrame() = default;
