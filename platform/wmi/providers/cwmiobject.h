#pragma once

#include <QList>
#include <QString>
#include <QVariant>

// One instance of a WMI class as a provider reads it from the machine. Property order is the order
// the object lists its names in. A null QVariant is a property WMI holds as null; QString, qint64,
// quint64, int, uint, bool and double are the value types providers use.
class CWmiObject
{
public:
    struct Property
    {
        QString name;
        QVariant value;
    };

    explicit CWmiObject(const QString &className = QString())
        : m_className(className)
    { }

    QString className() const { return m_className; }
    const QList<Property> &properties() const { return m_properties; }

    void set(const QString &name, const QVariant &value);
    // Exact, case-sensitive name; a null QVariant when the object has no such property.
    QVariant value(const QString &name) const;
    bool has(const QString &name) const;

private:
    QString m_className;
    QList<Property> m_properties;
};
