#include "e2efixture.h"

#include "ctestport.h"
#include "ctestprocess.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QNetworkInterface>

E2eFixture::E2eFixture()
{
    if (!m_env.isValid())
        return;
    const QString install = CTestEnvironment::sourceDir() + QStringLiteral("/scripts/install.sh");
    for (const QString &side : {QStringLiteral("server"), QStringLiteral("client")}) {
        if (run(QStringLiteral("bash"), {install, side, m_env.filePath(side), CTestEnvironment::stageDir()}) != 0)
            return;
    }
    // The console's part: it lives beside the server's files, whose directory is its own.
    const QString console = QCoreApplication::applicationDirPath() + QStringLiteral("/bramix-consolescan");
    if (!QFile::copy(console, serverDir() + QStringLiteral("/bramix-consolescan")))
        return;
    QFile::setPermissions(serverDir() + QStringLiteral("/bramix-consolescan"), QFile::permissions(console));

    if (run(clientDir() + QStringLiteral("/bramix-regsvr"), {clientDir() + QStringLiteral("/libInquix.so")}) != 0)
        return;
    const QString set = clientDir() + QStringLiteral("/set.xml");
    QByteArray xml = CTestEnvironment::readFile(set);
    const int at = xml.indexOf("<server>");
    const int end = xml.indexOf("</server>");
    if (at >= 0 && end > at)
        xml.replace(at, end - at, "<server>127.0.0.1");
    else
        xml.replace("<server/>", "<server>127.0.0.1</server>");
    if (!xml.contains("<server>127.0.0.1</server>") || !CTestEnvironment::writeFile(set, xml))
        return;
    m_valid = true;
}

E2eFixture::~E2eFixture()
{
    if (m_clientInstalled) {
        run(clientDir() + QStringLiteral("/BramixClient"), {QStringLiteral("-t")});
        run(clientDir() + QStringLiteral("/BramixClient"), {QStringLiteral("-u")});
    }
    if (m_serverInstalled) {
        run(serverDir() + QStringLiteral("/BramixServer"), {QStringLiteral("-t")});
        run(serverDir() + QStringLiteral("/BramixServer"), {QStringLiteral("-u")});
    }
}

int E2eFixture::run(const QString &program, const QStringList &args, const QProcessEnvironment &extra,
    QByteArray *output, int timeoutMs)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const QStringList keys = extra.keys();
    for (const QString &k : keys)
        env.insert(k, extra.value(k));
    return CTestProcess::run(program, args, env, QString(), output, timeoutMs);
}

bool E2eFixture::waitForPort(quint16 port, int timeoutMs)
{
    return CTestPort::waitForOpen(port, timeoutMs);
}

bool E2eFixture::serviceRunning(const QString &program)
{
    QByteArray out;
    run(program, {QStringLiteral("-v")}, {}, &out);
    return out.contains(" and running");
}

bool E2eFixture::startServer()
{
    const QString server = serverDir() + QStringLiteral("/BramixServer");
    if (run(server, {QStringLiteral("-i")}) != 0)
        return false;
    m_serverInstalled = true;
    return run(server, {}) == 0 && waitForPort(2210, 20000);
}

bool E2eFixture::startClient(const QProcessEnvironment &extra, Wait wait)
{
    const QString client = clientDir() + QStringLiteral("/BramixClient");
    if (!m_clientInstalled) {
        if (run(client, {QStringLiteral("-i")}) != 0)
            return false;
        m_clientInstalled = true;
    }
    if (run(client, {}, extra) != 0)
        return false;
    return wait == StartOnly || waitForPort(2211, 60000);
}

bool E2eFixture::clientRunning()
{
    return serviceRunning(clientDir() + QStringLiteral("/BramixClient"));
}

bool E2eFixture::stopClient()
{
    run(clientDir() + QStringLiteral("/BramixClient"), {QStringLiteral("-t")});
    return CTestEnvironment::waitFor([this] { return !clientRunning(); }, 20000);
}

QString E2eFixture::testAddress()
{
    return QStringLiteral("198.51.100.1");
}

namespace {

// Only the other hosts of the /24 lack a route, so their probes fail at once; the address goes onto
// lo only inside the namespace the launcher made for this test, never the machine's own.
bool addTestAddress()
{
    if (QNetworkInterface::allAddresses().contains(QHostAddress(E2eFixture::testAddress())))
        return true;
    if (qEnvironmentVariable("BRAMIX_IN_NETNS") != QLatin1String("1"))
        return false;
    return E2eFixture::run(QStringLiteral("ip"),
               {QStringLiteral("addr"), QStringLiteral("add"), E2eFixture::testAddress() + QStringLiteral("/24"),
                   QStringLiteral("dev"), QStringLiteral("lo"), QStringLiteral("noprefixroute")})
        == 0;
}

QProcessEnvironment consoleEnvironment()
{
    QProcessEnvironment env;
    env.insert(QStringLiteral("BRAMIX_SCAN_ADDRESS"), E2eFixture::testAddress() + QStringLiteral("/24"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return env;
}

} // namespace

QString E2eFixture::scan()
{
    if (!addTestAddress())
        return QString();
    QByteArray out;
    if (run(serverDir() + QStringLiteral("/bramix-consolescan"), {}, consoleEnvironment(), &out, 120000) != 0)
        return QString();
    return QString::fromUtf8(out).section(QLatin1Char('\n'), 0, 0).section(QLatin1Char(' '), 0, 0);
}

QString E2eFixture::push(const QString &file, const QString &version)
{
    if (!addTestAddress())
        return QString();
    QByteArray out;
    if (run(serverDir() + QStringLiteral("/bramix-consolescan"), {QStringLiteral("--push"), file, version},
            consoleEnvironment(), &out, 120000)
        != 0)
        return QString();
    return QString::fromUtf8(out).trimmed();
}
