#pragma once

// The store and the agent keep their files beside the running program. A fuzz program therefore
// runs from a copy (or hard link) of itself in a scratch directory of its own process; the first
// process waits for that copy, then removes the directory and exits with its status.
class CFuzzHome
{
public:
    // Returns in the relocated process; never returns in the starting one.
    static void enter(char **argv);
};
