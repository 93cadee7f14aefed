#include "cshortframe.h"

#include "cshortframereader.h"

#include <QAbstractSocket>
#include <QIODevice>
#include <QtEndian>

namespace {

void appendBigEndian16(QByteArray &out, quint16 value)
{
    char b[2];
    qToBigEndian(value, b);
    out.append(b, 2);
}

void appendBigEndian32(QByteArray &out, quint32 value)
{
    char b[4];
    qToBigEndian(value, b);
    out.append(b, 4);
}

} // namespace

QByteArray CShortFrame::encode(const QString &text)
{
    const qint64 stringBytes = 4 + 2 * qint64(text.size());
    const bool extended = text.size() > MaxShortUnits;
    if (stringBytes > MaxFrameBytes)
        return QByteArray();

    QByteArray out;
    out.reserve(int((extended ? 6 : 2) + stringBytes));
    if (extended) {
        appendBigEndian16(out, ExtendedMark);
        appendBigEndian32(out, quint32(stringBytes));
    } else {
        appendBigEndian16(out, quint16(stringBytes));
    }
    appendBigEndian32(out, quint32(2 * text.size()));
    const char16_t *units = reinterpret_cast<const char16_t *>(text.utf16());
    for (qsizetype i = 0; i < text.size(); ++i)
        appendBigEndian16(out, quint16(units[i]));
    return out;
}

bool CShortFrame::write(QIODevice *device, const QString &text)
{
    const QByteArray frame = encode(text);
    if (frame.isEmpty() || !device)
        return false;
    const bool whole = device->write(frame) == frame.size();
    if (auto *socket = qobject_cast<QAbstractSocket *>(device))
        socket->flush();
    return whole;
}

bool CShortFrame::decode(const QByteArray &bytes, QString *text, qsizetype *consumed)
{
    QByteArray buffer = bytes;
    CShortFrameReader reader;
    if (reader.readFrom(buffer) != CShortFrameReader::Complete)
        return false;
    if (text)
        *text = reader.text();
    if (consumed)
        *consumed = bytes.size() - buffer.size();
    return true;
}

bool CShortFrame::decodeBody(const QByteArray &body, QString *text, QString *error)
{
    if (body.size() < 4) {
        if (error)
            *error = QStringLiteral("frame too short for a string");
        return false;
    }
    const quint32 length = qFromBigEndian<quint32>(body.constData());
    if (length == 0xFFFFFFFFu) { // a null string
        text->clear();
        return true;
    }
    if ((length & 1u) || qint64(length) > body.size() - 4) {
        if (error)
            *error = QStringLiteral("string does not fit its frame");
        return false;
    }
    const qsizetype units = qsizetype(length / 2);
    text->resize(units);
    char16_t *out = reinterpret_cast<char16_t *>(text->data());
    const char *in = body.constData() + 4;
    for (qsizetype i = 0; i < units; ++i)
        out[i] = qFromBigEndian<quint16>(in + 2 * i);
    return true;
}
