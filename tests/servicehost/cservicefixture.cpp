#include "cservicefixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <csignal>
#include <sys/types.h>

namespace {

QByteArray startTimeOf(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    const QByteArray stat = f.readAll();
    const int close = stat.lastIndexOf(')');
    const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
    if (fields.size() < 20 || fields.at(0) == "Z" || fields.at(0) == "X")
        return QByteArray(); // gone, or a zombie nobody has reaped yet
    return fields.at(19);
}

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

} // namespace

CServiceFixture::CServiceFixture()
    // As the running program sees its own path (no "..", no symbolic links).
    : m_program(QFileInfo(CTestEnvironment::stagedFile(QStringLiteral("bxtestservice"))).canonicalFilePath())
{
    for (const char *name : {"BXTEST_HOLDSTART", "BXTEST_FLAGS", "BXTEST_EXITDELAY", "BXTEST_NAME", "BXTEST_QUITCODE"})
        qunsetenv(name);
    qputenv("BXTEST_HOOKLOG", QFile::encodeName(hookLogPath()));
}

CServiceFixture::~CServiceFixture()
{
    killLeftovers();
}

QString CServiceFixture::serviceName()
{
    return QStringLiteral("Bramix Test Service");
}

void CServiceFixture::setServiceEnv(const QByteArray &name, const QByteArray &value)
{
    qputenv(name.constData(), value);
}

CServiceFixture::Result CServiceFixture::run(const QStringList &arguments, int timeoutMs) const
{
    Result r;
    QProcess p;
    p.start(m_program, arguments);
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

QStringList CServiceFixture::hooks() const
{
    const QString text = QString::fromUtf8(CTestEnvironment::readFile(hookLogPath()));
    return text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QList<CServiceFixture::EventRecord> CServiceFixture::eventLog() const
{
    QList<EventRecord> records;
    const QString text
        = QString::fromUtf8(CTestEnvironment::readFile(m_env.platformRoot() + QStringLiteral("/eventlog.txt")));
    for (const QString &line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QStringList f = line.split(QLatin1Char('\t'));
        if (f.size() < 6)
            continue;
        EventRecord r;
        r.source = unescape(f.at(1));
        r.type = f.at(2);
        r.category = f.at(3).toInt();
        r.eventId = f.at(4).toInt();
        r.data = QByteArray::fromHex(f.at(5).toLatin1());
        for (int i = 6; i < f.size(); ++i)
            r.strings << unescape(f.at(i));
        records << r;
    }
    return records;
}

SERVICE_STATUS CServiceFixture::status() const
{
    SERVICE_STATUS st {};
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (!manager)
        return st;
    const std::u16string name = serviceName().toStdU16String();
    SC_HANDLE service = OpenServiceW(manager, name.c_str(), SERVICE_QUERY_STATUS);
    if (service) {
        if (!QueryServiceStatus(service, &st))
            st = SERVICE_STATUS {};
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
    return st;
}

bool CServiceFixture::waitForState(DWORD wanted, int timeoutMs) const
{
    return CTestEnvironment::waitFor([&] { return state() == wanted; }, timeoutMs);
}

bool CServiceFixture::waitForHook(const QString &prefix, int timeoutMs) const
{
    return CTestEnvironment::waitFor(
        [&] {
            for (const QString &h : hooks()) {
                if (h.startsWith(prefix))
                    return true;
            }
            return false;
        },
        timeoutMs);
}

qint64 CServiceFixture::servicePid() const
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

void CServiceFixture::killLeftovers()
{
    for (int i = 0; i < 3; ++i) {
        const qint64 pid = servicePid();
        if (pid <= 0)
            return;
        ::kill(pid_t(pid), SIGKILL);
        CTestEnvironment::waitFor([&] { return startTimeOf(pid).isEmpty() || servicePid() != pid; }, 5000);
    }
}

bool CServiceFixture::install()
{
    const Result r = run({QStringLiteral("-i")});
    return r.exitCode == 0 && r.out.startsWith("The service Bramix Test Service has been installed under: ");
}

bool CServiceFixture::startRunning()
{
    const Result r = run({});
    return r.exitCode == 0 && waitForState(SERVICE_RUNNING);
}

QJsonObject CServiceFixture::databaseEntry() const
{
    const QJsonObject root
        = QJsonDocument::fromJson(CTestEnvironment::readFile(m_env.platformRoot() + QStringLiteral("/services.json")))
              .object();
    for (const QJsonValue &v : root.value(QStringLiteral("services")).toArray()) {
        if (v.toObject().value(QStringLiteral("name")).toString() == serviceName())
            return v.toObject();
    }
    return QJsonObject();
}
