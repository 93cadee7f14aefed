#pragma once

#include <QList>
#include <QString>
#include <QVariant>

struct IUnknown;
struct IDispatch;

// The automation side of a COM object bound by ProgID or CLSID: late-bound method calls through
// IDispatch, with QVariant arguments and result.
//
// setControl takes a ProgID ("Inquix.Device.1", its CurVer followed) or an identifier text in
// braces, which always names a class (CLSID). A braces text that is no registered class, an
// interface identifier for instance, binds nothing: the class registry has no server for it, just
// as COM would refuse it. A failed binding leaves the object null and prints a warning; later calls
// yield invalid variants.
//
// The first binding in a thread enters a single-threaded apartment for that thread (kept until the
// thread ends) unless the thread has already initialised COM.
class QAxBase
{
public:
    QAxBase();
    virtual ~QAxBase();

    QAxBase(const QAxBase &) = delete;
    QAxBase &operator=(const QAxBase &) = delete;

    bool setControl(const QString &c);
    QString control() const { return m_control; }
    void clear();
    bool isNull() const { return m_unknown == nullptr; }

    // prototype: "name(type arg, ...)" or just "name". The arguments go to the method in order; a
    // last parameter of pointer type ("VARIANT* pvarResult") with no argument given is the
    // method's [out, retval] result. Text arguments become BSTR, integers VT_I4/VT_I8, bool VT_BOOL,
    // reals VT_R8. The result: BSTR as QString, integers, bool, double, dates as QDateTime; an
    // invalid QVariant when the name cannot be bound, the call fails or returns nothing.
    QVariant dynamicCall(const char *prototype, const QVariant &v1 = QVariant(), const QVariant &v2 = QVariant(),
        const QVariant &v3 = QVariant(), const QVariant &v4 = QVariant(), const QVariant &v5 = QVariant(),
        const QVariant &v6 = QVariant(), const QVariant &v7 = QVariant(), const QVariant &v8 = QVariant());
    QVariant dynamicCall(const char *prototype, const QList<QVariant> &vars);

private:
    QString m_control;
    IUnknown *m_unknown;
    IDispatch *m_dispatch;
};
