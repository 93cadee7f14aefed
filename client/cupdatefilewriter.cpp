#include "cupdatefilewriter.h"

#include "ccommandframereader.h"
#include "cmessages.h"

bool CUpdateFileWriter::start(const QStringList &fields, qint64 payloadSize, const QString &dir)
{
    abandon();
    QString name;
    if (!CMessages::parseFilePush(fields, &name) || payloadSize < 0 || payloadSize > MaxPayload)
        return false;
    m_file.setFileName(dir + QLatin1Char('/') + name + QStringLiteral(".temp"));
    // Unbuffered: the file grows as the payload arrives, and a failed write shows at once.
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        return false;
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
    m_file.remove();
    m_receiving = false;
}

QString CUpdateFileWriter::finish()
{
    m_receiving = false;
    m_file.close();
    return m_file.fileName();
}
