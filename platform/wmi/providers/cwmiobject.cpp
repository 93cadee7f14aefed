#include "cwmiobject.h"

void CWmiObject::set(const QString &name, const QVariant &value)
{
    for (Property &p : m_properties) {
        if (p.name == name) {
            p.value = value;
            return;
        }
    }
    m_properties.append(Property {name, value});
}

QVariant CWmiObject::value(const QString &name) const
{
    for (const Property &p : m_properties)
        if (p.name == name)
            return p.value;
    return QVariant();
}

bool CWmiObject::has(const QString &name) const
{
    for (const Property &p : m_properties)
        if (p.name == name)
            return true;
    return false;
}
