// BackgroundTask: one worker thread that runs one job at a time beside the caller. Start hands
// it a job; Wait returns once that job has finished. The caller keeps its data apart from the
// job's between the two. The thread starts with the first job and ends with the object.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

class BackgroundTask {
public:
    BackgroundTask() = default;
    BackgroundTask(const BackgroundTask&) = delete;
    BackgroundTask& operator=(const BackgroundTask&) = delete;
    ~BackgroundTask();

    // Runs job on the worker. A job still running is waited for first. Where no thread can be
    // made, the job runs here and now, so that Start always leaves it done or under way.
    void Start(std::function<void()> job);
    // Returns once the last job started has finished; at once when there is none.
    void Wait();

private:
    void Run();

    std::mutex mutex;
    std::condition_variable changed;
    std::function<void()> pending;   // the job handed over, until the worker takes it
    bool busy = false;               // a job handed over and not yet finished
    bool stopping = false;
    std::thread worker;
};
