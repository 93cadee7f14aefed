#pragma once

#include "qaxbase.h"

#include <QObject>

// A COM object bound by ProgID or CLSID, owned like any other QObject. Destroying it releases the
// COM object.
class QAxObject : public QObject, public QAxBase
{
    Q_OBJECT
public:
    explicit QAxObject(QObject *parent = nullptr);
    explicit QAxObject(const QString &c, QObject *parent = nullptr);
    ~QAxObject() override;
};
