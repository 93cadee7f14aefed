#include "qaxbase.h"

#include "combase.h"

#include <QDate>
#include <QDateTime>
#include <QRegularExpression>
#include <QTime>

#include <cmath>
#include <vector>

namespace {

// The thread's apartment as this class entered it, left again when the thread ends.
struct ThreadApartment
{
    bool tried = false;
    bool entered = false;
    ~ThreadApartment()
    {
        if (entered)
            CoUninitialize();
    }
};

thread_local ThreadApartment t_apartment;

void ensureApartment()
{
    if (t_apartment.tried)
        return;
    t_apartment.tried = true;
    // S_FALSE: the thread had its apartment already, and the count taken here is given back at
    // thread end. RPC_E_CHANGED_MODE: the thread is in the multithreaded apartment, which serves.
    t_apartment.entered = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
}

QString hex(HRESULT hr)
{
    return QStringLiteral("0x%1")
        .arg(uint(uint32_t(hr)), 8, 16, QLatin1Char('0'))
        .toUpper()
        .replace(QLatin1String("0X"), QLatin1String("0x"));
}

BSTR toBstr(const QString &text)
{
    return SysAllocStringLen(reinterpret_cast<const OLECHAR *>(text.utf16()), UINT(text.size()));
}

QString fromBstr(BSTR text)
{
    if (!text)
        return QString(QLatin1String(""));
    return QString::fromUtf16(text, qsizetype(SysStringLen(text)));
}

const QDateTime &automationEpoch()
{
    static const QDateTime epoch(QDate(1899, 12, 30), QTime(0, 0));
    return epoch;
}

// An automation date counts days from 1899-12-30; for negative days the fraction still runs
// forward from that day's midnight.
DATE toAutomationDate(const QDateTime &local)
{
    const QDateTime dt(local.date(), local.time());
    const qint64 days = automationEpoch().date().daysTo(dt.date());
    const double fraction = dt.time().msecsSinceStartOfDay() / 86400000.0;
    return days >= 0 ? double(days) + fraction : double(days) - fraction;
}

QDateTime fromAutomationDate(DATE d)
{
    if (!std::isfinite(d))
        return QDateTime();
    const double whole = std::trunc(d);
    const qint64 msecs = qint64(std::llround(std::fabs(d - whole) * 86400000.0));
    return QDateTime(automationEpoch().date().addDays(qint64(whole)), QTime(0, 0)).addMSecs(msecs);
}

enum class ParamKind { Any, Text, Integer, Boolean, Real };

ParamKind kindOf(const QString &type)
{
    QString t = type;
    t.remove(QLatin1String("const"));
    t.remove(QLatin1Char('&'));
    t = t.trimmed();
    if (t == QLatin1String("BSTR") || t == QLatin1String("QString"))
        return ParamKind::Text;
    if (t == QLatin1String("int") || t == QLatin1String("long") || t == QLatin1String("LONG")
        || t == QLatin1String("INT") || t == QLatin1String("short") || t == QLatin1String("SHORT"))
        return ParamKind::Integer;
    if (t == QLatin1String("bool") || t == QLatin1String("VARIANT_BOOL"))
        return ParamKind::Boolean;
    if (t == QLatin1String("double") || t == QLatin1String("float"))
        return ParamKind::Real;
    return ParamKind::Any;
}

// Fills an initialised VARIANT from a QVariant, by the parameter's declared type where it has one.
void toVariant(const QVariant &value, ParamKind kind, VARIANT *out)
{
    switch (kind) {
    case ParamKind::Text:
        out->vt = VT_BSTR;
        out->bstrVal = toBstr(value.toString());
        return;
    case ParamKind::Integer:
        out->vt = VT_I4;
        out->lVal = value.toInt();
        return;
    case ParamKind::Boolean:
        out->vt = VT_BOOL;
        out->boolVal = value.toBool() ? VARIANT_TRUE : VARIANT_FALSE;
        return;
    case ParamKind::Real:
        out->vt = VT_R8;
        out->dblVal = value.toDouble();
        return;
    case ParamKind::Any:
        break;
    }
    switch (value.metaType().id()) {
    case QMetaType::UnknownType:
        return; // VT_EMPTY
    case QMetaType::Bool:
        out->vt = VT_BOOL;
        out->boolVal = value.toBool() ? VARIANT_TRUE : VARIANT_FALSE;
        return;
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Int:
        out->vt = VT_I4;
        out->lVal = value.toInt();
        return;
    case QMetaType::UInt:
        out->vt = VT_UI4;
        out->ulVal = value.toUInt();
        return;
    case QMetaType::Long:
    case QMetaType::LongLong:
        out->vt = VT_I8;
        out->llVal = value.toLongLong();
        return;
    case QMetaType::ULong:
    case QMetaType::ULongLong:
        out->vt = VT_UI8;
        out->ullVal = value.toULongLong();
        return;
    case QMetaType::Float:
    case QMetaType::Double:
        out->vt = VT_R8;
        out->dblVal = value.toDouble();
        return;
    case QMetaType::QDate:
    case QMetaType::QDateTime:
        out->vt = VT_DATE;
        out->date = toAutomationDate(value.toDateTime());
        return;
    default:
        out->vt = VT_BSTR;
        out->bstrVal = toBstr(value.toString());
        return;
    }
}

QVariant fromVariant(const VARIANT &v)
{
    switch (v.vt) {
    case VT_BSTR:
        return fromBstr(v.bstrVal);
    case VT_I1:
        return int(v.cVal);
    case VT_I2:
        return int(v.iVal);
    case VT_I4:
        return int(v.lVal);
    case VT_INT:
        return int(v.intVal);
    case VT_UI1:
        return uint(v.bVal);
    case VT_UI2:
        return uint(v.uiVal);
    case VT_UI4:
        return uint(v.ulVal);
    case VT_UINT:
        return uint(v.uintVal);
    case VT_I8:
        return qlonglong(v.llVal);
    case VT_UI8:
        return qulonglong(v.ullVal);
    case VT_BOOL:
        return bool(v.boolVal != VARIANT_FALSE);
    case VT_R4:
        return double(v.fltVal);
    case VT_R8:
        return v.dblVal;
    case VT_CY:
        return double(v.llVal) / 10000.0;
    case VT_DATE:
        return fromAutomationDate(v.date);
    default:
        return QVariant(); // empty, null, interfaces, arrays: nothing a caller here can use
    }
}

struct Prototype
{
    QString name;
    QStringList types; // one per declared parameter
    bool hasParameterList = false;
};

bool parsePrototype(const QString &text, Prototype *proto)
{
    const QString trimmed = text.trimmed();
    const int open = trimmed.indexOf(QLatin1Char('('));
    if (open < 0) {
        proto->name = trimmed;
        return !proto->name.isEmpty();
    }
    if (!trimmed.endsWith(QLatin1Char(')')))
        return false;
    proto->name = trimmed.left(open).trimmed();
    proto->hasParameterList = true;
    const QString inside = trimmed.mid(open + 1, trimmed.size() - open - 2).trimmed();
    if (!inside.isEmpty()) {
        // "type name", "type *name", "type* name" or a bare type.
        static const QRegularExpression named(QStringLiteral("^(.*[\\s\\*&])\\s*([A-Za-z_][A-Za-z0-9_]*)$"));
        for (const QString &part : inside.split(QLatin1Char(','))) {
            const QString param = part.trimmed();
            if (param.isEmpty())
                return false;
            const QRegularExpressionMatch m = named.match(param);
            proto->types << (m.hasMatch() ? m.captured(1).trimmed() : param);
        }
    }
    static const QRegularExpression identifier(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    return identifier.match(proto->name).hasMatch();
}

} // namespace

QAxBase::QAxBase()
    : m_unknown(nullptr)
    , m_dispatch(nullptr)
{ }

QAxBase::~QAxBase()
{
    clear();
}

void QAxBase::clear()
{
    if (m_dispatch)
        m_dispatch->Release();
    if (m_unknown)
        m_unknown->Release();
    m_dispatch = nullptr;
    m_unknown = nullptr;
    m_control.clear();
}

bool QAxBase::setControl(const QString &c)
{
    clear();
    ensureApartment();
    const QString control = c.trimmed();
    CLSID clsid;
    const std::u16string text = control.toStdU16String();
    HRESULT hr = control.startsWith(QLatin1Char('{')) ? CLSIDFromString(text.c_str(), &clsid)
                                                      : CLSIDFromProgID(text.c_str(), &clsid);
    if (SUCCEEDED(hr)) {
        hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IUnknown,
            reinterpret_cast<void **>(&m_unknown));
    }
    if (FAILED(hr) || !m_unknown) {
        m_unknown = nullptr;
        qWarning("QAxBase::setControl: requested control %s could not be instantiated (%s)", qPrintable(control),
            qPrintable(hex(hr)));
        return false;
    }
    if (FAILED(m_unknown->QueryInterface(IID_IDispatch, reinterpret_cast<void **>(&m_dispatch))))
        m_dispatch = nullptr;
    m_control = control;
    return true;
}

