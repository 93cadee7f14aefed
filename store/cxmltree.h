#pragma once

#include <QByteArray>
#include <QString>

#include <pugixml.hpp>

#include <functional>
#include <string>
#include <vector>

// A store file held as a pugixml tree: the files the server changes on every notice (list.xml, the
// client files), where the toolkit's DOM costs most of a notice's time.
//
// A tree takes a file only when it reads it exactly as the DOM reader does: UTF-8 (by declaration or
// for want of one), elements, attributes and text only, nothing the DOM reader refuses. Anything else
// (other encodings, comments, CDATA, namespaces, a document type) is left to the DOM path, which
// reads and writes it as it always has.
//
// It writes what CXmlWriter writes for the same document, byte for byte, except for the order of
// attributes: those of the file keep their order, and a new one takes its place in one fixed order,
// so a rewrite changes only what changed, whatever process writes it.
//
// The text an element of a loaded file holds before its first child is the element's value, not a
// node of its own (a client file is mostly elements holding one row each): read texts with text()
// or singleText(), not from the children alone.
class CXmlTree
{
public:
    // False when the file is for the DOM path (the tree is then empty).
    bool load(const QByteArray &raw);
    // The same, parsed in the bytes given, which the tree keeps (no copy of the file beside them); on
    // false they are gone, and partly overwritten by the parse.
    bool loadInPlace(QByteArray &&raw);
    // False when the tree holds what the writer cannot write; out is then undefined.
    bool serialize(QByteArray *out) const;
    // The same bytes handed to write in pieces of about pieceBytes, so no copy of the whole file is
    // made: false when the tree holds what the writer cannot write, or write returned false.
    typedef std::function<bool(const char *data, size_t size)> Writer;
    bool serialize(const Writer &write, size_t pieceBytes = 1024 * 1024) const;

    pugi::xml_node root() const { return m_doc.document_element(); }

    // The first child element named name; any child element for an empty name.
    static pugi::xml_node firstChildElement(pugi::xml_node parent, const char *name);
    // The concatenated text below the element, as the DOM's text() gives it.
    static std::string text(pugi::xml_node e);
    // The element's text when it is one text and nothing else (no copy made), else null.
    static const char *singleText(pugi::xml_node e);
    static void setAttribute(pugi::xml_node e, const char *name, const QString &value);
    static void setAttribute(pugi::xml_node e, const char *name, const std::string &value);
    // Visits top and every element below it in document order until visit returns true; that
    // element, or a null node.
    template<class Visit> static pugi::xml_node findElement(pugi::xml_node top, Visit visit)
    {
        pugi::xml_node n = top;
        while (n) {
            if (n.type() == pugi::node_element && visit(n))
                return n;
            if (n.first_child()) {
                n = n.first_child();
                continue;
            }
            while (n && n != top && !n.next_sibling())
                n = n.parent();
            if (!n || n == top)
                break;
            n = n.next_sibling();
        }
        return pugi::xml_node();
    }
    // Appends s escaped as serialize() writes it in text, or in an attribute value; false when s
    // holds a character the writer cannot write.
    static bool appendEscapedText(std::string &out, const char *s, bool attribute);
    // A new last child element holding one text node.
    pugi::xml_node appendTextChild(pugi::xml_node parent, const char *tag, const QString &text);
    // After a write: drops the new text nodes that a reader of the bytes written does not see (empty
    // or blank ones), so that the tree is what the file reads as and can serve the next change.
    void settle();

private:
    bool parse(const char *begin, const char *end, bool inPlace);

    QByteArray m_buffer; // the bytes an in-place load parsed, which the nodes point into
    pugi::xml_document m_doc;
    std::string m_declaration; // the declaration's data as the DOM keeps it; empty when none
    std::vector<pugi::xml_node> m_blank; // new text nodes without a character that is not blank
    size_t m_sizeHint = 0; // bytes of the file loaded
};
