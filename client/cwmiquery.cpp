#include "cwmiquery.h"

#include "cglobal.h"
#include "cxmlwriter.h"
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

void log(const QString &text)
{
    // A plain program (a test, a tool) has no service object to log through.
    if (QtServiceBase *service = QtServiceBase::instance())
        service->logMessage(text, QtServiceBase::Success, 0, 0);
}

} // namespace

QStringList CWmiQuery::query(const QString &classKey)
{
    return query(classKey, nullptr);
}

QStringList CWmiQuery::query(const QString &classKey, bool *made)
{
    const QString wql = wqlOf(classKey);
    QString failure;
    QStringList rows;
    try {
        QAxObject device;
        const bool bound = device.setControl(QStringLiteral("Inquix.Device.1"));
        const QVariant answer = device.dynamicCall("query(BSTR bstrSQL, VARIANT* pvarResult)", QVariant(wql));
        QString text = CXmlWriter::validText(answer.toString());
        if (!bound)
            failure = QStringLiteral("no Device object");
        else if (text == QLatin1String("CoCreateInstance error") || text == QLatin1String("ConnectServer error"))
            failure = text;
        text.replace(QLatin1Char(':'), QLatin1Char(' '));
        text.replace(QLatin1Char('|'), QLatin1Char(' '));
        rows = text.split(QLatin1Char('^'), Qt::KeepEmptyParts, Qt::CaseSensitive);
    } catch (...) {
        log(QStringLiteral("query exception"));
        failure = QStringLiteral("query exception");
    }
    if (!made)
        return rows;
    *made = failure.isEmpty();
    if (failure.isEmpty())
        return rows;
    log(QStringLiteral("inventory query of class %1 could not be made: %2").arg(classKey, failure));
    return QStringList();
}

QString CWmiQuery::queryRaw(const QString &classKey)
{
    const QString wql = wqlOf(classKey);
    QAxObject device;
    device.setControl(QStringLiteral("{28211449-F0EF-4A6A-906F-CCAA1A10DA56}"));
    return device.dynamicCall("query(BSTR bstrSQL, VARIANT* pvarResult)", QVariant(wql)).toString();
}
