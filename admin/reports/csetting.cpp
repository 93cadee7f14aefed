#include "csetting.h"

#include "cfileguard.h"
#include "cxmlfile.h"

#include <QDir>
#include <QDomElement>
#include <QFileInfo>
#include <QStringList>

#include <cmath>

namespace {
const QString kPageSet = QStringLiteral("pageset");
}

CSetting::CSetting() = default;

CSetting::~CSetting()
{
    m_file.close();
}

QString CSetting::path()
{
    return QDir::currentPath() + QStringLiteral("/setting.xml");
}

int CSetting::init()
{
    m_file.close();
    m_file.setFileName(path());
    // A write-protected file is still the user's page set-up: read it.
    if (!m_file.open(QIODevice::ReadWrite | QIODevice::Text) && !m_file.open(QIODevice::ReadOnly | QIODevice::Text))
        return 0;
    const QByteArray raw = m_file.readAll();
    return CXmlFile::parse(raw, m_document) == CXmlFile::Parsed ? 1 : 0;
}

int CSetting::getPageSet(QMap<QString, QString> &settings)
{
    const QDomElement pageSet = m_document.documentElement().firstChildElement(kPageSet);
    for (QDomElement e = pageSet.firstChildElement(); !e.isNull(); e = e.nextSiblingElement())
        settings[e.tagName()] = e.text();
    return 0;
}

int CSetting::setPageSet(const QMap<QString, QString> &settings)
{
    const QString file = path();
    const QFileInfo info(file);
    // The file is replaced by rename, which a write protection on the file itself would not stop;
    // its mode bits are asked too, as a privileged user may write whatever the bits say.
    const QFile::Permissions writeBits = QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther;
    if (!info.exists() || !info.isWritable() || !(info.permissions() & writeBits))
        return -1;
    CFileGuard guard(file);
    if (!guard.isLocked())
        return -1;
    QDomDocument doc;
    QByteArray raw;
    // Only a file that parses is rewritten: an empty one has nothing to keep, a broken one must not
    // lose what the user can still repair.
    if (CXmlFile::load(file, doc, &raw) != CXmlFile::Parsed)
        return -1;
    QDomElement pageSet = doc.documentElement().firstChildElement(kPageSet);
    if (!pageSet.isNull()) {
        for (auto it = settings.cbegin(); it != settings.cend(); ++it) {
            const QDomElement old = pageSet.firstChildElement(it.key());
            if (!old.isNull())
                pageSet.removeChild(old);
            QDomElement e = doc.createElement(it.key());
            // A character XML cannot hold (a control character pasted into a margin) would leave a
            // file that no later read parses: drop it as the store drops it from peer texts.
            e.appendChild(doc.createTextNode(CXmlFile::validText(it.value())));
            pageSet.appendChild(e);
        }
    }
    if (!CXmlFile::store(file, doc, 2, raw))
        return -1;
    m_document = doc;
    return 0;
}

int CSetting::number(const QString &value)
{
    return value.toInt(nullptr, 10);
}

QFont CSetting::font(const QString &value, const QFont &current)
{
    const QStringList parts = value.split(QLatin1Char(','), Qt::KeepEmptyParts, Qt::CaseSensitive);
    if (parts.size() < 2 || parts.at(0).isEmpty())
        return current;
    bool ok = false;
    int size = parts.at(1).toInt(&ok, 10);
    if (!ok) {
        const double fractional = parts.at(1).toDouble(&ok);
        if (!ok || !std::isfinite(fractional) || fractional > 10000)
            return current;
        size = int(std::lround(fractional));
    }
    if (size <= 0)
        return current;
    return QFont(parts.at(0), size);
}
