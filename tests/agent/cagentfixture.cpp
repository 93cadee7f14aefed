#include "cagentfixture.h"

#include "winsvc.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <csignal>
#include <sys/types.h>

namespace {

// Records its arguments, working directory and the file it was given, then waits (bounded) for the
// release file, so a test can see it running after the agent has ended.
const char kStubSwaplet[] = R"(#!/bin/sh
here=$(dirname "$0")
echo $$ > "$here/swaplet.pid"
pwd > "$here/swaplet.cwd"
cp "$1" "$here/swaplet.copy" 2>/dev/null
printf '%s\n' "$@" > "$here/swaplet.args.tmp"
mv "$here/swaplet.args.tmp" "$here/swaplet.args"
i=0
while [ ! -e "$here/swaplet.release" ] && [ $i -lt 300 ]; do sleep 0.1; i=$((i+1)); done
echo done > "$here/swaplet.done"
)";

QString unescape(const QString &text)
{
    QString out;
    for (int i = 0; i < text.size(); ++i) {
        QChar c = text.at(i);
        if (c == QLatin1Char('\\') && i + 1 < text.size()) {
            const QChar n = text.at(++i);
            c = n == QLatin1Char('n')   ? QChar('\n')
                : n == QLatin1Char('t') ? QChar('\t')
                : n == QLatin1Char('r') ? QChar('\r')
                                        : n;
        }
        out += c;
    }
    return out;
}

QByteArray startTimeOf(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    const QByteArray stat = f.readAll();
    const int close = stat.lastIndexOf(')');
    const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
    if (fields.size() < 20 || fields.at(0) == "Z" || fields.at(0) == "X")
        return QByteArray();
    return fields.at(19);
}

class CManager
{
public:
    explicit CManager(DWORD access)
    {
        m_manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
        if (m_manager) {
            const std::u16string name = CAgentFixture::serviceName().toStdU16String();
            m_service = OpenServiceW(m_manager, name.c_str(), access);
        }
    }
    ~CManager()
    {
        if (m_service)
            CloseServiceHandle(m_service);
        if (m_manager)
            CloseServiceHandle(m_manager);
    }
    SC_HANDLE service() const { return m_service; }

private:
    SC_HANDLE m_manager = nullptr;
    SC_HANDLE m_service = nullptr;
};

} // namespace

CAgentFixture::CAgentFixture()
{
    if (!m_env.isValid())
        return;
    m_dir = QFileInfo(m_env.filePath(QStringLiteral("agent"))).absoluteFilePath();
    QDir().mkpath(m_dir);
    m_dir = QFileInfo(m_dir).canonicalFilePath(); // as the running program sees its own path
    if (!CTestEnvironment::copyStaged(
            {QStringLiteral("BramixClient"), QStringLiteral("libadvapi32.so"), QStringLiteral("libbramixcom.so"),
                QStringLiteral("libbramixwmi.so"), QStringLiteral("libInquix.so"), QStringLiteral("set.xml")},
            m_dir))
        return;
    m_valid = writeStub();
    m_process.setProgram(program());
    m_process.setProcessChannelMode(QProcess::MergedChannels);
}

CAgentFixture::CAgentFixture(const QString &dir)
    : m_dir(QFileInfo(dir).canonicalFilePath())
{
    m_valid = m_env.isValid() && writeStub();
}

