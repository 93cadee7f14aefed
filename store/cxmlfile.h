#pragma once

#include <QByteArray>
#include <QDomDocument>
#include <QString>

// Reading and replacing the store's XML files. Every change to a file is made under CFileGuard on a
// freshly read copy and written back with CAtomicFile, so readers never see a half-written file and
// concurrent writers (threads or processes) never lose each other's changes.
class CXmlFile
{
public:
    enum State {
        Empty, // missing or zero bytes: the document has no root
        Parsed, // well-formed: the document holds it
        Unreadable // cannot be read, or not empty and not well-formed: must never be replaced
    };

    // Reads the whole file and parses it with namespace processing; raw receives the bytes read.
    static State load(const QString &path, QDomDocument &doc, QByteArray *raw = nullptr);
    // The two halves of load: reading the bytes (Parsed here only means "not empty") and parsing them.
    static State read(const QString &path, QByteArray &raw);
    static State parse(const QByteArray &raw, QDomDocument &doc);

    // The serialised document as CXmlWriter writes every file of the system.
    static QByteArray serialize(const QDomDocument &doc, int indent);

    // Before a fill from the template replaces a client file: reads what it holds into current. A
    // file that does not parse is renamed beside itself with the suffix ".broken" (".2.broken" and on
    // when that name is taken), so the fill repairs it without losing it. False when the file cannot
    // be read or set aside.
    static bool prepareFill(const QString &path, QByteArray &current);

    // Replaces the file by the serialised document unless it already holds exactly these bytes.
    static bool store(const QString &path, const QDomDocument &doc, int indent, const QByteArray &current,
        QByteArray *written = nullptr);

    // Replaces the file by data unless it already holds exactly these bytes.
    static bool storeBytes(const QString &path, const QByteArray &data, const QByteArray &current);

    // The row filter (CXmlWriter::validText): every text from a peer passes here before it becomes
    // file content.
    static QString validText(const QString &text);

    // The current local time as the store's time stamp text.
    static QString timeStamp();
};
