#pragma once

#include <QString>

// Where the store's files live and which client identities may name one of them.
class CStorePath
{
public:
    // The directory of the running program's file: its path cut before the last "/", or before the
    // last "\" when it has no "/"; a path with neither is returned whole.
    static QString appDir();
    // The running program's file, safe to ask from any thread.
    static QString appFilePath();
    static QString dirOf(const QString &path);

    // A client's file is named by its UUID. Only texts made of hex digits, "-" and braces may reach
    // the file system, so an identity answer can never name a file outside the application directory.
    static bool isSafeUuid(const QString &uuid);
};
