#include "cpushcapture.h"

#include "ccommandframereader.h"
#include "cupdatethread.h"

#include <QDeadlineTimer>
#include <QTcpSocket>

bool CPushCapture::collect(QTcpSocket *agent, CUpdateThread *thread, QByteArray *bytes, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        if (agent->waitForReadyRead(50)) {
            bytes->append(agent->readAll());
            continue;
        }
        bytes->append(agent->readAll());
        if (thread->isFinished() && agent->state() != QAbstractSocket::ConnectedState)
            return thread->wait(deadline);
    }
    return false;
}

QList<CPushCapture::Frame> CPushCapture::frames(QByteArray bytes, bool *incomplete)
{
    QList<Frame> out;
    bool partial = false;
    while (!bytes.isEmpty()) {
        CCommandFrameReader reader;
        if (reader.readHeader(bytes) != CCommandFrameReader::Complete) {
            partial = true;
            break;
        }
        Frame frame;
        frame.fields = reader.fields();
        frame.total = reader.total();
        frame.headerLength = reader.headerLength();
        CCommandFrameReader::Status status;
        do {
            QByteArray chunk;
            status = reader.readPayload(bytes, &chunk);
            frame.payload += chunk;
        } while (status == CCommandFrameReader::NeedMore && !bytes.isEmpty());
        if (status != CCommandFrameReader::Complete) {
            partial = true;
            break;
        }
        out.append(frame);
    }
    if (incomplete)
        *incomplete = partial;
    return out;
}
