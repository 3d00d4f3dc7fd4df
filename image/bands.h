// Work shared by the two cores in disjoint bands of rows or columns.
#pragma once

// The most threads a banded loop uses: 2 where the machine has two cores.
// Benchmarks set 1 to compare with single-threaded libraries.
extern int bandThreads;

// A band body by reference: calling inBands allocates nothing.
class BandBody {
  public:
    template <class F>
    BandBody(const F& f)  // NOLINT: lambdas convert where they are passed
        : object_(&f), call_([](const void* o, int first, int last) {
              (*static_cast<const F*>(o))(first, last);
          }) {}
    void operator()(int first, int last) const { call_(object_, first, last); }

  private:
    const void* object_;
    void (*call_)(const void*, int, int);
};

// Calls body(first, last) on parts of from..to that cover it once, shared
// between the caller and a helper thread when `work` (pixels) pays for it.
// The parts must not depend on each other, nor on their order. Called from
// inside a part, it runs that call's parts itself, in order. When a part
// throws, no further part starts, and the first exception reaches the
// caller once the parts under way have ended.
void inBands(int from, int to, double work, BandBody body);
