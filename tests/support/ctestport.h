#pragma once

#include <QtGlobal>

// A TCP port on 127.0.0.1 seen from a test: whether something accepts connections on it.
class CTestPort
{
public:
    static bool isOpen(quint16 port, int connectMs = 1000);
    // Probes until the port accepts a connection or timeoutMs passes.
    static bool waitForOpen(quint16 port, int timeoutMs);
};
