#pragma once

#include <QStringList>

// Runs a test program from a copy of itself in a fresh temporary directory, so that everything the
// code under test keeps next to its own program file (set.xml) is private to this run.
//
//   int main(int argc, char **argv) {
//       CRelocatedRun::relocate(argc, argv, {"libadvapi32.so"});   // returns only in the copy
//       ...
//   }
class CRelocatedRun
{
public:
    // In the original: copies the program and executes the copy (never returns, unless the copy
    // fails, in which case it exits with an error). In the copy: arranges for the directory to be
    // removed at exit and returns.
    // The staged files named in companions are copied beside the program (libraries the code under
    // test loads from its own directory).
    static void relocate(int argc, char **argv, const QStringList &companions = QStringList());
};
