#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

class CDigestCache;

// The digest summary of client inventory files, read as a stream: the same map as
// CPcConfig::getDigests after CPcConfig::open (per class element of the root, its tag gets the digest
// of every "content" element below it, each followed by "\n"; "lastupdate" gets the root's
// attribute), without building the document tree or keeping the rows' texts, so that thousands of
// clients can be searched in seconds. A file the scanner does not take (nothing the store writes) is
// read by the store's document reader, so the search takes exactly the files the store takes.
class CDigestReader
{
public:
    // One client. A missing file is created empty, as the store's open does; a file that cannot be
    // read or does not parse, and a UUID that cannot name a file of the application directory, give
    // only "lastupdate" with the empty text.
    static QMap<QString, QString> read(const QString &uuid, CDigestCache *cache = nullptr);
    // Many clients at once, files read in parallel; the result is in the order of uuids. uuids is the
    // whole client list: the cache keeps only their files.
    static QList<QMap<QString, QString>> readAll(const QStringList &uuids, CDigestCache *cache = nullptr);

    static QMap<QString, QString> parse(const QByteArray &raw);
};
