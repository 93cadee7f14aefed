#include "cserverbench.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QTcpSocket>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

bool CServerBench::parseOptions(
    const QStringList &args, const std::vector<Option> &options, const char *program, const char *usage)
{
    for (int i = 1; i < args.size(); ++i) {
        const QString &a = args.at(i);
        if (a == QLatin1String("--help")) {
            std::printf("%s", usage);
            std::exit(0);
        }
        const auto known = std::find_if(
            options.cbegin(), options.cend(), [&](const Option &o) { return a == QLatin1String(o.name); });
        bool ok = known != options.cend();
        if (ok && known->flag) {
            *known->flag = known->value;
        } else if (ok) {
            ok = i + 1 < args.size();
            const QString value = ok ? args.at(++i) : QString();
            if (ok && known->number)
                *known->number = value.toInt(&ok);
            ok = ok && (!known->number || *known->number > 0);
            if (ok && known->text)
                *known->text = value;
        }
        if (!ok) {
            std::fprintf(stderr, "%s: bad argument %s\n", program, qPrintable(a));
            return false;
        }
    }
    return true;
}

void CServerBench::enterNetworkNamespace(int argc, char **argv, const char *name)
{
    if (qEnvironmentVariable("BRAMIX_IN_NETNS") == QLatin1String("1"))
        return;
    const QString script = scriptPath(QStringLiteral("netns-run.sh"));
    if (!script.isEmpty()) {
        QByteArray self = QFile::encodeName(QCoreApplication::applicationFilePath());
        QByteArray path = QFile::encodeName(script);
        std::vector<char *> args {const_cast<char *>("bash"), path.data(), self.data()};
        for (int i = 1; i < argc; ++i)
            args.push_back(argv[i]);
        args.push_back(nullptr);
        std::fflush(stdout);
        execvp("bash", args.data());
    }
    std::fprintf(stderr, "%s: cannot enter a network namespace; using this one\n", name);
}

QString CServerBench::scriptPath(const QString &name)
{
    QString script = qEnvironmentVariable("BRAMIX_SOURCE_DIR") + QStringLiteral("/scripts/") + name;
    if (!QFileInfo::exists(script))
        script = QCoreApplication::applicationDirPath() + QStringLiteral("/../../../scripts/") + name;
    return QFileInfo::exists(script) ? QFileInfo(script).absoluteFilePath() : QString();
}

QByteArray CServerBench::loadAverage()
{
    QFile f(QStringLiteral("/proc/loadavg"));
    return f.open(QIODevice::ReadOnly) ? f.readAll().trimmed() : QByteArray("?");
}

bool CServerBench::waitForPort(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        QTcpSocket probe;
        probe.connectToHost(QStringLiteral("127.0.0.1"), 2210);
        if (probe.waitForConnected(500))
            return true;
        QThread::msleep(20);
    }
    return false;
}

