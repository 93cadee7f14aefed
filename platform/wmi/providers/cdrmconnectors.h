#pragma once

#include <QList>
#include <QString>

class CWmiProvider;

// The display outputs that /sys/class/drm lists (card<N>-<connector>), in card order, then by
// connector name.
class CDrmConnectors
{
public:
    struct Connector
    {
        QString name; // e.g. "card0-HDMI-A-1"
        int card = -1;
        QString machineDir; // "/sys/class/drm/card0-HDMI-A-1"
        bool connected = false;
    };

    static QList<Connector> list(const CWmiProvider &provider);
    // Numbers of the display cards (card<N> without a connector), ascending.
    static QList<int> cards(const CWmiProvider &provider);
    // Kernel driver bound to the card's device, empty when none.
    static QString cardDriver(const CWmiProvider &provider, int card);
    // PCI address the card's device link points at ("0000:00:02.0"), empty when it has none.
    static QString cardPciAddress(const CWmiProvider &provider, int card);
    // First line of the output's mode list, the preferred mode, as width and height; false when
    // the output lists no mode.
    static bool firstMode(const CWmiProvider &provider, const Connector &connector, int *width, int *height);
};
