#pragma once

#include <QByteArray>
#include <QString>

class CByteSource;
class QIODevice;

// Incremental reader of one short frame (see CShortFrame). Bytes may arrive in any pieces; the reader
// keeps what it has read until its frame is complete, and never reads a byte beyond its frame.
//
// Event-driven (readyRead):
//     switch (m_reader.readFrom(&m_socket)) {
//     case CShortFrameReader::NeedMore: return;                 // wait for the next readyRead
//     case CShortFrameReader::Error: m_socket.abort(); return;  // refused frame
//     case CShortFrameReader::Complete: handle(m_reader.text());
//     }
// Blocking (a thread without an event loop):
//     if (reader.readBlocking(socket, 30000) == CShortFrameReader::Complete) handle(reader.text());
//     // NeedMore there means a wait ended without new bytes (time-out, peer closed).
// In memory: readFrom(buffer) consumes the frame's bytes from the front of buffer.
//
// Once Complete or Error, the reader stays so (and reads nothing) until reset().
class CShortFrameReader
{
public:
    enum Status { NeedMore, Complete, Error };

    Status readFrom(QIODevice *device);
    Status readFrom(QByteArray &buffer);
    Status readBlocking(QIODevice *device, int msecs = 30000);

    Status status() const { return m_status; }
    QString text() const { return m_text; }
    QString errorString() const { return m_error; }
    void reset();

private:
    enum Stage { Count, LongCount, Body, Done };

    Status advance(CByteSource &source);
    Status fail(const QString &error);
    void finishBody();

    Stage m_stage = Count;
    Status m_status = NeedMore;
    qint64 m_need = 2;
    QByteArray m_bytes;
    QString m_text;
    QString m_error;
};
