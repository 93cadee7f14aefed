#pragma once

#include <QString>

// Where the stand-ins keep machine state (service database, event log, class registry).
// BRAMIX_PLATFORM_ROOT overrides the location, so every test works on a directory of its own.
class CPlatformState
{
public:
    static QString dir();
    static QString filePath(const QString &name);
};