int CServerBench::connectRaw(int receiveBuffer, int timeoutMs)
{
    sockaddr_in addr {};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(2210);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return -1;
    if (receiveBuffer > 0)
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    // A server that does not accept leaves the connection unanswered once its listen queue is full:
    // the wait is bounded here instead of the system's minutes.
    bool connected = ::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0;
    if (!connected && errno == EINPROGRESS) {
        pollfd p {fd, POLLOUT, 0};
        int error = 0;
        socklen_t len = sizeof error;
        connected
            = ::poll(&p, 1, timeoutMs) == 1 && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) == 0 && error == 0;
    }
    if (!connected) {
        ::close(fd);
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

QByteArray CServerBench::inventoryFile(int softwareRows)
{
    struct Row
    {
        const char *cls;
        QString row;
        QString digest;
    };
    std::vector<Row> rows;
    rows.push_back({"BIOS", "Manufacturer=Orvelle\nName=BIOS Date 04/01/14\nVersion=1.16\n", "BIOS Date 04/01/14"});
    rows.push_back({"BaseBoard", "Manufacturer=Orvelle Systems\nProduct=OB-440\n", "Orvelle Systems"});
    rows.push_back({"CPU", "Name=Intel(R) Core(TM) i7-4770 CPU @ 3.40GHz\nNumberOfCores=4\nMaxClockSpeed=3400\n",
        "Intel(R) Core(TM) i7-4770 CPU @ 3.40GHz"});
    rows.push_back({"DiskDrive", "Caption=ST1000DM003-1ER162\nSize=1000202273280\n", "ST1000DM003-1ER162 1000 GB"});
    rows.push_back({"MemoryDevice", "Capacity=8589934592\nSpeed=1600\n", "8192 M"});
    rows.push_back({"MemoryDevice", "Capacity=8589934592\nSpeed=1600\n", "8192 M"});
    rows.push_back({"NetworkAdapter", "Name=Intel(R) Ethernet Connection I217-LM\nMACAddress=00 1A 2B 3C 4D 5E\n",
        "Intel(R) Ethernet Connection I217-LM"});
    rows.push_back({"OS", "Caption=Debian GNU/Linux 12 (bookworm)\nVersion=12\n", "Debian GNU/Linux 12 (bookworm)"});
    rows.push_back(
        {"VideoController", "Name=Intel(R) HD Graphics 4600\nAdapterRAM=2147483648\n", "Intel(R) HD Graphics 4600"});
    for (int i = 0; i < softwareRows; ++i) {
        const QString caption = QStringLiteral("Package %1 with a long descriptive name").arg(i);
        rows.push_back({"Software",
            QStringLiteral("Caption=%1\nVendor=Vendor %2\nVersion=%3.%4.%5\nInstallDate=20090713\n")
                .arg(caption)
                .arg(i % 37)
                .arg(i % 9)
                .arg(i % 17)
                .arg(i),
            caption});
    }
    const char *classes[] = {"CPU", "BaseBoard", "DiskDrive", "VideoController", "NetworkAdapter", "BIOS", "CDROMDrive",
        "DesktopMonitor", "MemoryDevice", "Printer", "SoundDevice", "Software", "OS"};
    const QString stamp = QStringLiteral("December 10 2026 09:00:00");
    QString xml
        = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<pcconfig lastupdate=\"%1\">\n").arg(stamp);
    for (const char *cls : classes) {
        xml += QStringLiteral("    <%1 lastupdate=\"%2\">\n").arg(QLatin1String(cls), stamp);
        for (const Row &r : rows) {
            if (qstrcmp(r.cls, cls) == 0)
                xml += QStringLiteral("        <content digest=\"%1\">%2</content>\n")
                           .arg(r.digest.toHtmlEscaped(), r.row.toHtmlEscaped());
        }
        xml += QStringLiteral("    </%1>\n").arg(QLatin1String(cls));
    }
    xml += QStringLiteral("</pcconfig>\n");
    return xml.toUtf8();
}

QString CServerBench::uuidOf(int client)
{
    return QStringLiteral("{%1-0000-4000-8000-%2}")
        .arg(client, 8, 16, QLatin1Char('0'))
        .arg(client, 12, 16, QLatin1Char('0'));
}

QByteArray CServerBench::clientList(int clients, bool fresh)
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<pclist>\n";
    xml.reserve(clients * 230);
    for (int i = 0; i < clients; ++i) {
        xml += "    <pc UUID=\"" + uuidOf(i).toLatin1() + "\" notice=\"" + QByteArray(fresh ? "yes" : "no")
            + "\" folder=\"0\">\n" + "        <name>pc" + QByteArray::number(i) + "</name>\n        <ip>10."
            + QByteArray::number(i / 65536) + "." + QByteArray::number((i / 256) % 256) + "."
            + QByteArray::number(i % 256)
            + "</ip>\n        <version>2.1.20090713</version>\n        <os>1</os>\n    </pc>\n";
    }
    xml += "</pclist>\n";
    return xml;
}

bool CServerBench::writeFile(const QString &path, const QByteArray &data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(data) == data.size();
}
