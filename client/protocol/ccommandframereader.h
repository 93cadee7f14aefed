#pragma once

#include <QByteArray>
#include <QStringList>

class CByteSource;
class QIODevice;

// Incremental reader of one command frame (see CCommandFrame): first the head (total, header length,
// header), then, for a file push, the payload as it arrives, so a receiver can write it to disk
// piece by piece. Bytes may arrive in any pieces; the reader keeps what it has read and never reads
// beyond its frame's payload.
//
//   void readCommand() {                                    // on readyRead
//       if (!m_reader.isHeaderRead()) {
//           const auto status = m_reader.readHeader(&m_socket);
//           if (status == CCommandFrameReader::NeedMore) return;
//           if (status == CCommandFrameReader::Error) { m_socket.abort(); return; }
//           dispatch(m_reader.fields());                    // e.g. "SWAPLETFILE", name, ""
//       }
//       QByteArray chunk;
//       const auto status = m_reader.readPayload(&m_socket, &chunk);
//       m_file.write(chunk);
//       if (status == CCommandFrameReader::Complete) handOver();
//   }
//
// The same calls take a QByteArray, from whose front they consume the bytes they use.
class CCommandFrameReader
{
public:
    enum Status { NeedMore, Complete, Error };

    // NeedMore until the head is complete; Complete once it is (and on every later call).
    Status readHeader(QIODevice *device);
    Status readHeader(QByteArray &buffer);

    // Reads what has arrived of the payload into chunk (replacing its content). NeedMore while payload
    // bytes are missing, Complete with the last piece, Error when the total announces less than the
    // head (no payload can be sized) or the head is not read yet.
    Status readPayload(QIODevice *device, QByteArray *chunk);
    Status readPayload(QByteArray &buffer, QByteArray *chunk);

    bool isHeaderRead() const { return m_stage >= Payload; }
    bool isPayloadComplete() const { return m_stage == Payload && m_remaining == 0; }
    qint32 total() const { return m_total; }
    quint16 headerLength() const { return m_headerLength; }
    QByteArray header() const { return m_header; }
    QStringList fields() const;
    // total - L - 6: the payload size of a file push; negative for a frame without payload.
    qint64 payloadSize() const { return qint64(m_total) - m_headerLength - 6; }
    qint64 remaining() const { return m_remaining; }
    QString errorString() const { return m_error; }
    void reset();

private:
    enum Stage { Total, HeaderLength, Header, Payload };

    Status advanceHeader(CByteSource &source);
    Status advancePayload(CByteSource &source, QByteArray *chunk);

    Stage m_stage = Total;
    QByteArray m_bytes;
    qint32 m_total = 0;
    quint16 m_headerLength = 0;
    QByteArray m_header;
    qint64 m_remaining = -1;
    QString m_error;
};
