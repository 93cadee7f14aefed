#include "cshortframereader.h"

#include "cbytesource.h"

#include "cshortframe.h"

#include <QtEndian>

CShortFrameReader::Status CShortFrameReader::readFrom(QIODevice *device)
{
    CByteSource source(device);
    return advance(source);
}

CShortFrameReader::Status CShortFrameReader::readFrom(QByteArray &buffer)
{
    CByteSource source(buffer);
    return advance(source);
}

CShortFrameReader::Status CShortFrameReader::readBlocking(QIODevice *device, int msecs)
{
    for (;;) {
        const Status status = readFrom(device);
        if (status != NeedMore)
            return status;
        if (!device || (!device->waitForReadyRead(msecs) && device->bytesAvailable() == 0))
            return NeedMore;
    }
}

void CShortFrameReader::reset()
{
    m_stage = Count;
    m_status = NeedMore;
    m_need = 2;
    m_bytes.clear();
    m_text.clear();
    m_error.clear();
}

CShortFrameReader::Status CShortFrameReader::advance(CByteSource &source)
{
    while (m_status == NeedMore) {
        // Gather what this stage needs, keeping partial arrivals.
        const qint64 missing = m_need - m_bytes.size();
        if (missing > 0) {
            const qint64 n = qMin(missing, source.available());
            if (n <= 0)
                return NeedMore;
            m_bytes.append(source.take(n));
            if (m_bytes.size() < m_need)
                return NeedMore;
        }

        switch (m_stage) {
        case Count: {
            const quint16 count = qFromBigEndian<quint16>(m_bytes.constData());
            m_bytes.clear();
            if (count == CShortFrame::ExtendedMark) {
                m_stage = LongCount;
                m_need = 4;
            } else {
                m_stage = Body;
                m_need = count;
            }
            break;
        }
        case LongCount: {
            const quint32 count = qFromBigEndian<quint32>(m_bytes.constData());
            m_bytes.clear();
            if (count > quint32(CShortFrame::MaxFrameBytes))
                return fail(QStringLiteral("frame of %1 bytes exceeds the limit").arg(count));
            m_stage = Body;
            m_need = count;
            break;
        }
        case Body:
            finishBody();
            break;
        case Done:
            break;
        }
    }
    return m_status;
}

void CShortFrameReader::finishBody()
{
    const QByteArray body = m_bytes;
    m_bytes.clear();
    m_stage = Done;
    QString error;
    if (CShortFrame::decodeBody(body, &m_text, &error))
        m_status = Complete;
    else
        fail(error);
}

CShortFrameReader::Status CShortFrameReader::fail(const QString &error)
{
    m_stage = Done;
    m_status = Error;
    m_error = error;
    m_bytes.clear();
    return m_status;
}
