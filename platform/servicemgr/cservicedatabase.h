#pragma once

#include <QList>
#include <QString>

#include <functional>

// The service database: one JSON file under the platform state directory holding every installed
// service. Every change is one locked read-modify-write that replaces the file atomically.
class CServiceDatabase
{
public:
    struct Entry
    {
        QString name;
        QString displayName;
        quint32 serviceType = 0;
        quint32 startType = 0;
        quint32 errorControl = 0;
        QString binaryPath;
        QString loadOrderGroup;
        QString dependencies; // as given: names separated by '\n'
        QString account; // empty: the local system account
        bool passwordGiven = false;
        bool hasDescription = false;
        QString description;
    };

    enum Result { Ok, NotFound, Exists, DuplicateDisplayName, IoError };

    static QString path();

    static Result find(const QString &name, Entry *entry);
    static Result add(const Entry &entry);
    static Result remove(const QString &name);
    static Result setDescription(const QString &name, bool hasDescription, const QString &description);

private:
    static bool load(QList<Entry> *entries);
    static bool save(const QList<Entry> &entries);
    static int indexOf(const QList<Entry> &entries, const QString &name);
    // One locked read-modify-write: edit changes the loaded entries, which are saved if it returns Ok.
    static Result change(const std::function<Result(QList<Entry> &)> &edit);
};
