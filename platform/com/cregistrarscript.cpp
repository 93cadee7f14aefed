#include "cregistrarscript.h"

namespace {

struct Token
{
    enum Kind { Word, Quoted, OpenBrace, CloseBrace, Equals };
    Kind kind;
    QString text;
    int line;
};

bool expand(const QString &raw, const QMap<QString, QString> &replacements, QString *out, QString *error)
{
    QString result;
    for (int i = 0; i < raw.size(); ++i) {
        const QChar c = raw.at(i);
        if (c != QLatin1Char('%')) {
            result += c;
            continue;
        }
        const int end = raw.indexOf(QLatin1Char('%'), i + 1);
        if (end < 0) {
            *error = QStringLiteral("unterminated replacement in \"%1\"").arg(raw);
            return false;
        }
        const QString name = raw.mid(i + 1, end - i - 1);
        if (name.isEmpty()) {
            result += QLatin1Char('%');
        } else {
            const auto it = replacements.constFind(name.toUpper());
            if (it == replacements.constEnd()) {
                *error = QStringLiteral("unknown replacement %%1%").arg(name);
                return false;
            }
            result += it.value();
        }
        i = end;
    }
    *out = result;
    return true;
}

bool tokenize(
    const QString &text, const QMap<QString, QString> &replacements, std::vector<Token> *tokens, QString *error)
{
    int line = 1;
    int i = 0;
    const int n = int(text.size());
    while (i < n) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\n')) {
            ++line;
            ++i;
            continue;
        }
        if (c.isSpace()) {
            ++i;
            continue;
        }
        if (c == QLatin1Char('=')) {
            tokens->push_back({Token::Equals, QString(), line});
            ++i;
            continue;
        }
        if (c == QLatin1Char('\'')) {
            QString raw;
            int j = i + 1;
            bool closed = false;
            while (j < n) {
                const QChar d = text.at(j);
                if (d == QLatin1Char('\'')) {
                    if (j + 1 < n && text.at(j + 1) == QLatin1Char('\'')) {
                        raw += d;
                        j += 2;
                        continue;
                    }
                    closed = true;
                    ++j;
                    break;
                }
                if (d == QLatin1Char('\n'))
                    ++line;
                raw += d;
                ++j;
            }
            if (!closed) {
                *error = QStringLiteral("line %1: unterminated quoted text").arg(line);
                return false;
            }
            QString expanded;
            if (!expand(raw, replacements, &expanded, error)) {
                *error = QStringLiteral("line %1: %2").arg(line).arg(*error);
                return false;
            }
            tokens->push_back({Token::Quoted, expanded, line});
            i = j;
            continue;
        }
        int j = i;
        while (j < n && !text.at(j).isSpace() && text.at(j) != QLatin1Char('=') && text.at(j) != QLatin1Char('\''))
            ++j;
        const QString word = text.mid(i, j - i);
        if (word == QLatin1String("{")) {
            tokens->push_back({Token::OpenBrace, word, line});
        } else if (word == QLatin1String("}")) {
            tokens->push_back({Token::CloseBrace, word, line});
        } else {
            QString expanded;
            if (!expand(word, replacements, &expanded, error)) {
                *error = QStringLiteral("line %1: %2").arg(line).arg(*error);
                return false;
            }
            tokens->push_back({Token::Word, expanded, line});
        }
        i = j;
    }
    return true;
}

bool isKeyword(const Token &t, const char *word)
{
    return t.kind == Token::Word && t.text.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
}

} // namespace

namespace {

class Parser
{
public:
    Parser(const std::vector<Token> &tokens, QString *error)
        : m_tokens(tokens)
        , m_error(error)
    { }

    template<typename ItemT> bool parseScript(std::vector<ItemT> *items)
    {
        while (m_pos < m_tokens.size()) {
            const Token &root = m_tokens[m_pos];
            if (!isKeyword(root, "HKCR") && !isKeyword(root, "HKEY_CLASSES_ROOT"))
                return fail(root, QStringLiteral("expected HKCR, found \"%1\"").arg(root.text));
            ++m_pos;
            if (!expect(Token::OpenBrace, "{"))
                return false;
            if (!parseBody(items))
                return false;
        }
        return true;
    }

private:
    template<typename ItemT> bool parseBody(std::vector<ItemT> *items)
    {
        for (;;) {
            if (m_pos >= m_tokens.size())
                return failAtEnd(QStringLiteral("missing \"}\""));
            const Token &t = m_tokens[m_pos];
            if (t.kind == Token::CloseBrace) {
                ++m_pos;
                return true;
            }
            ItemT item;
            if (isKeyword(t, "val")) {
                ++m_pos;
                item.isValue = true;
                if (!parseName(&item.name))
                    return false;
                if (!expect(Token::Equals, "="))
                    return false;
                if (!parseValue(&item.value))
                    return false;
                item.hasValue = true;
                items->push_back(std::move(item));
                continue;
            }
            for (;;) {
                const Token &f = current();
                if (isKeyword(f, "NoRemove"))
                    item.noRemove = true;
                else if (isKeyword(f, "ForceRemove"))
                    item.forceRemove = true;
                else if (isKeyword(f, "Delete"))
                    item.deleteKey = true;
                else
                    break;
                ++m_pos;
            }
            if (!parseName(&item.name))
                return false;
            if (m_pos < m_tokens.size() && m_tokens[m_pos].kind == Token::Equals) {
                ++m_pos;
                if (!parseValue(&item.value))
                    return false;
                item.hasValue = true;
            }
            if (m_pos < m_tokens.size() && m_tokens[m_pos].kind == Token::OpenBrace) {
                ++m_pos;
                if (!parseBody(&item.children))
                    return false;
            }
            items->push_back(std::move(item));
        }
    }

