#pragma once

#include <QDomDocument>
#include <QFile>
#include <QFont>
#include <QMap>
#include <QString>

// The report window's page set-up in setting.xml in the current working directory: margins, paper
// size, orientation and font as the children of its "pageset" element.
//
// Built on the stack for one task: init, then one getPageSet or one setPageSet, then destroyed.
// A save is a locked re-read, change and atomic replace; a file that is not empty and does not
// parse, or that is write-protected, is never written.
class CSetting
{
public:
    CSetting();
    ~CSetting();

    CSetting(const CSetting &) = delete;
    CSetting &operator=(const CSetting &) = delete;

    // 1 when the file was opened (read-write, or read-only when it is write-protected) and parsed;
    // else 0. A missing file is created empty.
    int init();
    // Every child element of "pageset" as tag -> text; a later element of the same tag wins.
    int getPageSet(QMap<QString, QString> &settings);
    // Replaces (or appends) one element per key at the end of "pageset" and rewrites the file, each
    // value without the characters XML cannot hold:
    // 0, or -1 when the file was left as it was (no root, did not parse, write-protected, lock or
    // write failed).
    int setPageSet(const QMap<QString, QString> &settings);

    // The path the store reads: "<current directory>/setting.xml".
    static QString path();

    // Numeric values: a base-10 integer, anything else (empty, "12px", "10.5") reads 0.
    static int number(const QString &value);
    // The "font" value "<family>,<point size>,...": the family with that size and default weight,
    // no italics. A size written with a fraction ("10.5", as newer toolkits write it) is rounded.
    // A missing value, one without ",", an empty family or a size that is no positive number gives
    // current unchanged.
    static QFont font(const QString &value, const QFont &current);

private:
    QDomDocument m_document;
    QFile m_file;
};
