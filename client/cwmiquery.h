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
class CWmiQuery
{
public:
    QStringList query(const QString &classKey);
    // The answer text unsplit and unchanged, bound by the IDevice interface identifier; unused.
    QString queryRaw(const QString &classKey);
};
