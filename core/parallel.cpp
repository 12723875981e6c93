#include "core/parallel.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace {

struct Job {
    const std::function<void(long, long)>* work = nullptr;
    long y0 = 0, bands = 0, band_rows = 1, y1 = 0;
    std::atomic<long> next{0};
    std::atomic<long> rows_done{0};
    std::atomic<bool> stop{false};
    std::atomic<int> busy{0};  // pool threads inside this job
};

// Runs bands of the job until none are left or it is stopped.
void run_bands(Job& job)
{
    for (;;) {
        if (job.stop.load(std::memory_order_relaxed))
            return;
        const long b = job.next.fetch_add(1);
        if (b >= job.bands)
            return;
        const long first = job.y0 + b * job.band_rows;
        const long last = std::min(job.y1, first + job.band_rows - 1);
        (*job.work)(first, last);
        job.rows_done.fetch_add(last - first + 1);
    }
}

class Pool {
public:
    ~Pool()
    {
        {
            std::lock_guard<std::mutex> g(lock_);
            quit_ = true;
        }
        wake_.notify_all();
        for (std::thread& t : threads_)
            t.join();
    }

    // Grows to `count` threads (never shrinks while the program runs).
    void ensure(int count)
    {
        std::lock_guard<std::mutex> g(lock_);
        while (static_cast<int>(threads_.size()) < count)
            threads_.emplace_back([this] { loop(); });
    }

    void start(Job* job, int helpers)
    {
        {
            std::lock_guard<std::mutex> g(lock_);
            job_ = job;
            wanted_ = helpers;
            ++generation_;
        }
        wake_.notify_all();
    }

    // Waits until no pool thread is inside the job any more, calling
    // tick() every few milliseconds meanwhile (the meter keeps moving and a
    // cancel is heard); a true answer stops the job.
    bool finish(Job* job, const std::function<bool()>& tick)
    {
        std::unique_lock<std::mutex> g(lock_);
        job_ = nullptr;
        bool stopped = false;
        while (!done_.wait_for(g, std::chrono::milliseconds(15), [job] { return job->busy.load() == 0; })) {
            if (tick && !stopped) {
                g.unlock();
                if (tick()) {
                    stopped = true;
                    job->stop = true;
                }
                g.lock();
            }
        }
        return stopped;
    }

private:
    void loop()
    {
        unsigned long seen = 0;
        std::unique_lock<std::mutex> g(lock_);
        for (;;) {
            wake_.wait(g, [&] { return quit_ || (job_ && generation_ != seen && wanted_ > 0); });
            if (quit_)
                return;
            seen = generation_;
            --wanted_;
            Job* job = job_;
            job->busy.fetch_add(1);
            g.unlock();
            run_bands(*job);
            g.lock();
            if (job->busy.fetch_sub(1) == 1)
                done_.notify_all();
        }
    }

    std::mutex lock_;
    std::condition_variable wake_, done_;
    std::vector<std::thread> threads_;
    Job* job_ = nullptr;
    int wanted_ = 0;
    unsigned long generation_ = 0;
    bool quit_ = false;
};

int g_threads = 0;  // 0: one per core

Pool& pool()
{
    static Pool p;
    return p;
}

} // namespace

int parallel_threads()
{
    int n = g_threads;
    if (n <= 0)
        n = static_cast<int>(std::thread::hardware_concurrency());
    return std::clamp(n, 1, 64);
}

void parallel_set_threads(int count)
{
    g_threads = std::max(0, count);
}

bool parallel_rows(long y0, long y1, const std::function<void(long, long)>& work,
                   const std::function<bool(long)>& progress)
{
    if (y1 < y0)
        return true;
    const long rows = y1 - y0 + 1;
    const int threads = static_cast<int>(std::min<long>(parallel_threads(), rows));
    // Bands small enough that the meter moves and the threads share the
    // work evenly, large enough that handing them out costs nothing.
    const long band_rows = threads == 1 ? 1 : std::max(1L, std::min(32L, rows / (threads * 8)));
    Job job;
    job.work = &work;
    job.y0 = y0;
    job.y1 = y1;
    job.band_rows = band_rows;
    job.bands = (rows + band_rows - 1) / band_rows;
    // A cancel already pending starts nothing.
    if (progress && progress(0))
        return false;
    if (threads > 1) {
        pool().ensure(threads - 1);
        pool().start(&job, threads - 1);
    }
    bool stopped = false;
    for (;;) {
        if (progress && progress(job.rows_done.load())) {
            stopped = true;
            job.stop = true;
            break;
        }
        const long b = job.next.fetch_add(1);
        if (b >= job.bands)
            break;
        const long first = y0 + b * band_rows;
        const long last = std::min(y1, first + band_rows - 1);
        work(first, last);
        job.rows_done.fetch_add(last - first + 1);
    }
    if (threads > 1) {
        auto tick = [&]() { return progress && progress(job.rows_done.load()); };
        if (pool().finish(&job, stopped ? std::function<bool()>() : std::function<bool()>(tick)))
            stopped = true;
    }
    return !stopped;
}
