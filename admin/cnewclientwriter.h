#pragma once

#include "cset.h"

#include <QString>

// Lists the new clients that a scan's probes find, in batches: each probe hands its client over and
// waits while one writer thread lists every client handed over meanwhile in one locked write of
// list.xml and then gives each new one its inventory file. One list write per answering agent
// costs a whole rewrite of a list of thousands of clients; and every probe thread that parsed the
// list kept a heap of its own the size of it.
//
// The writer looks up, lists and fills the files under one in-process lock, so an agent answering
// two probes at once is listed once and none is lost.
class CNewClientWriter
{
public:
    enum Result {
        ListMissing, // list.xml could not be opened or does not parse: nothing listed
        WriteFailed, // list.xml could not be changed: nothing listed
        Known, // listed already (or handed over twice: listed for the first only); a missing or empty
               // inventory file is filled
        Added, // listed now, with its inventory file
        AddedWithoutFile // listed now, but its inventory file could not be opened
    };

    // Blocks until the client's batch is written; answer is the identity answer the file is filled from.
    static Result record(const CSet::NewPC &client, const QString &answer);

    CNewClientWriter() = delete;
};
