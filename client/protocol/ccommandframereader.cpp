#include "ccommandframereader.h"

#include "cbytesource.h"

#include "ccommandframe.h"

#include <QtEndian>

CCommandFrameReader::Status CCommandFrameReader::readHeader(QIODevice *device)
{
    CByteSource source(device);
    return advanceHeader(source);
}

CCommandFrameReader::Status CCommandFrameReader::readHeader(QByteArray &buffer)
{
    CByteSource source(buffer);
    return advanceHeader(source);
}

CCommandFrameReader::Status CCommandFrameReader::readPayload(QIODevice *device, QByteArray *chunk)
{
    CByteSource source(device);
    return advancePayload(source, chunk);
}

CCommandFrameReader::Status CCommandFrameReader::readPayload(QByteArray &buffer, QByteArray *chunk)
{
    CByteSource source(buffer);
    return advancePayload(source, chunk);
}

QStringList CCommandFrameReader::fields() const
{
    return CCommandFrame::splitHeader(m_header);
}

void CCommandFrameReader::reset()
{
    m_stage = Total;
    m_bytes.clear();
    m_total = 0;
    m_headerLength = 0;
    m_header.clear();
    m_remaining = -1;
    m_error.clear();
}

CCommandFrameReader::Status CCommandFrameReader::advanceHeader(CByteSource &source)
{
    while (m_stage != Payload) {
        const qint64 need = m_stage == Total ? 4 : m_stage == HeaderLength ? 2 : m_headerLength;
        const qint64 missing = need - m_bytes.size();
        if (missing > 0) {
            const qint64 n = qMin(missing, source.available());
            if (n <= 0)
                return NeedMore;
            m_bytes.append(source.take(n));
            if (m_bytes.size() < need)
                return NeedMore;
        }
        switch (m_stage) {
        case Total:
            m_total = qFromBigEndian<qint32>(m_bytes.constData());
            m_stage = HeaderLength;
            break;
        case HeaderLength:
            m_headerLength = qFromBigEndian<quint16>(m_bytes.constData());
            m_stage = Header;
            break;
        case Header:
            m_header = m_bytes;
            m_remaining = qMax<qint64>(payloadSize(), 0);
            m_stage = Payload;
            break;
        case Payload:
            break;
        }
        m_bytes.clear();
    }
    return Complete;
}

CCommandFrameReader::Status CCommandFrameReader::advancePayload(CByteSource &source, QByteArray *chunk)
{
    if (chunk)
        chunk->clear();
    if (m_stage != Payload) {
        m_error = QStringLiteral("payload read before the frame's head");
        return Error;
    }
    if (payloadSize() < 0) {
        m_error
            = QStringLiteral("total %1 announces no payload for a header of %2 bytes").arg(m_total).arg(m_headerLength);
        return Error;
    }
    const qint64 n = qMin(m_remaining, source.available());
    if (n > 0) {
        const QByteArray part = source.take(n);
        m_remaining -= part.size();
        if (chunk)
            *chunk = part;
    }
    return m_remaining == 0 ? Complete : NeedMore;
}
