#include "cclassregistry.h"

#include "catomicfile.h"
#include "cfileguard.h"
#include "cplatformstate.h"

#include <QFile>

CClassRegistry::CClassRegistry()
    : m_filePath(defaultFilePath())
{ }

CClassRegistry::CClassRegistry(const QString &filePath)
    : m_filePath(filePath)
{ }

QString CClassRegistry::defaultFilePath()
{
    return CPlatformState::filePath(QStringLiteral("classregistry.json"));
}

CClassRegistry::Status CClassRegistry::load(CRegistryTree *tree, QString *error) const
{
    *tree = CRegistryTree();
    QFile file(m_filePath);
    if (!file.exists())
        return Ok;
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return ReadFailed;
    }
    const QByteArray data = file.readAll();
    QString why;
    if (!tree->fromJson(data, &why)) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(m_filePath, why);
        return ReadFailed;
    }
    return Ok;
}

CClassRegistry::Status CClassRegistry::update(const std::function<bool(CRegistryTree &)> &change, QString *error)
{
    CFileGuard guard(m_filePath);
    if (!guard.isLocked()) {
        if (error)
            *error = QStringLiteral("cannot lock %1").arg(m_filePath);
        return WriteFailed;
    }
    CRegistryTree tree;
    const Status loaded = load(&tree, error);
    if (loaded != Ok)
        return loaded;
    if (!change(tree))
        return Abandoned;
    if (!CAtomicFile::write(m_filePath, tree.toJson(), error))
        return WriteFailed;
    return Ok;
}

bool CClassRegistry::keyExists(const QString &path) const
{
    CRegistryTree tree;
    return load(&tree) == Ok && tree.keyExists(path);
}

QString CClassRegistry::value(const QString &path, const QString &name) const
{
    CRegistryTree tree;
    QString data;
    if (load(&tree) != Ok || !tree.value(path, name, &data))
        return QString();
    if (data.isNull())
        data = QLatin1String(""); // found but empty stays distinguishable from missing
    return data;
}

bool CClassRegistry::hasValue(const QString &path, const QString &name) const
{
    CRegistryTree tree;
    return load(&tree) == Ok && tree.value(path, name, nullptr);
}

QStringList CClassRegistry::subKeys(const QString &path) const
{
    CRegistryTree tree;
    load(&tree);
    return tree.subKeys(path);
}

QStringList CClassRegistry::valueNames(const QString &path) const
{
    CRegistryTree tree;
    load(&tree);
    return tree.valueNames(path);
}

bool CClassRegistry::createKey(const QString &path)
{
    return update([&](CRegistryTree &t) { return t.createKey(path); }) == Ok;
}

bool CClassRegistry::setValue(const QString &path, const QString &name, const QString &data)
{
    return update([&](CRegistryTree &t) { return t.setValue(path, name, data); }) == Ok;
}

bool CClassRegistry::removeKey(const QString &path)
{
    return update([&](CRegistryTree &t) { return t.removeKey(path); }) == Ok;
}

bool CClassRegistry::removeValue(const QString &path, const QString &name)
{
    return update([&](CRegistryTree &t) { return t.removeValue(path, name); }) == Ok;
}
