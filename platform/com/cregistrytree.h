#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

// An in-memory tree of registry keys, each with named string values and a default value (the
// value with the empty name). Key paths are names joined by '\'; the empty path is the root.
// Names of keys and values compare without regard to letter case and keep the case they were
// first written with, as the Windows registry does.
class CRegistryTree
{
public:
    bool keyExists(const QString &path) const;
    // False when the key or the value does not exist.
    bool value(const QString &path, const QString &name, QString *data) const;
    QStringList subKeys(const QString &path) const;
    QStringList valueNames(const QString &path) const;

    // Creates the key and every missing key above it; false for an invalid path.
    bool createKey(const QString &path);
    bool setValue(const QString &path, const QString &name, const QString &data);
    // Deletes the key with everything below it; false when it did not exist. The root stays.
    bool removeKey(const QString &path);
    bool removeValue(const QString &path, const QString &name);

    QByteArray toJson() const;
    bool fromJson(const QByteArray &json, QString *error);

    static bool isValidPath(const QString &path);
    static QStringList splitPath(const QString &path);

private:
    struct Value
    {
        QString name;
        QString data;
    };
    struct Node
    {
        QString name;
        std::vector<Value> values;
        std::vector<Node> children;

        Node *child(const QString &childName);
        const Node *child(const QString &childName) const;
    };

    const Node *find(const QString &path) const;
    Node *find(const QString &path);

    Node m_root;
};
