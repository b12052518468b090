#pragma once

#include <QtGlobal>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

// Sees the time a core of this virtual machine did not run at all. The host takes a virtual
// core away now and then for milliseconds; with no steal time reported, the guest bills that
// time as CPU time to whichever thread was running, so a step of 3 ms can read as 25 ms.
//
// One thread per core, pinned to it at real-time priority, wakes every 2.3 ms; a wake-up
// that comes late shows the core stood still. Nothing in the guest can hold such a thread back,
// so what it sees late is the host's. Without the right to real-time priority the watch does
// not run and nothing is taken out.
class StallWatch
{
public:
    StallWatch();
    ~StallWatch();
    StallWatch(const StallWatch &) = delete;
    StallWatch &operator=(const StallWatch &) = delete;

    bool isRunning() const { return !m_threads.empty(); }
    // Why the watch does not run, when it does not.
    const char *failure() const { return m_failure; }

    // Time the core stood still between two CLOCK_MONOTONIC instants, in nanoseconds.
    qint64 stalledNs(int cpu, qint64 fromNs, qint64 toNs) const;
    // Stalls seen so far, and the longest.
    int stallCount() const;
    qint64 longestStallNs() const;
    // CPU time the watch's own threads used, to be left out of the program's; read while
    // the watch runs.
    qint64 ownCpuNs() const;

    static qint64 monotonicNs();

private:
    struct Stall
    {
        int cpu;
        qint64 fromNs;
        qint64 toNs;
    };
    void watch(int cpu);

    std::vector<std::thread> m_threads;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    std::vector<Stall> m_stalls;
    const char *m_failure = nullptr;
};
