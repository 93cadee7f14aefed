#include "cregistrytree.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace {

const char kFormat[] = "bramix-class-registry";
const int kVersion = 1;

bool sameName(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

} // namespace

CRegistryTree::Node *CRegistryTree::Node::child(const QString &childName)
{
    for (Node &n : children)
        if (sameName(n.name, childName))
            return &n;
    return nullptr;
}

const CRegistryTree::Node *CRegistryTree::Node::child(const QString &childName) const
{
    for (const Node &n : children)
        if (sameName(n.name, childName))
            return &n;
    return nullptr;
}

QStringList CRegistryTree::splitPath(const QString &path)
{
    if (path.isEmpty())
        return QStringList();
    return path.split(QLatin1Char('\\'));
}

bool CRegistryTree::isValidPath(const QString &path)
{
    const QStringList parts = splitPath(path);
    return std::none_of(parts.begin(), parts.end(), [](const QString &p) { return p.isEmpty(); });
}

const CRegistryTree::Node *CRegistryTree::find(const QString &path) const
{
    if (!isValidPath(path))
        return nullptr;
    const Node *n = &m_root;
    for (const QString &part : splitPath(path)) {
        n = n->child(part);
        if (!n)
            return nullptr;
    }
    return n;
}

CRegistryTree::Node *CRegistryTree::find(const QString &path)
{
    return const_cast<Node *>(static_cast<const CRegistryTree *>(this)->find(path));
}

bool CRegistryTree::keyExists(const QString &path) const
{
    return find(path) != nullptr;
}

bool CRegistryTree::value(const QString &path, const QString &name, QString *data) const
{
    const Node *n = find(path);
    if (!n)
        return false;
    for (const Value &v : n->values) {
        if (sameName(v.name, name)) {
            if (data)
                *data = v.data;
            return true;
        }
    }
    return false;
}

QStringList CRegistryTree::subKeys(const QString &path) const
{
    QStringList names;
    if (const Node *n = find(path))
        for (const Node &c : n->children)
            names << c.name;
    return names;
}

QStringList CRegistryTree::valueNames(const QString &path) const
{
    QStringList names;
    if (const Node *n = find(path))
        for (const Value &v : n->values)
            names << v.name;
    return names;
}

bool CRegistryTree::createKey(const QString &path)
{
    if (!isValidPath(path))
        return false;
    Node *n = &m_root;
    for (const QString &part : splitPath(path)) {
        Node *c = n->child(part);
        if (!c) {
            Node fresh;
            fresh.name = part;
            n->children.push_back(fresh);
            c = &n->children.back();
        }
        n = c;
    }
    return true;
}

bool CRegistryTree::setValue(const QString &path, const QString &name, const QString &data)
{
    if (!createKey(path))
        return false;
    Node *n = find(path);
    for (Value &v : n->values) {
        if (sameName(v.name, name)) {
            v.data = data;
            return true;
        }
    }
    n->values.push_back(Value {name, data});
    return true;
}

bool CRegistryTree::removeKey(const QString &path)
{
    const QStringList parts = splitPath(path);
    if (parts.isEmpty() || !isValidPath(path))
        return false;
    Node *parent = find(QStringList(parts.mid(0, parts.size() - 1)).join(QLatin1Char('\\')));
    if (!parent)
        return false;
    auto it = std::find_if(parent->children.begin(), parent->children.end(),
        [&](const Node &c) { return sameName(c.name, parts.last()); });
    if (it == parent->children.end())
        return false;
    parent->children.erase(it);
    return true;
}

bool CRegistryTree::removeValue(const QString &path, const QString &name)
{
    Node *n = find(path);
    if (!n)
        return false;
    auto it = std::find_if(n->values.begin(), n->values.end(), [&](const Value &v) { return sameName(v.name, name); });
    if (it == n->values.end())
        return false;
    n->values.erase(it);
    return true;
}

namespace {

template<typename NodeT> QJsonObject nodeToJson(const NodeT &node)
{
    QJsonObject o;
    if (!node.values.empty()) {
        QJsonObject values;
        for (const auto &v : node.values)
            values.insert(v.name, v.data);
        o.insert(QStringLiteral("values"), values);
    }
    if (!node.children.empty()) {
        QJsonObject keys;
        for (const auto &c : node.children)
            keys.insert(c.name, nodeToJson(c));
        o.insert(QStringLiteral("keys"), keys);
    }
    return o;
}

} // namespace

QByteArray CRegistryTree::toJson() const
{
    QJsonObject top;
    top.insert(QStringLiteral("format"), QLatin1String(kFormat));
    top.insert(QStringLiteral("version"), kVersion);
    top.insert(QStringLiteral("root"), nodeToJson(m_root));
    return QJsonDocument(top).toJson(QJsonDocument::Indented);
}

namespace {

// Fills node from o; false on anything that is not a well-formed key.
template<typename NodeT> bool nodeFromJson(const QJsonObject &o, NodeT *node, QString *error)
{
    for (auto it = o.begin(); it != o.end(); ++it) {
        if (it.key() == QLatin1String("values")) {
            if (!it.value().isObject()) {
                *error = QStringLiteral("values of key \"%1\" are not an object").arg(node->name);
                return false;
            }
            const QJsonObject values = it.value().toObject();
            for (auto v = values.begin(); v != values.end(); ++v) {
                if (!v.value().isString()) {
                    *error = QStringLiteral("value \"%1\" of key \"%2\" is not a string").arg(v.key(), node->name);
                    return false;
                }
                node->values.push_back({v.key(), v.value().toString()});
            }
        } else if (it.key() == QLatin1String("keys")) {
            if (!it.value().isObject()) {
                *error = QStringLiteral("subkeys of key \"%1\" are not an object").arg(node->name);
                return false;
            }
            const QJsonObject keys = it.value().toObject();
            for (auto k = keys.begin(); k != keys.end(); ++k) {
                if (k.key().isEmpty() || k.key().contains(QLatin1Char('\\')) || !k.value().isObject()) {
                    *error = QStringLiteral("malformed subkey \"%1\" of key \"%2\"").arg(k.key(), node->name);
                    return false;
                }
                NodeT child;
                child.name = k.key();
                if (!nodeFromJson(k.value().toObject(), &child, error))
                    return false;
                node->children.push_back(std::move(child));
            }
        }
    }
    return true;
}

} // namespace

bool CRegistryTree::fromJson(const QByteArray &json, QString *error)
{
    QString dummy;
    if (!error)
        error = &dummy;
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    if (doc.isNull() || !doc.isObject()) {
        *error = QStringLiteral("not a JSON object: %1").arg(parseError.errorString());
        return false;
    }
    const QJsonObject top = doc.object();
    if (top.value(QStringLiteral("format")).toString() != QLatin1String(kFormat)
        || top.value(QStringLiteral("version")).toInt() != kVersion) {
        *error = QStringLiteral("not a class registry of version %1").arg(kVersion);
        return false;
    }
    Node root;
    if (!nodeFromJson(top.value(QStringLiteral("root")).toObject(), &root, error))
        return false;
    m_root = std::move(root);
    return true;
}
