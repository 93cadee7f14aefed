#pragma once

#include <QObject>

#include <map>
#include <string>

// The inventory class table: the thirteen class keys of the system, each with the WQL text that
// reads it. Keys and texts are 8-bit ASCII; the map orders keys byte by byte, so every walk over it
// yields BIOS, BaseBoard, CDROMDrive, CPU, ... VideoController, the order the whole system relies on.
//
//   CGlobal table;
//   table.init();
//   for (const auto &entry : table.m_classMap) ...
//
// Users make one for an operation and drop it afterwards; a subscript lookup of a key that is not in
// the table adds that key (with an empty text) to this object's map only.
class CGlobal : public QObject
{
    Q_OBJECT

public:
    CGlobal();
    explicit CGlobal(QObject *parent);
    ~CGlobal() override;

    // Inserts the thirteen entries; an entry already present is kept. Returns 0.
    int init();

    std::map<std::string, std::string> m_classMap;
};