    bool parseName(QString *name)
    {
        if (m_pos >= m_tokens.size())
            return failAtEnd(QStringLiteral("missing key or value name"));
        const Token &t = m_tokens[m_pos];
        if (t.kind != Token::Word && t.kind != Token::Quoted)
            return fail(t, QStringLiteral("expected a name"));
        if (t.text.contains(QLatin1Char('\\')) || (t.kind == Token::Word && t.text.isEmpty()))
            return fail(t, QStringLiteral("invalid name \"%1\"").arg(t.text));
        *name = t.text;
        ++m_pos;
        return true;
    }

    bool parseValue(QString *value)
    {
        if (m_pos >= m_tokens.size())
            return failAtEnd(QStringLiteral("missing value type"));
        const Token &type = m_tokens[m_pos];
        if (!isKeyword(type, "s"))
            return fail(type, QStringLiteral("unsupported value type \"%1\" (only s)").arg(type.text));
        ++m_pos;
        if (m_pos >= m_tokens.size())
            return failAtEnd(QStringLiteral("missing value"));
        const Token &t = m_tokens[m_pos];
        if (t.kind != Token::Quoted && t.kind != Token::Word)
            return fail(t, QStringLiteral("expected a value"));
        *value = t.text;
        ++m_pos;
        return true;
    }

    bool expect(Token::Kind kind, const char *what)
    {
        if (m_pos >= m_tokens.size())
            return failAtEnd(QStringLiteral("missing \"%1\"").arg(QLatin1String(what)));
        if (m_tokens[m_pos].kind != kind)
            return fail(m_tokens[m_pos], QStringLiteral("expected \"%1\"").arg(QLatin1String(what)));
        ++m_pos;
        return true;
    }

    const Token &current() const
    {
        static const Token none = {Token::Equals, QString(), 0};
        return m_pos < m_tokens.size() ? m_tokens[m_pos] : none;
    }

    bool fail(const Token &t, const QString &why)
    {
        *m_error = QStringLiteral("line %1: %2").arg(t.line).arg(why);
        return false;
    }

    bool failAtEnd(const QString &why)
    {
        *m_error = QStringLiteral("end of script: %1").arg(why);
        return false;
    }

    const std::vector<Token> &m_tokens;
    QString *m_error;
    size_t m_pos = 0;
};

} // namespace

bool CRegistrarScript::parse(const QString &text, const QMap<QString, QString> &replacements, QString *error)
{
    QString dummy;
    if (!error)
        error = &dummy;
    QMap<QString, QString> upper;
    for (auto it = replacements.constBegin(); it != replacements.constEnd(); ++it)
        upper.insert(it.key().toUpper(), it.value());
    std::vector<Token> tokens;
    if (!tokenize(text, upper, &tokens, error))
        return false;
    std::vector<Item> items;
    Parser parser(tokens, error);
    if (!parser.parseScript(&items))
        return false;
    m_items = std::move(items);
    return true;
}

void CRegistrarScript::apply(CRegistryTree &tree, bool doRegister) const
{
    if (doRegister)
        registerItems(tree, QString(), m_items);
    else
        removeItems(tree, QString(), m_items);
}

namespace {

QString childPath(const QString &base, const QString &name)
{
    return base.isEmpty() ? name : base + QLatin1Char('\\') + name;
}

} // namespace

void CRegistrarScript::registerItems(CRegistryTree &tree, const QString &base, const std::vector<Item> &items) const
{
    for (const Item &item : items) {
        if (item.isValue) {
            tree.setValue(base, item.name, item.value);
            continue;
        }
        const QString path = childPath(base, item.name);
        if (item.deleteKey) {
            tree.removeKey(path);
            continue;
        }
        if (item.forceRemove)
            tree.removeKey(path);
        tree.createKey(path);
        if (item.hasValue)
            tree.setValue(path, QString(), item.value);
        registerItems(tree, path, item.children);
    }
}

void CRegistrarScript::removeItems(CRegistryTree &tree, const QString &base, const std::vector<Item> &items) const
{
    for (const Item &item : items) {
        if (item.isValue) {
            tree.removeValue(base, item.name);
            continue;
        }
        if (item.deleteKey)
            continue; // removed at registration already
        const QString path = childPath(base, item.name);
        if (item.noRemove || holdsNoRemove(item.children))
            removeItems(tree, path, item.children);
        else
            tree.removeKey(path);
    }
}

bool CRegistrarScript::holdsNoRemove(const std::vector<Item> &items)
{
    for (const Item &item : items)
        if (!item.isValue && (item.noRemove || holdsNoRemove(item.children)))
            return true;
    return false;
}
