#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Command frame: every command and file sent to a client agent.
//
//   total (32-bit BE, signed) | L (16-bit BE) | header (L bytes, Latin-1) | payload
//
// A file push has total = payload size + L + 6; the identity request carries no payload and
// total = L + 2. The header is a command word and its arguments joined by ":"; characters outside
// Latin-1 go out as "?".
//
//   CCommandFrame::encodeCommand("getUUID:127.0.0.5")           // identity request, whole frame
//   CCommandFrame::encode("SWAPLETFILE:a.bin:", data)          // file push, whole frame
//   socket->write(CCommandFrame::encodeHead(header, fileSize)); // file push streamed: head first,
//   ...then exactly fileSize payload bytes in pieces of the sender's choosing
//
// Encoders return an empty array when the header exceeds 65,535 bytes or the total would not fit
// its signed 32-bit field. Reading: CCommandFrameReader.
class CCommandFrame
{
public:
    static constexpr qint64 MaxTotal = 0x7FFFFFFF;

    static QByteArray headerBytes(const QString &header);
    static QByteArray encodeHead(const QString &header, qint64 payloadSize);
    static QByteArray encode(const QString &header, const QByteArray &payload);
    static QByteArray encodeCommand(const QString &header);

    // Header bytes as the agent reads them: 8-bit text, white space trimmed at both ends, split at
    // every ":" with empty fields kept.
    static QStringList splitHeader(const QByteArray &header);
};
