#include "chostileanswers.h"

namespace {

// UTF-16 units that fit the frame beside the string's length field.
qsizetype unitsLeft(const QString &text)
{
    return (CHostileAnswers::MaxFrameBytes - 4) / 2 - text.size();
}

QString identity(const QString &uuid, const QString &hostLabel)
{
    return QStringLiteral("UUID:") + uuid + QLatin1Char('|') + hostLabel + QStringLiteral("|2.1.20090713-2");
}

} // namespace

QString CHostileAnswers::realRows(const QString &uuid, const QString &hostLabel)
{
    QString text = identity(uuid, hostLabel);
    text.reserve(qsizetype(MaxFrameBytes / 2));
    text += QStringLiteral("^CPU:Name=Fake CPU 3.0GHz\nManufacturer=GenuineFake\n^OS:Caption=Fake OS 7\nVersion=7.1\n"
                           "^Software:");
    for (int i = 0;; ++i) {
        const QString row = QStringLiteral("Caption=Fake package number %1 with a long descriptive name\n"
                                           "Vendor=Fake Software Works\nVersion=1.%2.%1\n")
                                .arg(i)
                                .arg(i % 97);
        if (unitsLeft(text) < row.size() + 1)
            break;
        if (i > 0)
            text += QLatin1Char('$');
        text += row;
    }
    return text;
}

QString CHostileAnswers::dollars(const QString &uuid, const QString &hostLabel)
{
    QString text = identity(uuid, hostLabel) + QStringLiteral("^Software:");
    text += QString(unitsLeft(text), QLatin1Char('$'));
    return text;
}

QString CHostileAnswers::letters(const QString &uuid, const QString &hostLabel)
{
    QString text = identity(uuid, hostLabel) + QStringLiteral("^Software:");
    text += QStringLiteral("a$").repeated(unitsLeft(text) / 2);
    return text;
}

QString CHostileAnswers::carets(const QString &uuid, const QString &hostLabel)
{
    QString text = identity(uuid, hostLabel);
    text += QString(unitsLeft(text), QLatin1Char('^'));
    return text;
}
