#include "clogtable.h"

CLogTable::CLogTable(QWidget *parent)
    : QFrame(parent)
{ }

CLogTable::~CLogTable() = default;
