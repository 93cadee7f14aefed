#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The event log: one plain-text file under the platform state directory, one record per line:
//   time <TAB> source <TAB> type <TAB> category <TAB> event id <TAB> data as hex <TAB> string ...
// Backslashes, tabs, carriage returns and line feeds inside fields are escaped (\\ \t \r \n), so a
// record is always one line. Writers append each record with one write under flock.
class CEventLog
{
public:
    static QString path();
    static QString typeName(quint16 type);
    static QString escape(const QString &text);
    static QString unescape(const QString &text);
    static bool append(const QString &source, quint16 type, quint16 category, quint32 eventId,
        const QStringList &strings, const QByteArray &data);
};
