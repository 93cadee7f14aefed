#include "ceventlog.h"

#include "cplatformstate.h"
#include "winsvc.h"

#include <QDateTime>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

QString CEventLog::path()
{
    return CPlatformState::filePath(QStringLiteral("eventlog.txt"));
}

QString CEventLog::typeName(quint16 type)
{
    switch (type) {
    case EVENTLOG_SUCCESS:
        return QStringLiteral("success");
    case EVENTLOG_ERROR_TYPE:
        return QStringLiteral("error");
    case EVENTLOG_WARNING_TYPE:
        return QStringLiteral("warning");
    case EVENTLOG_INFORMATION_TYPE:
        return QStringLiteral("information");
    case EVENTLOG_AUDIT_SUCCESS:
        return QStringLiteral("audit-success");
    case EVENTLOG_AUDIT_FAILURE:
        return QStringLiteral("audit-failure");
    default:
        return QString::number(type);
    }
}

QString CEventLog::escape(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '\\':
            out += QLatin1String("\\\\");
            break;
        case '\t':
            out += QLatin1String("\\t");
            break;
        case '\r':
            out += QLatin1String("\\r");
            break;
        case '\n':
            out += QLatin1String("\\n");
            break;
        default:
            out += c;
        }
    }
    return out;
}

QString CEventLog::unescape(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c != QLatin1Char('\\') || i + 1 == text.size()) {
            out += c;
            continue;
        }
        const QChar n = text.at(++i);
        if (n == QLatin1Char('t'))
            out += QLatin1Char('\t');
        else if (n == QLatin1Char('r'))
            out += QLatin1Char('\r');
        else if (n == QLatin1Char('n'))
            out += QLatin1Char('\n');
        else
            out += n;
    }
    return out;
}

bool CEventLog::append(const QString &source, quint16 type, quint16 category, quint32 eventId,
    const QStringList &strings, const QByteArray &data)
{
    QStringList fields;
    fields << QDateTime::currentDateTime().toString(Qt::ISODateWithMs) << escape(source) << typeName(type)
           << QString::number(category) << QString::number(eventId) << QString::fromLatin1(data.toHex());
    for (const QString &s : strings)
        fields << escape(s);
    const QByteArray line = fields.join(QLatin1Char('\t')).toUtf8() + '\n';

    const QByteArray file = QFile::encodeName(path());
    const int fd = ::open(file.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX);
    } while (rc != 0 && errno == EINTR);
    // One write per record: with O_APPEND and the lock, records of concurrent writers never mix.
    const char *p = line.constData();
    qsizetype left = line.size();
    bool ok = true;
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        p += n;
        left -= n;
    }
    ::flock(fd, LOCK_UN);
    ::close(fd);
    return ok;
}
