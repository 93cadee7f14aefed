#pragma once

#include <QByteArray>
#include <QDomDocument>
#include <QString>

// How the system writes an XML document to a file, for every writer (the store's files and the
// agent's set.xml): the whole document, indented, lines ended the platform's way, in the encoding its
// XML declaration names (UTF-8 without a declaration). Unicode encodings other than UTF-8 get a byte
// order mark. An 8-bit or other non-Unicode encoding cannot hold every character, so characters of
// text and attribute values that it may lack are written as character references (above U+00FF for
// Latin-1, above U+007F for the rest); a name the toolkit cannot encode, or what still does not fit,
// makes the whole document UTF-8 with a declaration saying so, so the bytes always match their
// declaration.
class CXmlWriter
{
public:
    static QByteArray serialize(const QDomDocument &doc, int indent);

    // The encoding named by the document's XML declaration; empty when it names none.
    static QString declaredEncoding(const QDomDocument &doc);

    // The text without the characters XML cannot hold (control characters other than tab, line feed
    // and carriage return, unpaired surrogates, U+FFFE, U+FFFF): written as they are, they leave a
    // file no reader parses. Every text from a peer passes here before it becomes file content.
    static QString validText(const QString &text);
};
