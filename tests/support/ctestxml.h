#pragma once

#include <QDomDocument>
#include <QMap>
#include <QString>

// Looks at the system's XML files from the outside, as the tests of the server side read them.
class CTestXml
{
public:
    // The document in the file; an empty document when it cannot be read or parsed.
    static QDomDocument load(const QString &path);
    // The notice flag of a client in a list.xml; "<none>" when the client is not listed.
    static QString noticeOf(const QString &listPath, const QString &uuid);
    // Rows of class Software stored in a client file, each with the number of times it is stored;
    // read as a stream (a client file may be large), empty when the file does not parse.
    static QMap<QString, int> storedRows(const QString &path);
};
