#include "image/bands.h"

#include <unistd.h>

#include <algorithm>
#include <condition_variable>
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

// The caller and one helper thread share the parts of a job. The helper
// sleeps between jobs instead of spinning, so a busy machine loses nothing:
// whatever parts it does not get to, the caller does itself.
class BothCores {
public:
    // f(i) for i from 0 to count - 1, in any order, on both cores.
    void share(int count, const std::function<void(int)>& f) {
        // A forked child has no helper, and a lock the helper held at the
        // fork stays held there: the child works alone.
        if (getpid() != owner_ || !startHelper()) {
            for (int i = 0; i < count; ++i) f(i);
            return;
        }
        {
            std::lock_guard<std::mutex> lock(m_);
            job_ = &f;
            next_ = 0;
            count_ = count;
            ++generation_;
        }
        wake_.notify_one();
        std::unique_lock<std::mutex> lock(m_);
        while (next_ < count_) {
            const int i = next_++;
            lock.unlock();
            f(i);
            lock.lock();
        }
        // The job ends when the helper has left its last part.
        idle_.wait(lock, [this] { return !helping_; });
        count_ = 0;
        job_ = nullptr;
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

    void help() {
        std::unique_lock<std::mutex> lock(m_);
        unsigned seen = 0;
        for (;;) {
            wake_.wait(lock, [&] { return generation_ != seen; });
            seen = generation_;
            while (next_ < count_) {
                const int i = next_++;
                const std::function<void(int)>* job = job_;
                helping_ = true;
                lock.unlock();
                (*job)(i);
                lock.lock();
                helping_ = false;
                idle_.notify_one();
            }
        }
    }

    const pid_t owner_ = getpid();
    std::mutex m_;
    std::condition_variable wake_, idle_;
    bool started_ = false;
    const std::function<void(int)>* job_ = nullptr;
    int next_ = 0, count_ = 0;
    unsigned generation_ = 0;
    bool helping_ = false;
};

// Never destroyed: the helper sleeps on through the program's exit, which
// neither waits for it nor tears down what it waits on.
BothCores& bothCores() {
    static BothCores* cores = new BothCores;
    return *cores;
}

}  // namespace

void inBands(int from, int to, double work, const std::function<void(int, int)>& body) {
    if (from > to) return;
    const long long count = static_cast<long long>(to) - from + 1;
    if (bandThreads < 2 || count == 1 || work < 2 * kWorkPerThread) {
        body(from, to);
        return;
    }
    const int parts = static_cast<int>(std::min<long long>(count, kPartsPerThread * bandThreads));
    const long long size = (count + parts - 1) / parts;
    bothCores().share(parts, [&](int i) {
        const long long first = from + i * size, last = std::min<long long>(to, first + size - 1);
        if (first <= to) body(static_cast<int>(first), static_cast<int>(last));
    });
}
