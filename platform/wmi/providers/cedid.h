#pragma once

#include <QByteArray>
#include <QString>

// The parts of a monitor's EDID base block that the inventory reports.
class CEdid
{
public:
    // isValid() is false unless data starts with a 128-byte block with the EDID header and a
    // correct checksum.
    static CEdid parse(const QByteArray &data);

    bool isValid() const { return m_valid; }
    // Three-letter PNP manufacturer id, e.g. "DEL".
    QString manufacturerId() const { return m_manufacturer; }
    uint productCode() const { return m_product; }
    // Monitor name descriptor text; empty when the block has none.
    QString monitorName() const { return m_name; }
    // Active size of the preferred (first detailed) timing; 0 when the block has none.
    int preferredWidth() const { return m_width; }
    int preferredHeight() const { return m_height; }

private:
    bool m_valid = false;
    QString m_manufacturer;
    uint m_product = 0;
    QString m_name;
    int m_width = 0;
    int m_height = 0;
};
