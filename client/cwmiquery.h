#pragma once

#include <QString>
#include <QStringList>

// The client's road to WMI: one inventory class key in, the class's inventory rows out. Each call
// builds its own class table and automation object (Inquix's Device, "Inquix.Device.1"), runs the
// class's WQL text through the Device's query method and cuts the answer into rows at "^", keeping
// empty parts, after blanking every ":" and "|" (they separate fields on the wire).
//
//   rows = CWmiQuery().query("CPU");   // no object found or no Device: one empty row
//                                      // an exception: "query exception" logged, no rows
//
// Every row is passed through the filter of the store's rows (characters XML cannot hold dropped),
// so what the agent stores, compares and sends is the same text.
class CWmiQuery
{
public:
    QStringList query(const QString &classKey);
    // The same, telling whether the query could be made at all: false when no Device object can be
    // bound, when it answers with one of its error texts ("CoCreateInstance error", "ConnectServer
    // error") or when the call throws. The rows are then empty, not the inventory of the class, and
    // one log line names the class. A class that has no object gives made and one empty row.
    QStringList query(const QString &classKey, bool *made);
    // The answer text unsplit and unchanged, bound by the IDevice interface identifier; unused.
    QString queryRaw(const QString &classKey);
};
