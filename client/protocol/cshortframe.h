#pragma once

#include <QByteArray>
#include <QString>

class QIODevice;

// Short frame: the framing of every text-only request and answer of the system.
//
//   normal form:   count (16-bit BE, bytes that follow) | string
//   extended form: FF FF | count (32-bit BE, bytes that follow) | string
//   string:        byte count (32-bit BE, 2 x UTF-16 units) | UTF-16BE units (a data-stream string, version 7)
//
// Texts of up to MaxShortUnits UTF-16 units use the normal form, byte for byte. Longer texts (an
// identity answer or a change notice with many Software rows) use the extended form; 0xFFFF is never
// a normal count, since normal counts are always even. Readers (CShortFrameReader) accept both.
//
//   QByteArray bytes = CShortFrame::encode(text);   // empty only when the text exceeds MaxFrameBytes
//   CShortFrame::write(socket, text);               // one write of the whole frame, then flush
//   CShortFrame::decode(bytes, &text);              // a complete frame held in memory
class CShortFrame
{
public:
    static constexpr int MaxShortUnits = 32765;
    static constexpr quint16 ExtendedMark = 0xFFFF;
    // Largest count a reader accepts; a peer announcing more is refused (and should be disconnected).
    static constexpr qint64 MaxFrameBytes = 64 * 1024 * 1024;

    static QByteArray encode(const QString &text);

    // Writes the frame in one write call and flushes a socket. False when the text cannot be framed
    // or the device did not take the whole frame.
    static bool write(QIODevice *device, const QString &text);

    // Decodes the frame at the start of bytes. False when bytes do not start with a complete, valid
    // frame. consumed receives the frame's length.
    static bool decode(const QByteArray &bytes, QString *text, qsizetype *consumed = nullptr);

    // Decodes a frame's body (the counted bytes after the count): one data-stream string, whatever
    // follows it inside the body ignored. False, with the reason in error, when it holds none.
    static bool decodeBody(const QByteArray &body, QString *text, QString *error = nullptr);
};
