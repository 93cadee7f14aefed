#pragma once

#include <QString>

class QtServiceController;

class QtServiceControllerPrivate
{
public:
    QString serviceName;
    QtServiceController *q_ptr = nullptr;
};
