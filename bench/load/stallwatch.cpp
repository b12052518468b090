#include "bench/load/stallwatch.h"

#include <pthread.h>
#include <sched.h>
#include <time.h>

#include <algorithm>
#include <condition_variable>

namespace {
// Not a divisor of the program's timer periods: wake-ups that always came with the program's
// own would always hand it a cold cache.
constexpr qint64 PERIOD_NS = 2'300'000;
// A real-time thread on an otherwise idle core wakes within some tens of microseconds.
constexpr qint64 LATE_NS = 500'000;
constexpr size_t MAX_STALLS = 100'000;

qint64 nsOf(const timespec &ts)
{
    return qint64(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}
} // namespace

qint64 StallWatch::monotonicNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return nsOf(now);
}

StallWatch::StallWatch()
{
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    if (sched_getaffinity(0, sizeof(allowed), &allowed) != 0) {
        m_failure = "the cores this process may use are unknown";
        return;
    }
    // Each thread reports whether it got its core and its priority before the next starts.
    std::mutex startMutex;
    std::condition_variable started;
    for (int cpu = 0; cpu < CPU_SETSIZE && !m_failure; ++cpu) {
        if (!CPU_ISSET(cpu, &allowed))
            continue;
        int state = 0;
        m_threads.emplace_back([this, cpu, &startMutex, &started, &state] {
            cpu_set_t one;
            CPU_ZERO(&one);
            CPU_SET(cpu, &one);
            sched_param param{};
            param.sched_priority = sched_get_priority_max(SCHED_FIFO);
            const bool ok = pthread_setaffinity_np(pthread_self(), sizeof(one), &one) == 0 &&
                            pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0;
            {
                // Told under the lock: the constructor's locals must outlive the telling.
                std::lock_guard<std::mutex> lock(startMutex);
                state = ok ? 1 : -1;
                started.notify_one();
            }
            if (ok)
                watch(cpu);
        });
        std::unique_lock<std::mutex> lock(startMutex);
        started.wait(lock, [&state] { return state != 0; });
        if (state < 0)
            m_failure = "real-time priority was refused (run as root, or with CAP_SYS_NICE)";
    }
    if (m_failure) {
        m_stop = true;
        for (std::thread &thread : m_threads)
            thread.join();
        m_threads.clear();
    }
}

StallWatch::~StallWatch()
{
    m_stop = true;
    for (std::thread &thread : m_threads)
        thread.join();
}

void StallWatch::watch(int cpu)
{
    timespec next{};
    clock_gettime(CLOCK_MONOTONIC, &next);
    while (!m_stop) {
        const qint64 due = nsOf(next) + PERIOD_NS;
        next.tv_sec = due / 1'000'000'000;
        next.tv_nsec = due % 1'000'000'000;
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
        const qint64 now = monotonicNs();
        if (now - due > LATE_NS) {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_stalls.size() < MAX_STALLS)
                m_stalls.push_back({cpu, due, now});
            // After a stall the next wake-up is a period from now, not a burst of missed ones.
            next.tv_sec = now / 1'000'000'000;
            next.tv_nsec = now % 1'000'000'000;
        }
    }
}

qint64 StallWatch::stalledNs(int cpu, qint64 fromNs, qint64 toNs) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    qint64 total = 0;
    for (const Stall &stall : m_stalls) {
        if (stall.cpu == cpu)
            total +=
                std::max<qint64>(0, std::min(toNs, stall.toNs) - std::max(fromNs, stall.fromNs));
    }
    return total;
}

int StallWatch::stallCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return int(m_stalls.size());
}

qint64 StallWatch::longestStallNs() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    qint64 longest = 0;
    for (const Stall &stall : m_stalls)
        longest = std::max(longest, stall.toNs - stall.fromNs);
    return longest;
}

qint64 StallWatch::ownCpuNs() const
{
    qint64 total = 0;
    for (const std::thread &thread : m_threads) {
        clockid_t clock;
        timespec ts{};
        if (pthread_getcpuclockid(const_cast<std::thread &>(thread).native_handle(), &clock) == 0 &&
            clock_gettime(clock, &ts) == 0)
            total += nsOf(ts);
    }
    return total;
}
