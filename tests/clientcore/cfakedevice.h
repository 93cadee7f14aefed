#pragma once

#include <QJsonObject>
#include <QString>

// Test helper: registers the fake Device library under "Inquix.Device.1" in the test's private class
// registry and sets its answers (a JSON file the fake reads at every query).
class CFakeDevice
{
public:
    // Registers the fake and points it at answersFile. False when the registry refused it.
    static bool install(const QString &answersFile);
    static bool setAnswers(const QString &answersFile, const QJsonObject &answers);
    static bool unregister();
    // Counters kept by the fake library (the COM runtime and the test share the one loaded copy).
    static int liveObjects();
    static int queries();
};
