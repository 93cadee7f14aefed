#include "cwmiproductprovider.h"

#include "ccimdatetime.h"

#include <QFile>

#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Stanza
{
    QByteArray package;
    QByteArray status;
    QByteArray architecture;
    QByteArray version;
    QByteArray maintainer;
    QByteArray origin;
    QByteArray multiArch;
    QByteArray summary; // first line of Description
};

bool keyIs(const char *key, size_t length, const char *name)
{
    return strlen(name) == length && qstrnicmp(key, name, uint(length)) == 0;
}

QByteArray trimmed(const char *begin, const char *end)
{
    while (begin < end && (*begin == ' ' || *begin == '\t'))
        ++begin;
    while (end > begin && (end[-1] == ' ' || end[-1] == '\t' || end[-1] == '\r'))
        --end;
    return QByteArray(begin, int(end - begin));
}

// A package counts as installed when its status word says so, whatever the wanted state: held
// packages ("hold ok installed") and ones selected for removal but not yet removed are on disk.
bool isInstalled(const QByteArray &status)
{
    const QList<QByteArray> words = status.simplified().split(' ');
    return words.size() == 3 && words.at(2) == "installed";
}

// "Name <address>" -> "Name"; a bare address stays as it is.
QString vendorOf(const Stanza &s)
{
    QByteArray m = s.maintainer;
    const int lt = m.indexOf('<');
    if (lt > 0)
        m = m.left(lt).trimmed();
    if (m.isEmpty())
        m = s.origin;
    return m.isEmpty() ? QString() : QString::fromUtf8(m);
}

} // namespace

QList<CWmiObject> CWmiProductProvider::objects() const
{
    QFile file(path(QStringLiteral("/var/lib/dpkg/status")));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray data = file.readAll();
    file.close();

    // The file lists are looked up relative to their directory, which saves a path walk per package.
    const int infoDir = ::open(
        QFile::encodeName(path(QStringLiteral("/var/lib/dpkg/info"))).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    QList<CWmiObject> result;

    auto finish = [&](const Stanza &s) {
        if (s.package.isEmpty() || !isInstalled(s.status))
            return;
        // dpkg names the file list "<pkg>:<arch>.list" for packages that can be installed for
        // several architectures at once ("Multi-Arch: same"), "<pkg>.list" otherwise.
        QVariant installDate;
        QVariant installDate2;
        struct stat st;
        const QByteArray plain = s.package + ".list";
        const QByteArray qualified = s.package + ':' + s.architecture + ".list";
        const bool same = s.multiArch == "same" && !s.architecture.isEmpty();
        const QByteArray &first = same ? qualified : plain;
        const QByteArray &second = same ? plain : qualified;
        if (infoDir >= 0
            && (::fstatat(infoDir, first.constData(), &st, 0) == 0
                || (!s.architecture.isEmpty() && ::fstatat(infoDir, second.constData(), &st, 0) == 0))) {
            installDate = CCimDateTime::dateFromSecsSinceEpoch(st.st_mtime);
            installDate2 = CCimDateTime::fromSecsSinceEpoch(st.st_mtime);
        }
        const QString name = QString::fromUtf8(s.package);
        const QString summary = QString::fromUtf8(s.summary);
        const QString vendor = vendorOf(s);

        CWmiObject o(className());
        o.set(QStringLiteral("Caption"), summary);
        o.set(QStringLiteral("Description"), summary);
        o.set(QStringLiteral("IdentifyingNumber"),
            s.architecture.isEmpty() ? name : name + QLatin1Char(':') + QString::fromUtf8(s.architecture));
        o.set(QStringLiteral("InstallDate"), installDate);
        o.set(QStringLiteral("InstallDate2"), installDate2);
        o.set(QStringLiteral("InstallState"), 5); // installed
        o.set(QStringLiteral("Name"), name);
        o.set(QStringLiteral("Vendor"), vendor.isEmpty() ? QVariant() : QVariant(vendor));
        o.set(QStringLiteral("Version"), s.version.isEmpty() ? QVariant() : QVariant(QString::fromUtf8(s.version)));
        result.append(o);
    };

    // One pass over the deb822 stanzas: "Key: value" lines, continuation lines start with a blank,
    // stanzas end at an empty line. Field names are case-insensitive.
    Stanza s;
    const char *p = data.constData();
    const char *const end = p + data.size();
    while (p < end) {
        const char *eol = static_cast<const char *>(memchr(p, '\n', size_t(end - p)));
        if (!eol)
            eol = end;
        const char *lineEnd = eol;
        if (lineEnd > p && lineEnd[-1] == '\r')
            --lineEnd;
        if (lineEnd == p) {
            finish(s);
            s = Stanza();
        } else if (*p != ' ' && *p != '\t') {
            const char *colon = static_cast<const char *>(memchr(p, ':', size_t(lineEnd - p)));
            if (colon) {
                const size_t keyLength = size_t(colon - p);
                QByteArray *field = nullptr;
                if (keyIs(p, keyLength, "Package"))
                    field = &s.package;
                else if (keyIs(p, keyLength, "Status"))
                    field = &s.status;
                else if (keyIs(p, keyLength, "Architecture"))
                    field = &s.architecture;
                else if (keyIs(p, keyLength, "Version"))
                    field = &s.version;
                else if (keyIs(p, keyLength, "Maintainer"))
                    field = &s.maintainer;
                else if (keyIs(p, keyLength, "Origin"))
                    field = &s.origin;
                else if (keyIs(p, keyLength, "Multi-Arch"))
                    field = &s.multiArch;
                else if (keyIs(p, keyLength, "Description"))
                    field = &s.summary;
                if (field)
                    *field = trimmed(colon + 1, lineEnd);
            }
        }
        p = eol + 1;
    }
    finish(s);
    if (infoDir >= 0)
        ::close(infoDir);
    return result;
}
