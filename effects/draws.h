// rand()'s one sequence drawn in bulk: the C library's additive feedback
// generator run here on its own table, without rand()'s lock on every call,
// for the effects that draw millions of numbers. The numbers come in rand()'s
// order, and rand() goes on afterwards where they left off.
#pragma once

#include "image/bands.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

// The generator as plain values: the same numbers in the same order as
// calling rand() each time, held in registers when copied into a local.
struct randDraws {
    int32_t* table = nullptr;  // null: each draw is a call of rand()
    int degree = 0, front = 0, rear = 0;

    int next() {
        if (!table) return std::rand();
        const uint32_t value = static_cast<uint32_t>(table[front]) + static_cast<uint32_t>(table[rear]);
        table[front] = static_cast<int32_t>(value);
        if (++front == degree) front = 0;
        if (++rear == degree) rear = 0;
        return static_cast<int>(value >> 1);
    }
};

// Takes over the sequence for its life: draw from a copy of draws() and
// hand it back with resume(); nothing may call rand() meanwhile, and one run
// at a time. Afterwards rand() goes on where the draws left off.
class randRun {
public:
    randRun();
    ~randRun();
    randDraws draws() const { return draws_; }
    void resume(const randDraws& d) { draws_ = d; }
    randRun(const randRun&) = delete;
    randRun& operator=(const randRun&) = delete;

private:
    int32_t* header_ = nullptr;  // the library's table, a word before its state
    int type_ = 0;
    randDraws draws_;
};

// Appends n words to the `degree` words before w: w[i] = w[i - degree] +
// w[i - tap].
void randExtend(uint32_t* w, size_t n, int degree, int tap);

// The `degree` words before w[s] into `out`, from the ones before w[0]
// alone, without making those between.
void randJump(const uint32_t* before, size_t s, int degree, int tap, uint32_t* out);

// The draws read ahead, as the generator's 32-bit words (a draw is its word
// shifted right by one), made many at once: each word is the sum of the ones
// `degree` and the tap distance before it. Draw k is the k-th after where
// `from` stood. Needs a table (from.table not null).
class randAhead {
public:
    explicit randAhead(const randDraws& from);
    // The words of draws k .. k + n - 1, valid until the next call; k never
    // goes back before an earlier call's k. Many are made on both cores, in
    // two halves cut at a multiple of `grain`, a block at a time; each block
    // is handed to visit(words, first, count) (counted from k) on the core
    // that made it, while it is in that core's cache, the words made before
    // included.
    template <class Visit>
    const uint32_t* words(size_t k, size_t n, size_t grain, const Visit& visit);
    const uint32_t* words(size_t k, size_t n) {
        return words(k, n, 1, [](const uint32_t*, size_t, size_t) {});
    }
    // `to` left as exactly k draws would leave it, k at least the last
    // call's k and no further than the words made.
    void leave(size_t k, randDraws& to) const;

private:
    static const size_t kShared = size_t{1} << 16;  // fewer words are made on one core
    static const size_t kBlock = size_t{1} << 13;

    uint32_t* room(size_t k, size_t n);
    void makeBlock(uint32_t* w, size_t from, size_t to, size_t made, bool partStart) const;

    std::unique_ptr<uint32_t[]> words_;  // draws base_ - degree .. made_ - 1
    size_t capacity_ = 0, base_ = 0, made_ = 0;
    int degree_, tap_, front_;
};

template <class Visit>
const uint32_t* randAhead::words(size_t k, size_t n, size_t grain, const Visit& visit) {
    uint32_t* w = room(k, n);
    const size_t made = std::min(made_ - k, n);  // words from here on are new
    made_ = std::max(made_, k + n);
    const size_t half = n < kShared ? n : n / 2 / grain * grain;
    inBands(0, half < n ? 1 : 0, static_cast<double>(n), [&](int first, int last) {
        for (int part = first; part <= last; ++part) {
            const size_t from = part == 0 ? 0 : half, to = part == 0 ? half : n;
            for (size_t b = from; b < to; b += kBlock) {
                const size_t e = std::min(b + kBlock, to);
                makeBlock(w, b, e, made, b == from);
                visit(static_cast<const uint32_t*>(w), b, e - b);
            }
        }
    });
    return w;
}

// The draws one after another, read ahead a block at a time: cheaper than
// randDraws where every draw is taken. leave() hands the sequence back.
class randStream {
public:
    explicit randStream(const randDraws& from) : ahead_(from) {}
    int next() {
        if (at_ == end_) refill();
        return static_cast<int>(words_[at_++] >> 1);
    }
    void leave(randDraws& to) const { ahead_.leave(base_ + at_, to); }

private:
    static const size_t kBlock = 4096;
    void refill() {
        base_ += at_;
        words_ = ahead_.words(base_, kBlock);
        at_ = 0;
        end_ = kBlock;
    }

    randAhead ahead_;
    const uint32_t* words_ = nullptr;
    size_t base_ = 0, at_ = 0, end_ = 0;
};
