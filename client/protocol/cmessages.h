#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Texts of every network message, with their builders and parsers. Framing is separate: short-frame
// texts go through CShortFrame/CShortFrameReader, command headers through CCommandFrame/
// CCommandFrameReader. Parsers split exactly as the system's readers do (empty fields kept, exact
// case) and return false when a field they must read is not there.
//
//   to the server port (short frames):   buildUpdateCheck, buildChangeNotice; answer buildAck
//   to the agent port (command frames):  identityRequestHeader, filePushHeader; answer buildIdentityAnswer
//   not sent by anyone:                  buildFileList
class CMessages
{
public:
    static constexpr quint16 ServerPort = 2210;
    static constexpr quint16 AgentPort = 2211;

    static QString clientVersion(); // "2.1.20090713"
    static QString platformCode(); // this system's code: "1" on Windows, "2" on Linux

    // The first listed address that is not IPv6 and not "127.0.0.1", else the last listed address,
    // else "127.0.0.1"; worked out anew on every call.
    static QString clientAddress();
    static QString hostLabel(); // "<local host name>(<client address>)"

    // The file name of a path: after the last "/", else after the last backslash, else the path.
    static QString fileNameOf(const QString &path);

    // 1. Update check: "update:<version>:<platform>:<host label>".
    struct UpdateCheck
    {
        QString version;
        QString platform;
        QString hostLabel; // field 3: cut at a further ":" (an IPv6 address in the label)
    };
    static QString buildUpdateCheck(const QString &version, const QString &platform, const QString &hostLabel);
    static bool parseUpdateCheck(const QString &text, UpdateCheck *out);

    // 2. Change notice: "changelog:<UUID>^<item>^<item>...", item "<class>$<type>$<row>".
    struct ChangeItem
    {
        QString classKey;
        QString type;
        QString row; // cut at a "$" inside the row, as every reader cuts it
    };
    struct ChangeNotice
    {
        QString notice; // the whole text after "changelog:" up to a further ":"
        QString uuid;
        QStringList items; // raw items, as sent
        QList<ChangeItem> parsedItems; // the items holding at least three "$" parts
    };
    static QString changeItem(const QString &classKey, const QString &type, const QString &row);
    static QString buildChangeNotice(const QString &uuid, const QStringList &items);
    // False for another keyword and for an empty notice (which the server leaves unanswered).
    static bool parseChangeNotice(const QString &text, ChangeNotice *out);
    // The UUID a change notice names (what parseChangeNotice gives as uuid), found without splitting
    // the rest, which may be 16 MiB: empty for another keyword, and when no "^" or ":" ends it
    // within longest characters.
    static QStringView changeNoticeUuid(QStringView text, qsizetype longest);

    // 3. Acknowledgement: "setChange:ok"; accepted when fields 0 and 1 are exactly those words.
    static QString buildAck();
    static bool isAck(const QString &text);

    // 4. Identity request, command header "getUUID:<console address>" (no payload).
    static QString identityRequestHeader(const QString &consoleAddress);
    static bool parseIdentityRequest(const QStringList &fields, QString *consoleAddress);

    // 5. Identity answer: "UUID:<uuid>|<host label>|<version>-<platform>" then one class block
    //    "^<class>:<rows joined by $>" per class.
    struct ClassBlock
    {
        QString classKey;
        QStringList rows;
    };
    struct IdentityAnswer
    {
        QString uuid;
        QString hostLabel;
        QString versionPart; // "<version>-<platform>" as sent
        QString version; // "unknown" when the version part does not split into exactly two at "-"
        QString platform; // "5" in that case
        QList<ClassBlock> classes;
    };
    static QString classBlock(const QString &classKey, const QStringList &rows);
    static QString buildIdentityAnswer(const QString &uuid, const QString &hostLabel, const QString &version,
        const QString &platform, const QList<ClassBlock> &classes);
    // False when field 0 of the identity part is not exactly "UUID" or there is no identity field.
    static bool parseIdentityAnswer(const QString &text, IdentityAnswer *out);
    // The identity part alone (what precedes the first "^"; classes left empty), read without
    // splitting the rest: a hostile answer may hold millions of separators. fields (if given)
    // receives the number of "|" fields of the identity field.
    static bool parseIdentity(QStringView text, IdentityAnswer *out, int *fields = nullptr);

    // 6. File push, command header "SWAPLETFILE:<file name>:" followed by the file's bytes.
    static QString filePushHeader(const QString &fileName);
    // False for another command, a missing name, or a name that is not safe (isSafeFileName).
    static bool parseFilePush(const QStringList &fields, QString *fileName);
    // A name a receiver may create in its own directory: not empty, ".", or "..", and without "/",
    // backslash or any control character. A NUL would cut the name where the file system reads it,
    // so the file written would be another than the one named.
    static bool isSafeFileName(const QString &name);

    // 7. File list: "SWAPLETLIST:<names joined by ;>".
    static QString buildFileList(const QStringList &fileNames);
    static bool parseFileList(const QString &text, QStringList *fileNames);
};
