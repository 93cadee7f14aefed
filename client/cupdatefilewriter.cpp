#include "cupdatefilewriter.h"

#include "ccommandframereader.h"
#include "cmessages.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

bool CUpdateFileWriter::start(const QStringList &fields, qint64 payloadSize, const QString &dir)
{
    abandon();
    QString name;
    if (!CMessages::parseFilePush(fields, &name) || payloadSize < 0 || payloadSize > MaxPayload)
        return false;
    m_path = dir + QLatin1Char('/') + name + QStringLiteral(".temp");
    // The update file is made anew: whatever stands at its name is removed first (a link itself, not
    // what it points to), and the open neither follows a link nor takes a file someone put there in
    // between. Otherwise a link planted at the name would have the payload written over its target.
    const QByteArray native = QFile::encodeName(m_path);
    if (::unlink(native.constData()) != 0 && errno != ENOENT)
        return false;
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    // Unbuffered: the file grows as the payload arrives, and a failed write shows at once.
    if (!m_file.open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        ::unlink(native.constData());
        return false;
    }
    m_receiving = true;
    return true;
}

CUpdateFileWriter::Result CUpdateFileWriter::receive(CCommandFrameReader &reader, QIODevice *device)
{
    QByteArray chunk;
    const CCommandFrameReader::Status status = reader.readPayload(device, &chunk);
    if (status == CCommandFrameReader::Error || (!chunk.isEmpty() && m_file.write(chunk) != chunk.size())) {
        abandon();
        return Failed;
    }
    return status == CCommandFrameReader::Complete ? Complete : Receiving;
}

void CUpdateFileWriter::abandon()
{
    if (!m_receiving)
        return;
    m_file.close();
    QFile::remove(m_path);
    m_receiving = false;
}

QString CUpdateFileWriter::finish()
{
    m_receiving = false;
    m_file.close();
    return m_path;
}
