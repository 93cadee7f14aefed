#pragma once

#include <QString>

// One store save on a file system that is full, run by faults_diskhelper from a small memory file
// system of its own (the store's files sit beside the program). Fills the file system, runs the
// save, and prints one line "RESULT <name>=<value> ..." for the test: what the operation returned,
// whether the file kept its bytes and still parses, which files were left beside it, and whether the
// same save succeeds once space is freed.
class CDiskFullCase
{
public:
    // operation: notice, template, addpc, updatelog, uplist; room: "none" or "page" (one free page).
    static int run(const QString &operation, const QString &room);
};
