#include "serverfixture.h"

#include "cshortframe.h"
#include "ctestport.h"
#include "ctestprocess.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTcpSocket>

ServerFixture::ServerFixture()
{
    if (!m_env.isValid())
        return;
    const QString dir = m_env.filePath(QStringLiteral("server"));
    const QStringList staged {QStringLiteral("BramixServer"), QStringLiteral("libadvapi32.so"),
        QStringLiteral("list.xml"), QStringLiteral("configtempl.xml"), QStringLiteral("uplist.xml"),
        QStringLiteral("updateLog.xml")};
    if (CTestEnvironment::copyStaged(staged, dir))
        m_dir = dir;
}

ServerFixture::~ServerFixture()
{
    stopConsole();
}

QProcessEnvironment ServerFixture::processEnvironment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("BRAMIX_PLATFORM_ROOT"), m_env.platformRoot());
    for (auto it = m_extraEnv.cbegin(); it != m_extraEnv.cend(); ++it)
        env.insert(it.key(), it.value());
    return env;
}

bool ServerFixture::addClient(const QString &uuid, bool withFile)
{
    QFile list(file(QStringLiteral("list.xml")));
    QByteArray xml = CTestEnvironment::readFile(list.fileName());
    const QByteArray pc = "    <pc UUID=\"" + uuid.toUtf8()
        + "\" notice=\"yes\" folder=\"0\">\n        <name>host</name>\n        <ip>10.0.0.1</ip>\n"
          "        <version>2.1.20090713</version>\n        <os>1</os>\n    </pc>\n";
    if (xml.contains("<pclist/>"))
        xml.replace("<pclist/>", "<pclist>\n" + pc + "</pclist>");
    else
        xml.replace("</pclist>", pc + "</pclist>");
    if (!CTestEnvironment::writeFile(list.fileName(), xml))
        return false;
    if (!withFile)
        return true;
    return QFile::copy(file(QStringLiteral("configtempl.xml")), file(uuid + QStringLiteral(".xml")));
}

bool ServerFixture::startConsole()
{
    m_process.setProcessEnvironment(processEnvironment());
    m_process.setWorkingDirectory(m_dir);
    m_process.setProcessChannelMode(QProcess::ForwardedChannels);
    m_process.start(file(QStringLiteral("BramixServer")), {QStringLiteral("-e")});
    if (!m_process.waitForStarted(10000))
        return false;
    return waitForPort();
}

void ServerFixture::stopConsole()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.kill();
    m_process.waitForFinished(10000);
}

int ServerFixture::runCommand(const QStringList &args, int timeoutMs)
{
    return CTestProcess::run(
        file(QStringLiteral("BramixServer")), args, processEnvironment(), m_dir, nullptr, timeoutMs);
}

QByteArray ServerFixture::commandOutput(const QStringList &args, int timeoutMs)
{
    QByteArray out;
    CTestProcess::run(file(QStringLiteral("BramixServer")), args, processEnvironment(), m_dir, &out, timeoutMs);
    return out;
}

qint64 ServerFixture::serverPid() const
{
    const QString program = QFileInfo(file(QStringLiteral("BramixServer"))).canonicalFilePath();
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        bool number = false;
        const qint64 pid = entry.toLongLong(&number);
        if (number && QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).symLinkTarget() == program)
            return pid;
    }
    return 0;
}

bool ServerFixture::processAlive(qint64 pid)
{
    // A process that has ended but is not reaped yet is a zombie ("Z"): gone for our purposes.
    const QByteArray stat = CTestEnvironment::readFile(QStringLiteral("/proc/%1/stat").arg(pid));
    const qsizetype end = stat.lastIndexOf(')');
    return end > 0 && stat.size() > end + 2 && stat.at(end + 2) != 'Z';
}

bool ServerFixture::portOpen()
{
    return CTestPort::isOpen(2210);
}

bool ServerFixture::waitForPort(int timeoutMs)
{
    return CTestPort::waitForOpen(2210, timeoutMs);
}

QStringList ServerFixture::eventLog() const
{
    QStringList out;
    const QByteArray data = CTestEnvironment::readFile(m_env.platformRoot() + QStringLiteral("/eventlog.txt"));
    for (const QByteArray &line : data.split('\n')) {
        const QStringList fields = QString::fromUtf8(line).split(QLatin1Char('\t'));
        // time, source, type, category, id, data, strings...
        if (fields.size() >= 7 && fields.at(1) == QLatin1String("Bramix Server Service"))
            out << fields.at(2) + QLatin1Char(' ') + fields.mid(6).join(QLatin1Char('|'));
    }
    return out;
}

QByteArray ServerFixture::exchange(const QByteArray &request, bool *closed, int timeoutMs)
{
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), 2210);
    QByteArray reply;
    if (closed)
        *closed = false;
    if (!socket.waitForConnected(5000))
        return reply;
    socket.write(request);
    socket.waitForBytesWritten(5000);
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        if (socket.state() != QAbstractSocket::ConnectedState && socket.bytesAvailable() == 0) {
            if (closed)
                *closed = true;
            break;
        }
        socket.waitForReadyRead(50);
        reply += socket.readAll();
    }
    reply += socket.readAll();
    return reply;
}

QByteArray ServerFixture::frame(const QString &text)
{
    return CShortFrame::encode(text);
}
