#include "image/bands.h"

#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>

int bandThreads = std::min(2u, std::max(1u, std::thread::hardware_concurrency()));

namespace {

// Below this a thread costs more than it saves.
const double kWorkPerThread = 1 << 15;
// Parts per thread: small enough that a core slowed by other work hands the
// rest to the other one.
const int kPartsPerThread = 8;

// Set on a thread while it runs a part of a shared job: a banded call from
// there runs alone, as the other core may be waiting for this one.
thread_local bool inPart = false;

// One call's parts: part i covers from + i * size .. its end, within to.
struct Job {
    BandBody body;
    long long from, to, size;

    void run(int i) const {
        const long long first = from + i * size, last = std::min<long long>(to, first + size - 1);
        if (first > to) return;
        inPart = true;
        struct Leave {
            ~Leave() { inPart = false; }
        } leave;
        body(static_cast<int>(first), static_cast<int>(last));
    }
};

// The caller and one helper thread share the parts of a job. The helper
// sleeps between jobs instead of spinning, so a busy machine loses nothing:
// whatever parts it does not get to, the caller does itself.
class BothCores {
public:
    // Every part of the job, in any order, on both cores.
    void share(int count, const Job& job) {
        // A forked child has no helper, and a lock the helper held at the
        // fork stays held there: the child works alone.
        if (getpid() != owner_ || !startHelper()) {
            for (int i = 0; i < count; ++i) job.run(i);
            return;
        }
        {
            std::lock_guard<std::mutex> lock(m_);
            job_ = &job;
            next_ = 0;
            count_ = count;
            failure_ = nullptr;
            ++generation_;
        }
        wake_.notify_one();
        std::unique_lock<std::mutex> lock(m_);
        while (next_ < count_) runPart(lock);
        // The job ends when the helper has left its last part.
        idle_.wait(lock, [this] { return !helping_; });
        count_ = 0;
        job_ = nullptr;
        std::exception_ptr failure = failure_;
        failure_ = nullptr;
        lock.unlock();
        if (failure) std::rethrow_exception(failure);
    }

private:
    bool startHelper() {
        std::lock_guard<std::mutex> lock(m_);
        if (!started_) {
            try {
                std::thread([this] { help(); }).detach();
            } catch (const std::system_error&) {
                return false;  // no thread to be had: work alone, try again next time
            }
            started_ = true;
        }
        return true;
    }

    // Takes the next part and runs it unlocked. A part that throws ends the
    // job: the rest are not started, and the first exception is kept.
    void runPart(std::unique_lock<std::mutex>& lock) {
        const int i = next_++;
        const Job* job = job_;
        lock.unlock();
        std::exception_ptr error;
        try {
            job->run(i);
        } catch (...) {
            error = std::current_exception();
        }
        lock.lock();
        if (error) {
            if (!failure_) failure_ = error;
            next_ = count_;
        }
    }

    void help() {
        std::unique_lock<std::mutex> lock(m_);
        unsigned seen = 0;
        for (;;) {
            wake_.wait(lock, [&] { return generation_ != seen; });
            seen = generation_;
            while (next_ < count_) {
                helping_ = true;
                runPart(lock);
                helping_ = false;
                idle_.notify_one();
            }
        }
    }

    const pid_t owner_ = getpid();
    std::mutex m_;
    std::condition_variable wake_, idle_;
    bool started_ = false;
    const Job* job_ = nullptr;
    int next_ = 0, count_ = 0;
    unsigned generation_ = 0;
    bool helping_ = false;
    std::exception_ptr failure_;
};

// Never destroyed: the helper sleeps on through the program's exit, which
// neither waits for it nor tears down what it waits on.
BothCores& bothCores() {
    static BothCores* cores = new BothCores;
    return *cores;
}

}  // namespace

void inBands(int from, int to, double work, BandBody body) {
    if (from > to) return;
    const long long count = static_cast<long long>(to) - from + 1;
    if (inPart || bandThreads < 2 || count == 1 || work < 2 * kWorkPerThread) {
        body(from, to);
        return;
    }
    const int parts = static_cast<int>(std::min<long long>(count, kPartsPerThread * bandThreads));
    const long long size = (count + parts - 1) / parts;
    bothCores().share(parts, Job{body, from, to, size});
}