bool CAgentFixture::writeStub() const
{
    for (const char *name :
        {"swaplet.args", "swaplet.copy", "swaplet.cwd", "swaplet.pid", "swaplet.release", "swaplet.done"})
        QFile::remove(filePath(QString::fromLatin1(name)));
    const QString stub = filePath(QStringLiteral("Swaplet"));
    if (!CTestEnvironment::writeFile(stub, kStubSwaplet))
        return false;
    return QFile::setPermissions(stub, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

CAgentFixture::~CAgentFixture()
{
    killAll();
}

void CAgentFixture::killAll()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    for (int i = 0; i < 3; ++i) {
        const qint64 pid = servicePid();
        if (pid <= 0)
            break;
        ::kill(pid_t(pid), SIGKILL);
        CTestEnvironment::waitFor([&] { return startTimeOf(pid).isEmpty(); }, 5000);
    }
    releaseSwaplet();
    const qint64 stub = swapletPid();
    if (stub > 0 && processAlive(stub))
        ::kill(pid_t(stub), SIGKILL);
}

bool CAgentFixture::writeSet(const QByteArray &content) const
{
    return CTestEnvironment::writeFile(setPath(), content);
}

QByteArray CAgentFixture::readSet() const
{
    return CTestEnvironment::readFile(setPath());
}

const QStringList &CAgentFixture::classKeys()
{
    static const QStringList keys {"BIOS", "BaseBoard", "CDROMDrive", "CPU", "DesktopMonitor", "DiskDrive",
        "MemoryDevice", "NetworkAdapter", "OS", "Printer", "Software", "SoundDevice", "VideoController"};
    return keys;
}

QByteArray CAgentFixture::setDocument(
    const QString &uuid, const QString &server, const QMap<QString, QByteArray> &bodies)
{
    QByteArray out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<set>\n  <UUID>" + uuid.toUtf8()
        + "</UUID>\n  <pcname>pc</pcname>\n  <ip>1.2.3.4</ip>\n";
    for (const QString &key : classKeys())
        out += "  <" + key.toLatin1() + ">\n    <content></content>\n" + bodies.value(key) + "  </" + key.toLatin1()
            + ">\n";
    out += "  <server>" + server.toUtf8() + "</server>\n  <version>2.1.20090713</version>\n</set>\n";
    return out;
}

bool CAgentFixture::installShippedSet() const
{
    return writeSet(CTestEnvironment::readFile(CTestEnvironment::stagedFile(QStringLiteral("set.xml"))));
}

bool CAgentFixture::registerInquix() const
{
    QProcess tool;
    tool.start(
        CTestEnvironment::stagedFile(QStringLiteral("bramix-regsvr")), {filePath(QStringLiteral("libInquix.so"))});
    return tool.waitForFinished(30000) && tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0;
}

bool CAgentFixture::startConsole()
{
    m_process.setArguments({QStringLiteral("-e")});
    m_process.start();
    return m_process.waitForStarted(30000);
}

bool CAgentFixture::waitForExit(int timeoutMs)
{
    return CTestEnvironment::waitFor([&] { return m_process.state() == QProcess::NotRunning; }, timeoutMs);
}

QStringList CAgentFixture::log() const
{
    QStringList texts;
    const QString text
        = QString::fromUtf8(CTestEnvironment::readFile(m_env.platformRoot() + QStringLiteral("/eventlog.txt")));
    for (const QString &line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QStringList f = line.split(QLatin1Char('\t'));
        if (f.size() < 7 || unescape(f.at(1)) != serviceName())
            continue;
        texts << unescape(f.at(6));
    }
    return texts;
}

bool CAgentFixture::waitForLog(const QString &text, int timeoutMs) const
{
    return CTestEnvironment::waitFor([&] { return log().contains(text); }, timeoutMs);
}

bool CAgentFixture::waitForLogCount(int count, int timeoutMs) const
{
    return CTestEnvironment::waitFor([&] { return log().size() >= count; }, timeoutMs);
}

CAgentFixture::Result CAgentFixture::run(const QStringList &arguments, int timeoutMs) const
{
    Result r;
    QProcess p;
    p.start(program(), arguments);
    if (!p.waitForStarted(timeoutMs))
        return r;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1000;
    return r;
}

bool CAgentFixture::install() const
{
    const Result r = run({QStringLiteral("-i")});
    return r.exitCode == 0 && r.out.startsWith("The service Bramix Client Service has been installed under: ");
}

bool CAgentFixture::startService() const
{
    return run({}).exitCode == 0;
}

quint32 CAgentFixture::state() const
{
    CManager m(SERVICE_QUERY_STATUS);
    SERVICE_STATUS st {};
    if (!m.service() || !QueryServiceStatus(m.service(), &st))
        return 0;
    return st.dwCurrentState;
}

bool CAgentFixture::waitForState(quint32 wanted, int timeoutMs) const
{
    return CTestEnvironment::waitFor([&] { return state() == wanted; }, timeoutMs);
}

bool CAgentFixture::control(quint32 code) const
{
    CManager m(SERVICE_PAUSE_CONTINUE | SERVICE_STOP | SERVICE_QUERY_STATUS);
    SERVICE_STATUS st {};
    return m.service() && ControlService(m.service(), code, &st);
}

qint64 CAgentFixture::servicePid() const
{
    const QDir dir(m_env.platformRoot() + QStringLiteral("/services"));
    for (const QString &name : dir.entryList({QStringLiteral("*.status")}, QDir::Files)) {
        const QJsonObject o = QJsonDocument::fromJson(CTestEnvironment::readFile(dir.filePath(name))).object();
        const qint64 pid = qint64(o.value(QStringLiteral("pid")).toDouble());
        if (pid > 0 && startTimeOf(pid) == o.value(QStringLiteral("startTime")).toString().toLatin1())
            return pid;
    }
    return 0;
}

QStringList CAgentFixture::swapletArguments() const
{
    const QString text = QString::fromUtf8(CTestEnvironment::readFile(swapletArgsPath()));
    return text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QString CAgentFixture::swapletWorkingDir() const
{
    return QString::fromUtf8(CTestEnvironment::readFile(filePath(QStringLiteral("swaplet.cwd")))).trimmed();
}

bool CAgentFixture::waitForSwaplet(int timeoutMs) const
{
    return CTestEnvironment::waitFor([&] { return QFileInfo::exists(swapletArgsPath()); }, timeoutMs);
}

void CAgentFixture::releaseSwaplet() const
{
    CTestEnvironment::writeFile(filePath(QStringLiteral("swaplet.release")), "go\n");
}

qint64 CAgentFixture::swapletPid() const
{
    return CTestEnvironment::readFile(filePath(QStringLiteral("swaplet.pid"))).trimmed().toLongLong();
}

bool CAgentFixture::processAlive(qint64 pid)
{
    return pid > 0 && !startTimeOf(pid).isEmpty();
}
