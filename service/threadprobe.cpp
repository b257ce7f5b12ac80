#include "threadprobe.h"

#include <condition_variable>
#include <mutex>
#include <pthread.h>
#include <vector>

namespace {
// Holds the threads started until they all are.
struct Gate
{
    std::mutex mutex;
    std::condition_variable opened;
    bool open = false;
};

void* waitAtGate(void* gate)
{
    auto& held = *static_cast<Gate*>(gate);
    std::unique_lock<std::mutex> lock(held.mutex);
    held.opened.wait(lock, [&held] { return held.open; });
    return nullptr;
}
} // namespace

int ThreadProbe::startable(int wanted)
{
    Gate gate;
    std::vector<pthread_t> started(static_cast<std::size_t>(wanted));
    int count = 0;
    while (count < wanted && pthread_create(&started[std::size_t(count)], nullptr, waitAtGate, &gate) == 0)
        ++count;
    {
        const std::lock_guard<std::mutex> lock(gate.mutex);
        gate.open = true;
    }
    gate.opened.notify_all();
    for (int i = 0; i < count; ++i)
        pthread_join(started[std::size_t(i)], nullptr);
    return count;
}
