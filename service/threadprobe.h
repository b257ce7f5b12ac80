#pragma once

// Finds out whether the system lets the process start as many threads as it is asked for, before the service needs
// them: a limit of processes, of memory for their stacks or of the system's threads that the workers would meet as
// they start is met here instead, where it can be told to the operator.
class ThreadProbe
{
public:
    // How many of `wanted` threads start at once, up to the first the system refuses. They end as soon as they are
    // counted and take nothing from the heap, so that none leaves the allocator an arena of its own.
    static int startable(int wanted);
};
