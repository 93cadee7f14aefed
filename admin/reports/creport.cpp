#include "creport.h"

CReport::CReport(QWidget *parent, Qt::WindowFlags flags)
    : QMainWindow(parent, flags)
{ }

CReport::~CReport() = default;
