#pragma once

#include <QFile>
#include <QString>
#include <QStringList>

class CCommandFrameReader;
class QIODevice;

// Receives the payload of one file push into the update file "<name>.temp" in the agent's directory.
// Both roads of an update (the console's push to the listener, the server's answer to the update
// check) write it the same way: a truncated file must never reach Swaplet, which would put it in
// place of the client, so an incomplete push removes what it wrote.
//
//   if (!m_writer.start(m_reader.fields(), m_reader.payloadSize(), dir)) { socket.abort(); return; }
//   switch (m_writer.receive(m_reader, &socket)) { ... Complete: hand m_writer.finish() to Swaplet }
class CUpdateFileWriter
{
public:
    enum Result { Receiving, Complete, Failed };

    // Largest file a push may carry; a larger announcement is refused before anything is written.
    static constexpr qint64 MaxPayload = qint64(1) << 30;

    // Checks the push header and opens the update file. False (nothing written) for a name that
    // would leave the directory, a payload that cannot be sized or is too large, or a file that
    // cannot be opened.
    bool start(const QStringList &fields, qint64 payloadSize, const QString &dir);
    // Writes what has arrived of the payload. Failed (file removed) when the frame or the write fails.
    Result receive(CCommandFrameReader &reader, QIODevice *device);
    // Removes the partial file of a push that did not complete.
    void abandon();
    // Closes the complete file and returns its path.
    QString finish();

    bool isReceiving() const { return m_receiving; }

private:
    QFile m_file; // opened on its descriptor, so it does not know its name
    QString m_path;
    bool m_receiving = false;
};
