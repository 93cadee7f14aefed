#include "cxmltree.h"

#include "cxmlsyntax.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

bool isNameStart(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

bool isNameChar(char c)
{
    return isNameStart(c) || (c >= '0' && c <= '9') || c == '.' || c == '-';
}

// Plain ASCII names only: a prefix (namespaces) or a name beyond ASCII goes to the DOM path.
bool isPlainName(const char *s)
{
    if (!isNameStart(*s))
        return false;
    for (++s; *s; ++s) {
        if (!isNameChar(*s))
            return false;
    }
    return true;
}

// The bytes after the declaration: every character an XML character in well-formed UTF-8, every
// reference one the DOM reader resolves, no "<" in attribute values, no "]]>" in text, and no
// comment, CDATA section, processing instruction or document type (which the DOM path keeps).
bool plainContent(const char *begin, const char *end)
{
    enum { Text, Tag, Value } state = Text;
    char quote = 0;
    // Elements open around the text, so that text beside the root (which pugixml drops) is seen.
    int depth = 0;
    bool closing = false;
    char last = 0; // the last character of a tag outside its values
    // Bytes that need no look inside text and values: most of a file.
    static const auto plain = [] {
        std::array<bool, 256> t {};
        for (int c = 0x20; c < 0x7F; ++c)
            t[size_t(c)] = c != '<' && c != '&' && c != ']' && c != '"' && c != '\'';
        t['\t'] = t['\n'] = t['\r'] = true;
        return t;
    }();
    for (const char *p = begin; p < end;) {
        if ((state == Text && depth > 0) || state == Value) {
            while (p < end && plain[static_cast<unsigned char>(*p)])
                ++p;
            if (p == end)
                break;
        }
        const char c = *p;
        if (static_cast<unsigned char>(c) >= 0x80 || static_cast<unsigned char>(c) < 0x20) {
            const int n = CXmlSyntax::charLength(
                reinterpret_cast<const unsigned char *>(p), reinterpret_cast<const unsigned char *>(end));
            if (n == 0)
                return false;
            // Beside the root only blanks may stand (a byte order mark there is text too).
            if (state == Text && depth == 0 && c != '\t' && c != '\n' && c != '\r')
                return false;
            p += n;
            continue;
        }
        if (state == Text && depth == 0 && c != '<' && c != ' ' && c != '\t' && c != '\n' && c != '\r')
            return false;
        if (c == '&' && state != Tag) {
            const int n = CXmlSyntax::reference(p, end, nullptr);
            if (n == 0)
                return false;
            p += n;
            continue;
        }
        switch (state) {
        case Text:
            if (c == '<') {
                if (p + 1 < end && (p[1] == '!' || p[1] == '?'))
                    return false;
                state = Tag;
                closing = p + 1 < end && p[1] == '/';
                last = 0;
            } else if (c == ']' && end - p >= 3 && p[1] == ']' && p[2] == '>') {
                return false;
            }
            break;
        case Tag:
            if (c == '"' || c == '\'') {
                quote = c;
                state = Value;
            } else if (c == '>') {
                state = Text;
                if (closing)
                    --depth;
                else if (last != '/')
                    ++depth;
            } else if (c == '<' || c == '&') {
                return false;
            }
            if (c != ' ' && c != '\t' && c != '\n' && c != '\r')
                last = c;
            break;
        case Value:
            if (c == quote)
                state = Tag;
            else if (c == '<')
                return false;
            break;
        }
        ++p;
    }
    return true;
}

// The elements below root: plain names, no attribute twice, no namespace declaration.
bool plainTree(pugi::xml_node root)
{
    pugi::xml_node n = root;
    for (;;) {
        if (n.type() == pugi::node_element) {
            if (!isPlainName(n.name()))
                return false;
            for (pugi::xml_attribute a = n.first_attribute(); a; a = a.next_attribute()) {
                if (!isPlainName(a.name()) || std::strncmp(a.name(), "xmlns", 5) == 0)
                    return false;
                for (pugi::xml_attribute b = n.first_attribute(); b != a; b = b.next_attribute()) {
                    if (std::strcmp(a.name(), b.name()) == 0)
                        return false;
                }
            }
            if (n.first_child()) {
                n = n.first_child();
                continue;
            }
        } else if (n.type() != pugi::node_pcdata) {
            return false;
        }
        for (;;) {
            if (n == root)
                return true;
            if (n.next_sibling()) {
                n = n.next_sibling();
                break;
            }
            n = n.parent();
        }
    }
}

// The text as the DOM writer escapes it: "<" and "&" always, ">" after "]]", and in attribute
// values also the quote, tab, line feed and carriage return, which the reader would otherwise turn
// into blanks; a carriage return in text too, which it would turn into a line feed.
bool appendEscaped(std::string &out, const char *s, bool attribute)
{
    // Bit 1: to look at in text, bit 2: in values; the end of the string in both.
    static const auto special = [] {
        std::array<unsigned char, 256> t {};
        for (int c = 0; c < 0x20; ++c)
            t[size_t(c)] = 3;
        t['\n'] = t['\t'] = 2;
        t['<'] = t['&'] = t['>'] = 3;
        t['"'] = 2;
        return t;
    }();
    const unsigned char mask = attribute ? 2 : 1;
    const char *start = s;
    for (const char *p = s;; ++p) {
        while (!(special[static_cast<unsigned char>(*p)] & mask))
            ++p;
        if (!*p)
            break;
        const char *with = nullptr;
        switch (*p) {
        case '<':
            with = "&lt;";
            break;
        case '&':
            with = "&amp;";
            break;
        case '>':
            if (p - start >= 2 && p[-1] == ']' && p[-2] == ']')
                with = "&gt;";
            break;
        case '"':
            if (attribute)
                with = "&quot;";
            break;
        case '\r':
            with = "&#xd;";
            break;
        case '\n':
            if (attribute)
                with = "&#xa;";
            break;
        case '\t':
            if (attribute)
                with = "&#x9;";
            break;
        default:
            if (static_cast<unsigned char>(*p) < 0x20)
                return false;
            break;
        }
        if (with) {
            out.append(s, size_t(p - s));
            out.append(with);
            s = p + 1;
        }
    }
    out.append(s);
    return true;
}

void appendIndent(std::string &out, int depth)
{
    out.append(size_t(depth) * 4, ' ');
}

bool isText(pugi::xml_node n)
{
    return n.type() == pugi::node_pcdata;
}

// The text an element holds in itself: what the parse found before its first child (see load()).
bool holdsText(pugi::xml_node e)
{
    return e.type() == pugi::node_element && *e.value();
}

// Whether text stands right before the node: a text sibling, or the text its parent holds in itself.
bool textBefore(pugi::xml_node n)
{
    return isText(n.previous_sibling()) || (!n.previous_sibling() && holdsText(n.parent()));
}

// New attributes take their place in this order: the one the DOM writer gives these names when its
// hash seed is fixed, so files it wrote that way keep their bytes. Other names go last.
int rankOf(const char *name)
{
    static const char *const order[] = {"notice", "UUID", "folder", "digest", "time", "type", "lastupdate"};
    for (int i = 0; i < int(sizeof(order) / sizeof(order[0])); ++i) {
        if (std::strcmp(order[i], name) == 0)
            return i;
    }
    return -1;
}

// The text of an element before its first child is kept in the element, not in a node of its own: a
// client file is mostly elements holding one row each, and a node per row would cost more than the
// file itself.
const unsigned int kParseOptions = pugi::parse_default | pugi::parse_embed_pcdata;

} // namespace

