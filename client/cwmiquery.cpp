#include "cwmiquery.h"

#include "cglobal.h"
#include "qaxobject.h"
#include "qtservicebase.h"

#include <QVariant>

namespace {

QString wqlOf(const QString &classKey)
{
    CGlobal table;
    table.init();
    return QString::fromLatin1(table.m_classMap[classKey.toLatin1().toStdString()].c_str());
}

} // namespace

QStringList CWmiQuery::query(const QString &classKey)
{
    const QString wql = wqlOf(classKey);
    try {
        QAxObject device;
        device.setControl(QStringLiteral("Inquix.Device.1"));
        const QVariant answer = device.dynamicCall("query(BSTR bstrSQL, VARIANT* pvarResult)", QVariant(wql));
        QString text = answer.toString();
        text.replace(QLatin1Char(':'), QLatin1Char(' '));
        text.replace(QLatin1Char('|'), QLatin1Char(' '));
        return text.split(QLatin1Char('^'), Qt::KeepEmptyParts, Qt::CaseSensitive);
    } catch (...) {
        // A plain program (a test, a tool) has no service object to log through.
        if (QtServiceBase *service = QtServiceBase::instance())
            service->logMessage(QStringLiteral("query exception"), QtServiceBase::Success, 0, 0);
        return QStringList();
    }
}

QString CWmiQuery::queryRaw(const QString &classKey)
{
    const QString wql = wqlOf(classKey);
    QAxObject device;
    device.setControl(QStringLiteral("{28211449-F0EF-4A6A-906F-CCAA1A10DA56}"));
    return device.dynamicCall("query(BSTR bstrSQL, VARIANT* pvarResult)", QVariant(wql)).toString();
}
