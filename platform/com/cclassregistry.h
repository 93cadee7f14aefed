#pragma once

#include "cregistrytree.h"

#include <QString>
#include <QStringList>

#include <functional>

// The class registry, this system's counterpart of HKEY_CLASSES_ROOT: one JSON file,
// "classregistry.json" in the platform state directory (BRAMIX_PLATFORM_ROOT overrides it). A
// missing file is an empty registry. Readers take the file as it is (it is only ever replaced
// whole); every change is a reload-modify-write under the file's lock, replaced atomically, so
// writers in several threads and processes never lose each other's keys.
class CClassRegistry
{
public:
    enum Status { Ok, ReadFailed, WriteFailed, Abandoned };

    CClassRegistry(); // the default file, located when the object is made
    explicit CClassRegistry(const QString &filePath);

    static QString defaultFilePath();
    QString filePath() const { return m_filePath; }

    // ReadFailed when the file exists but cannot be read or is not a class registry.
    Status load(CRegistryTree *tree, QString *error = nullptr) const;
    // Runs change on the current content under the lock and writes the result; a change that
    // returns false leaves the file untouched (Abandoned). A registry that cannot be read is
    // never overwritten.
    Status update(const std::function<bool(CRegistryTree &)> &change, QString *error = nullptr);

    bool keyExists(const QString &path) const;
    // The value's data, or a null string when the key or value is missing (name empty: default).
    QString value(const QString &path, const QString &name = QString()) const;
    bool hasValue(const QString &path, const QString &name = QString()) const;
    QStringList subKeys(const QString &path) const;
    QStringList valueNames(const QString &path) const;

    bool createKey(const QString &path);
    bool setValue(const QString &path, const QString &name, const QString &data);
    bool removeKey(const QString &path);
    bool removeValue(const QString &path, const QString &name);

private:
    QString m_filePath;
};
