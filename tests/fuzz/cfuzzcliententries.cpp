#include "cfuzzcliententries.h"

#include "cset.h"

#include <QCoreApplication>
#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringConverter>

namespace {

QString setPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/set.xml");
}

QByteArray readSet()
{
    QFile f(setPath());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool parsesXml(const QByteArray &bytes)
{
    QDomDocument doc;
    return bool(doc.setContent(bytes, true));
}

// A file the agent must keep readable: one the toolkit parses and reads back after writing it out
// itself, in no encoding or one the toolkit has built in (see the store's targets for why the others
// are left out; an encoding only ICU knows, such as UTF-7, can turn undecodable bytes into names the
// writer cannot write).
bool keepsReadable(const QByteArray &bytes)
{
    QDomDocument doc;
    if (!doc.setContent(bytes, true))
        return false;
    const QDomNode first = doc.firstChild();
    if (first.isProcessingInstruction() && first.nodeName() == QLatin1String("xml")) {
        static const QRegularExpression re(QStringLiteral("encoding\\s*=\\s*[\"']([^\"']*)[\"']"));
        const QRegularExpressionMatch m = re.match(first.toProcessingInstruction().data());
        if (m.hasMatch() && !QStringConverter::encodingForName(m.captured(1).toLatin1().constData()))
            return false;
    }
    QDomDocument again;
    return bool(again.setContent(doc.toByteArray(2), true));
}

} // namespace

QString CFuzzClientEntries::setXml(const QByteArray &data)
{
    {
        QFile f(setPath());
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(data) != data.size())
            return QStringLiteral("set.xml fixture not written");
    }
    const bool parses = parsesXml(data);
    bool opened = false;
    try {
        CSet set;
        set.init();
        opened = true;
        set.getUUID();
        set.getServer();
        QStringList rows;
        for (const char *cls : {"CPU", "Software", "OS", "content", ""})
            set.getContents(QString::fromLatin1(cls), rows);
        set.checkVersion();
        set.setServer(QStringLiteral("10.0.0.9"));
        // An identity request's address with characters XML cannot hold, and one of nothing else.
        set.setServer(QStringLiteral("10.0.0.9") + QChar(0x01) + QChar(0xFFFE));
        set.setServer(QString(QChar(0x1B)));
    } catch (const char *) {
        // refused file: reported as documented
    }
    if (opened != parses)
        return opened ? QStringLiteral("set.xml that does not parse was opened")
                      : QStringLiteral("set.xml that parses was refused");
    const QByteArray after = readSet();
    if (!parses && after != data)
        return QStringLiteral("a set.xml that does not parse was replaced");
    if (keepsReadable(data) && !parsesXml(after))
        return QStringLiteral("set.xml no longer parses after a change");
    if (keepsReadable(data)) {
        try {
            CSet again;
            again.init();
        } catch (const char *) {
            return QStringLiteral("set.xml written by the agent is refused by the agent");
        }
    }
    const QStringList present = QDir(QCoreApplication::applicationDirPath())
                                    .entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
    const QString self = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    for (const QString &name : present) {
        if (name != self && name != QLatin1String("set.xml") && name != QLatin1String("set.xml.lock"))
            return QStringLiteral("unexpected file: ") + name;
    }
    return QString();
}
