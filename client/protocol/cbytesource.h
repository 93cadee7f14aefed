#pragma once

#include <QByteArray>
#include <QIODevice>

// What the frame readers take their bytes from: a device (a socket, as its bytes arrive) or the front
// of a caller's buffer, which loses the bytes taken. Internal to the readers.
class CByteSource
{
public:
    explicit CByteSource(QIODevice *device)
        : m_device(device)
    { }
    explicit CByteSource(QByteArray &buffer)
        : m_buffer(&buffer)
    { }

    qint64 available() const
    {
        if (m_buffer)
            return m_buffer->size();
        return m_device ? m_device->bytesAvailable() : 0;
    }

    QByteArray take(qint64 n)
    {
        if (m_buffer) {
            QByteArray part = m_buffer->left(n);
            m_buffer->remove(0, n);
            return part;
        }
        return m_device->read(n);
    }

private:
    QIODevice *m_device = nullptr;
    QByteArray *m_buffer = nullptr;
};
