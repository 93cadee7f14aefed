#include "cservicedatabase.h"

#include "catomicfile.h"
#include "cfileguard.h"
#include "cplatformstate.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

QString CServiceDatabase::path()
{
    return CPlatformState::filePath(QStringLiteral("services.json"));
}

bool CServiceDatabase::load(QList<Entry> *entries)
{
    entries->clear();
    QFile file(path());
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray data = file.readAll();
    if (data.trimmed().isEmpty())
        return true;
    QJsonParseError err;
    const QJsonDocument doc = QJsonDocument::fromJson(data, &err);
    if (err.error != QJsonParseError::NoError || !doc.isObject())
        return false; // never overwrite a database we cannot read
    const QJsonArray list = doc.object().value(QStringLiteral("services")).toArray();
    for (const QJsonValue &v : list) {
        const QJsonObject o = v.toObject();
        Entry e;
        e.name = o.value(QStringLiteral("name")).toString();
        if (e.name.isEmpty())
            continue;
        e.displayName = o.value(QStringLiteral("displayName")).toString();
        e.serviceType = quint32(o.value(QStringLiteral("serviceType")).toDouble());
        e.startType = quint32(o.value(QStringLiteral("startType")).toDouble());
        e.errorControl = quint32(o.value(QStringLiteral("errorControl")).toDouble());
        e.binaryPath = o.value(QStringLiteral("binaryPath")).toString();
        e.loadOrderGroup = o.value(QStringLiteral("loadOrderGroup")).toString();
        e.dependencies = o.value(QStringLiteral("dependencies")).toString();
        e.account = o.value(QStringLiteral("account")).toString();
        e.passwordGiven = o.value(QStringLiteral("passwordGiven")).toBool();
        e.hasDescription = o.contains(QStringLiteral("description"));
        e.description = o.value(QStringLiteral("description")).toString();
        entries->append(e);
    }
    return true;
}

bool CServiceDatabase::save(const QList<Entry> &entries)
{
    QJsonArray list;
    for (const Entry &e : entries) {
        QJsonObject o;
        o.insert(QStringLiteral("name"), e.name);
        o.insert(QStringLiteral("displayName"), e.displayName);
        o.insert(QStringLiteral("serviceType"), double(e.serviceType));
        o.insert(QStringLiteral("startType"), double(e.startType));
        o.insert(QStringLiteral("errorControl"), double(e.errorControl));
        o.insert(QStringLiteral("binaryPath"), e.binaryPath);
        o.insert(QStringLiteral("loadOrderGroup"), e.loadOrderGroup);
        o.insert(QStringLiteral("dependencies"), e.dependencies);
        o.insert(QStringLiteral("account"), e.account);
        // Only whether a password came with the account: it cannot be used here (no logon), and a
        // clear-text password in a state file would be a leak.
        o.insert(QStringLiteral("passwordGiven"), e.passwordGiven);
        if (e.hasDescription)
            o.insert(QStringLiteral("description"), e.description);
        list.append(o);
    }
    QJsonObject root;
    root.insert(QStringLiteral("services"), list);
    return CAtomicFile::write(path(), QJsonDocument(root).toJson(QJsonDocument::Indented));
}

int CServiceDatabase::indexOf(const QList<Entry> &entries, const QString &name)
{
    for (int i = 0; i < entries.size(); ++i) {
        if (entries.at(i).name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

CServiceDatabase::Result CServiceDatabase::find(const QString &name, Entry *entry)
{
    CFileGuard guard(path());
    QList<Entry> entries;
    if (!load(&entries))
        return IoError;
    const int i = indexOf(entries, name);
    if (i < 0)
        return NotFound;
    if (entry)
        *entry = entries.at(i);
    return Ok;
}

CServiceDatabase::Result CServiceDatabase::change(const std::function<Result(QList<Entry> &)> &edit)
{
    CFileGuard guard(path());
    if (!guard.isLocked())
        return IoError;
    QList<Entry> entries;
    if (!load(&entries))
        return IoError;
    const Result result = edit(entries);
    if (result != Ok)
        return result;
    return save(entries) ? Ok : IoError;
}

CServiceDatabase::Result CServiceDatabase::add(const Entry &entry)
{
    return change([&entry](QList<Entry> &entries) {
        if (indexOf(entries, entry.name) >= 0)
            return Exists;
        for (const Entry &e : entries) {
            if (e.displayName.compare(entry.displayName, Qt::CaseInsensitive) == 0
                || e.displayName.compare(entry.name, Qt::CaseInsensitive) == 0
                || e.name.compare(entry.displayName, Qt::CaseInsensitive) == 0)
                return DuplicateDisplayName;
        }
        entries.append(entry);
        return Ok;
    });
}

CServiceDatabase::Result CServiceDatabase::remove(const QString &name)
{
    return change([&name](QList<Entry> &entries) {
        const int i = indexOf(entries, name);
        if (i < 0)
            return NotFound;
        entries.removeAt(i);
        return Ok;
    });
}

CServiceDatabase::Result CServiceDatabase::setDescription(
    const QString &name, bool hasDescription, const QString &description)
{
    return change([&](QList<Entry> &entries) {
        const int i = indexOf(entries, name);
        if (i < 0)
            return NotFound;
        entries[i].hasDescription = hasDescription;
        entries[i].description = hasDescription ? description : QString();
        return Ok;
    });
}
