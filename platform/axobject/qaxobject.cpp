#include "qaxobject.h"

QAxObject::QAxObject(QObject *parent)
    : QObject(parent)
{ }

QAxObject::QAxObject(const QString &c, QObject *parent)
    : QObject(parent)
{
    setControl(c);
}

QAxObject::~QAxObject()
{
    clear();
}