bool CXmlTree::load(const QByteArray &raw)
{
    m_doc.reset();
    m_buffer.clear();
    return parse(raw.constData(), raw.constData() + raw.size(), false);
}

bool CXmlTree::loadInPlace(QByteArray &&raw)
{
    m_doc.reset();
    m_buffer = std::move(raw);
    char *data = m_buffer.data(); // the only reference: no copy
    if (parse(data, data + m_buffer.size(), true))
        return true;
    m_buffer = QByteArray();
    return false;
}

bool CXmlTree::parse(const char *begin, const char *end, bool inPlace)
{
    m_sizeHint = size_t(end - begin);
    m_blank.clear();
    m_declaration.clear();
    if (end - begin >= 3 && std::memcmp(begin, "\xEF\xBB\xBF", 3) == 0)
        begin += 3;
    const char *body = begin;
    CXmlSyntax::Declaration declaration;
    switch (CXmlSyntax::declaration(begin, end, &declaration)) {
    case CXmlSyntax::LeftToDom:
        return false;
    case CXmlSyntax::Taken:
        m_declaration = "version='1.0'";
        if (!declaration.encoding.isEmpty())
            m_declaration += " encoding='" + declaration.encoding.toStdString() + "'";
        if (declaration.standalone)
            m_declaration += " standalone='yes'";
        body = declaration.end;
        break;
    case CXmlSyntax::NoDeclaration:
        if (end - begin >= 2 && begin[0] == '<' && begin[1] == '?')
            return false;
        break;
    }
    if (!plainContent(body, end))
        return false;
    // In place, the parse writes its strings into the bytes it reads (they are the tree's own).
    const pugi::xml_parse_result result = inPlace
        ? m_doc.load_buffer_inplace(const_cast<char *>(body), size_t(end - body), kParseOptions, pugi::encoding_utf8)
        : m_doc.load_buffer(body, size_t(end - body), kParseOptions, pugi::encoding_utf8);
    pugi::xml_node only = m_doc.first_child();
    if (!result || only.type() != pugi::node_element || only.next_sibling() || !plainTree(only)) {
        m_doc.reset();
        m_declaration.clear();
        return false;
    }
    return true;
}

bool CXmlTree::serialize(QByteArray *out) const
{
    out->clear();
    out->reserve(qsizetype(m_sizeHint + m_sizeHint / 16 + 256));
    return serialize(
        [&](const char *data, size_t size) {
            out->append(data, qsizetype(size));
            return true;
        },
        64 * 1024);
}

