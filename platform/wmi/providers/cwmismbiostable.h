#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

class CWmiProvider;

// The SMBIOS structure table as the kernel exports it (/sys/firmware/dmi/tables/DMI): each
// structure's formatted area and its strings. A truncated or damaged table yields the structures
// before the damage.
class CWmiSmbiosTable
{
public:
    struct Structure
    {
        int type = 0;
        QByteArray formatted; // the whole formatted area, header included
        QList<QByteArray> strings;

        int length() const { return int(formatted.size()); }
        bool has(int offset, int size) const { return offset + size <= formatted.size(); }
        // Little-endian fields at an offset of the formatted area; -1 when the area is too short.
        qint64 byteAt(int offset) const;
        qint64 wordAt(int offset) const;
        qint64 dwordAt(int offset) const;
        // The string a byte field at offset points at, trimmed; a null QString when the field is
        // missing, zero or points past the strings.
        QString stringAt(int offset) const;
    };

    static CWmiSmbiosTable read(const CWmiProvider &provider);
    static CWmiSmbiosTable parse(const QByteArray &data);

    bool isEmpty() const { return m_structures.isEmpty(); }
    QList<Structure> structures(int type) const;

private:
    QList<Structure> m_structures;
};