QVariant QAxBase::dynamicCall(const char *prototype, const QVariant &v1, const QVariant &v2, const QVariant &v3,
    const QVariant &v4, const QVariant &v5, const QVariant &v6, const QVariant &v7, const QVariant &v8)
{
    return dynamicCall(prototype, QList<QVariant> {v1, v2, v3, v4, v5, v6, v7, v8});
}

QVariant QAxBase::dynamicCall(const char *prototype, const QList<QVariant> &vars)
{
    const QString text = QString::fromLatin1(prototype ? prototype : "");
    if (!m_unknown) {
        qWarning("QAxBase::dynamicCall: %s: no COM object is bound", qPrintable(text));
        return QVariant();
    }
    if (!m_dispatch) {
        qWarning("QAxBase::dynamicCall: %s: %s has no automation interface", qPrintable(text), qPrintable(m_control));
        return QVariant();
    }
    Prototype proto;
    if (!parsePrototype(text, &proto)) {
        qWarning("QAxBase::dynamicCall: %s: not a method prototype", qPrintable(text));
        return QVariant();
    }

    int supplied = int(vars.size());
    while (supplied > 0 && !vars.at(supplied - 1).isValid())
        --supplied;
    int argCount = supplied;
    QStringList types = proto.types;
    if (proto.hasParameterList) {
        argCount = int(types.size());
        // The trailing pointer parameter no argument was given for is the [out, retval] result.
        if (argCount > 0 && types.last().contains(QLatin1Char('*')) && supplied < argCount) {
            --argCount;
            types.removeLast();
        }
        if (supplied > argCount) {
            qWarning(
                "QAxBase::dynamicCall: %s: %d arguments given for %d parameters", qPrintable(text), supplied, argCount);
            return QVariant();
        }
    }

    const std::u16string name = proto.name.toStdU16String();
    LPOLESTR names[1] = {const_cast<LPOLESTR>(name.c_str())};
    DISPID dispid = DISPID_UNKNOWN;
    HRESULT hr = m_dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &dispid);
    if (FAILED(hr)) {
        qWarning("QAxBase::dynamicCall: %s: no such method in %s (%s)", qPrintable(proto.name), qPrintable(m_control),
            qPrintable(hex(hr)));
        return QVariant();
    }

    // Automation takes the arguments last first.
    std::vector<VARIANT> args(static_cast<size_t>(argCount));
    for (int i = 0; i < argCount; ++i) {
        VARIANT &arg = args[size_t(argCount - 1 - i)];
        VariantInit(&arg);
        const QVariant value = i < vars.size() ? vars.at(i) : QVariant();
        if (!value.isValid() && proto.hasParameterList) {
            arg.vt = VT_ERROR; // an optional parameter left out
            arg.scode = DISP_E_PARAMNOTFOUND;
        } else {
            toVariant(value, i < types.size() ? kindOf(types.at(i)) : ParamKind::Any, &arg);
        }
    }
    VARIANT result;
    VariantInit(&result);
    // The callee may throw through Invoke (the caller's guard catches it): the argument strings and
    // the result must be freed on that road too.
    struct VariantsGuard
    {
        std::vector<VARIANT> &args;
        VARIANT &result;
        ~VariantsGuard()
        {
            for (VARIANT &arg : args)
                VariantClear(&arg);
            VariantClear(&result);
        }
    } guard {args, result};
    DISPPARAMS params = {args.empty() ? nullptr : args.data(), nullptr, UINT(argCount), 0};
    EXCEPINFO excep = {};
    UINT argErr = 0;
    hr = m_dispatch->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result, &excep, &argErr);
    for (VARIANT &arg : args)
        VariantClear(&arg);

    QVariant answer;
    if (FAILED(hr)) {
        QString detail;
        if (hr == DISP_E_EXCEPTION) {
            if (excep.pfnDeferredFillIn)
                excep.pfnDeferredFillIn(&excep);
            detail = QStringLiteral(" %1: %2").arg(fromBstr(excep.bstrSource), fromBstr(excep.bstrDescription));
        }
        qWarning("QAxBase::dynamicCall: error calling %s of %s: %s%s", qPrintable(proto.name), qPrintable(m_control),
            qPrintable(hex(hr)), qPrintable(detail));
    } else {
        answer = fromVariant(result);
    }
    SysFreeString(excep.bstrSource);
    SysFreeString(excep.bstrDescription);
    SysFreeString(excep.bstrHelpFile);
    VariantClear(&result);
    return answer;
}