bool CXmlTree::serialize(const Writer &write, size_t pieceBytes) const
{
    const pugi::xml_node root = m_doc.document_element();
    if (!root)
        return false;
    std::string s;
    s.reserve(std::min(pieceBytes, m_sizeHint) + 4096);
    const auto flush = [&](size_t least) {
        if (s.size() < least)
            return true;
#ifdef Q_OS_WIN
        const QByteArray piece = QByteArray::fromStdString(s).replace("\n", "\r\n");
        const bool ok = write(piece.constData(), size_t(piece.size()));
#else
        const bool ok = write(s.data(), s.size());
#endif
        s.clear();
        return ok;
    };
    if (!m_declaration.empty())
        s += "<?xml " + m_declaration + "?>\n";
    pugi::xml_node n = root;
    int depth = 0;
    for (;;) {
        if (!flush(pieceBytes))
            return false;
        if (n.type() == pugi::node_element) {
            if (!textBefore(n))
                appendIndent(s, depth);
            s += '<';
            s += n.name();
            for (pugi::xml_attribute a = n.first_attribute(); a; a = a.next_attribute()) {
                s += ' ';
                s += a.name();
                s += "=\"";
                if (!appendEscaped(s, a.value(), true))
                    return false;
                s += '"';
            }
            if (holdsText(n)) {
                s += '>';
                if (!appendEscaped(s, n.value(), false))
                    return false;
                if (n.first_child()) {
                    n = n.first_child();
                    ++depth;
                    continue;
                }
                s += "</";
                s += n.name();
                s += '>';
            } else if (n.first_child()) {
                s += '>';
                if (!isText(n.first_child()))
                    s += '\n';
                n = n.first_child();
                ++depth;
                continue;
            } else {
                s += "/>";
            }
            if (!isText(n.next_sibling()))
                s += '\n';
        } else if (!appendEscaped(s, n.value(), false)) {
            return false;
        }
        for (;;) {
            if (n == root)
                return flush(0);
            if (n.next_sibling()) {
                n = n.next_sibling();
                break;
            }
            n = n.parent();
            --depth;
            if (!isText(n.last_child()))
                appendIndent(s, depth);
            s += "</";
            s += n.name();
            s += '>';
            if (!isText(n.next_sibling()))
                s += '\n';
        }
    }
}

pugi::xml_node CXmlTree::firstChildElement(pugi::xml_node parent, const char *name)
{
    for (pugi::xml_node c = parent.first_child(); c; c = c.next_sibling()) {
        if (c.type() == pugi::node_element && (!*name || std::strcmp(c.name(), name) == 0))
            return c;
    }
    return pugi::xml_node();
}

const char *CXmlTree::singleText(pugi::xml_node e)
{
    const pugi::xml_node first = e.first_child();
    if (holdsText(e))
        return first ? nullptr : e.value();
    return isText(first) && !first.next_sibling() ? first.value() : nullptr;
}

std::string CXmlTree::text(pugi::xml_node e)
{
    if (const char *only = singleText(e))
        return only;
    std::string out = holdsText(e) ? e.value() : "";
    pugi::xml_node n = e.first_child();
    if (!n)
        return out;
    for (;;) {
        if (isText(n) || holdsText(n))
            out += n.value();
        if (n.first_child()) {
            n = n.first_child();
            continue;
        }
        for (;;) {
            if (n.next_sibling()) {
                n = n.next_sibling();
                break;
            }
            n = n.parent();
            if (n == e)
                return out;
        }
    }
}

void CXmlTree::setAttribute(pugi::xml_node e, const char *name, const std::string &value)
{
    if (pugi::xml_attribute a = e.attribute(name)) {
        a.set_value(value.c_str());
        return;
    }
    const int rank = rankOf(name);
    if (rank >= 0) {
        for (pugi::xml_attribute a = e.first_attribute(); a; a = a.next_attribute()) {
            if (rankOf(a.name()) > rank) {
                e.insert_attribute_before(name, a).set_value(value.c_str());
                return;
            }
        }
    }
    e.append_attribute(name).set_value(value.c_str());
}

void CXmlTree::setAttribute(pugi::xml_node e, const char *name, const QString &value)
{
    setAttribute(e, name, value.toStdString());
}

bool CXmlTree::appendEscapedText(std::string &out, const char *s, bool attribute)
{
    return appendEscaped(out, s, attribute);
}

pugi::xml_node CXmlTree::appendTextChild(pugi::xml_node parent, const char *tag, const QString &text)
{
    pugi::xml_node e = parent.append_child(tag);
    const std::string value = text.toStdString();
    pugi::xml_node t = e.append_child(pugi::node_pcdata);
    t.set_value(value.c_str());
    if (value.find_first_not_of(" \t\n\r") == std::string::npos)
        m_blank.push_back(t);
    return e;
}

void CXmlTree::settle()
{
    for (pugi::xml_node t : m_blank) {
        if (t.parent())
            t.parent().remove_child(t);
    }
    m_blank.clear();
}
