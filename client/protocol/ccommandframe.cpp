#include "ccommandframe.h"

#include <QtEndian>

QByteArray CCommandFrame::headerBytes(const QString &header)
{
    return header.toLatin1();
}

static QByteArray head(const QByteArray &header, qint64 total)
{
    QByteArray out(6, '\0');
    qToBigEndian(qint32(total), out.data());
    qToBigEndian(quint16(header.size()), out.data() + 4);
    out.append(header);
    return out;
}

QByteArray CCommandFrame::encodeHead(const QString &header, qint64 payloadSize)
{
    const QByteArray bytes = headerBytes(header);
    if (bytes.size() > 0xFFFF || payloadSize < 0 || payloadSize + bytes.size() + 6 > MaxTotal)
        return QByteArray();
    return head(bytes, payloadSize + bytes.size() + 6);
}

QByteArray CCommandFrame::encode(const QString &header, const QByteArray &payload)
{
    QByteArray out = encodeHead(header, payload.size());
    if (!out.isEmpty())
        out.append(payload);
    return out;
}

QByteArray CCommandFrame::encodeCommand(const QString &header)
{
    const QByteArray bytes = headerBytes(header);
    if (bytes.size() > 0xFFFF)
        return QByteArray();
    return head(bytes, bytes.size() + 2);
}

QStringList CCommandFrame::splitHeader(const QByteArray &header)
{
    return QString::fromLatin1(header).trimmed().split(QLatin1Char(':'), Qt::KeepEmptyParts, Qt::CaseSensitive);
}
