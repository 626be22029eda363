#include "scene/BackgroundTask.h"

#include <system_error>
#include <utility>

BackgroundTask::~BackgroundTask() {
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    changed.notify_all();
    if (worker.joinable()) worker.join();
}

void BackgroundTask::Start(std::function<void()> job) {
    Wait();
    if (!worker.joinable()) {
        try {
            worker = std::thread([this] { Run(); });
        } catch (const std::system_error&) {
            job();
            return;
        }
    }
    {
        std::lock_guard<std::mutex> lock(mutex);
        pending = std::move(job);
        busy = true;
    }
    changed.notify_all();
}

void BackgroundTask::Wait() {
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [this] { return !busy; });
}

void BackgroundTask::Run() {
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        changed.wait(lock, [this] { return stopping || pending; });
        if (!pending) return;   // stopping with nothing left to do
        std::function<void()> job = std::move(pending);
        pending = nullptr;
        lock.unlock();
        job();
        lock.lock();
        busy = false;
        changed.notify_all();
    }
}
