#include "frame.h"

Frame::Frame(QWidget *parent)
    : QFrame(parent)
{ }

Frame::~Frame() = default;
