#pragma once

#include <QHostAddress>
#include <QList>
#include <QPair>
#include <QString>

// Keeps the console's scan inside the network namespace its test made. scan-netns.sh runs a test in
// a fresh namespace holding only lo with 127.0.0.1 and one test address (BRAMIX_SCAN_ADDRESS, e.g.
// "198.51.100.1/24"); without user namespaces it runs the test marked so that it skips. Before a scan
// starts, every local IPv4 address must lie in 127.0.0.0/8 or in that test range: anything else means
// we are in a namespace with real interfaces, and the test must stop.
class CNetnsGuard
{
public:
    typedef QPair<QHostAddress, int> Subnet;

    // The IPv4 addresses among these that lie neither in 127.0.0.0/8 nor in range.
    static QList<QHostAddress> outside(const QList<QHostAddress> &addresses, const Subnet &range);

    // True when the launcher made our namespace; else reason says why the scan tests skip.
    static bool inTestNamespace(QString *reason);
    // The test address and range from the launcher ("198.51.100.1", 198.51.100.0/24).
    static QString ownAddress();
    static Subnet range();
    // Empty when a scan may start now; else what is wrong (the test fails with it).
    static QString check();
};

// In a test function or initTestCase: skip without a namespace, fail loudly outside the test range.
#define BRAMIX_SCAN_GUARD()                                                                                            \
    do {                                                                                                               \
        QString bramixReason;                                                                                          \
        if (!CNetnsGuard::inTestNamespace(&bramixReason))                                                              \
            QSKIP(qPrintable(bramixReason));                                                                           \
        const QString bramixProblem = CNetnsGuard::check();                                                            \
        if (!bramixProblem.isEmpty())                                                                                  \
            QFAIL(qPrintable(bramixProblem));                                                                          \
    } while (false)
