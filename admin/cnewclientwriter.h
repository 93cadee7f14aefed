#pragma once

#include "cset.h"

#include <QString>

// Lists the new clients that a scan's probes find and fills their inventory files. A probe hands its
// client over once its connection is closed and waits: the clients handed over meanwhile are listed
// in one locked write of list.xml (a list write per answering agent would rewrite a list of thousands
// of clients each time), and the files are filled Workers at a time. Both happen in a few threads
// that live as long as the program, so the memory of parsed lists and fills comes from a few heaps
// that are reused instead of one heap per probe thread.
//
// Looking up and listing happen under one in-process lock, so an agent answering two probes at once
// is listed once and none is lost; each file's fill holds that file's lock. When no worker thread can
// be started (the system has no thread to give), the probes that wait do the work themselves.
class CNewClientWriter
{
public:
    // Fills at once at most: each reads a whole answer of up to 16 MiB.
    static constexpr int Workers = 2;

    enum Result {
        ListMissing, // list.xml could not be opened or does not parse: nothing listed
        WriteFailed, // list.xml could not be changed: nothing listed
        Known, // listed already (or handed over twice: listed for the first only); a missing or empty
               // inventory file is filled
        Added, // listed now, with its inventory file
        AddedWithoutFile // listed now, but its inventory file could not be opened
    };

    // Blocks until the client is listed and its file filled from answer, the identity answer, which
    // must stay valid until then (it is read in another thread, never copied).
    static Result record(const CSet::NewPC &client, const QString &answer);

    CNewClientWriter() = delete;
};
