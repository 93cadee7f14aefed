#include "cwmismbiostable.h"

#include "cwmiprovider.h"

qint64 CWmiSmbiosTable::Structure::byteAt(int offset) const
{
    if (!has(offset, 1))
        return -1;
    return quint8(formatted.at(offset));
}

qint64 CWmiSmbiosTable::Structure::wordAt(int offset) const
{
    if (!has(offset, 2))
        return -1;
    return qint64(quint8(formatted.at(offset))) | (qint64(quint8(formatted.at(offset + 1))) << 8);
}

qint64 CWmiSmbiosTable::Structure::dwordAt(int offset) const
{
    if (!has(offset, 4))
        return -1;
    return wordAt(offset) | (wordAt(offset + 2) << 16);
}

QString CWmiSmbiosTable::Structure::stringAt(int offset) const
{
    const qint64 index = byteAt(offset);
    if (index <= 0 || index > strings.size())
        return QString();
    return QString::fromLatin1(strings.at(index - 1)).trimmed();
}

CWmiSmbiosTable CWmiSmbiosTable::read(const CWmiProvider &provider)
{
    return parse(provider.readBytes(QStringLiteral("/sys/firmware/dmi/tables/DMI")));
}

CWmiSmbiosTable CWmiSmbiosTable::parse(const QByteArray &data)
{
    CWmiSmbiosTable table;
    qsizetype pos = 0;
    while (pos + 4 <= data.size()) {
        Structure s;
        s.type = quint8(data.at(pos));
        const int length = quint8(data.at(pos + 1));
        if (length < 4 || pos + length > data.size())
            break;
        s.formatted = data.mid(pos, length);
        // Strings follow the formatted area, each ending in a zero byte; two zero bytes end the set.
        qsizetype p = pos + length;
        bool terminated = false;
        if (p + 1 < data.size() && data.at(p) == 0 && data.at(p + 1) == 0) {
            p += 2;
            terminated = true;
        } else {
            while (p < data.size()) {
                const qsizetype end = data.indexOf('\0', p);
                if (end < 0)
                    break;
                s.strings.append(data.mid(p, end - p));
                p = end + 1;
                if (p < data.size() && data.at(p) == 0) {
                    ++p;
                    terminated = true;
                    break;
                }
            }
        }
        if (!terminated)
            break;
        table.m_structures.append(s);
        if (s.type == 127) // end-of-table
            break;
        pos = p;
    }
    return table;
}

QList<CWmiSmbiosTable::Structure> CWmiSmbiosTable::structures(int type) const
{
    QList<Structure> result;
    for (const Structure &s : m_structures)
        if (s.type == type)
            result.append(s);
    return result;
}
