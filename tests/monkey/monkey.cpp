// Random events for the whole program, in-process through the recording
// platform, meant for the sanitizer build: every key byte and special key,
// presses, releases and motion of all three buttons at positions inside,
// outside, huge, negative and NaN, zooming, window resizes, the menu, effect
// shortcuts. Each picture runs in a child process; an exit key (Escape, the
// menu's close button) ends it, and the next child starts the shell afresh
// with the events that follow. A child that dies, reports a sanitizer error
// or leaks is a fault: its events are shrunk to a short list that still
// fails, printed and written to a file that --replay runs again.
//
//   monkey [--events N] [--rounds R] [--seed S] [--picture NAME] [--out FILE]
//   monkey --replay FILE
#include "framewk/framewk.h"
#include "image/imagergba.h"
#include "image/tiff.h"
#include "morvane.h"
#include "tests/unit/fake_platform.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Picture {
    const char* name;
    int width, height;
    bool transparent;
};
const Picture kPictures[] = {{"1x1", 1, 1, false},     {"2x2", 2, 2, false},
                             {"1x100", 1, 100, false}, {"100x1", 100, 1, false},
                             {"3x7", 3, 7, false},     {"257x129", 257, 129, false},
                             {"alpha", 45, 33, true}};

// kind: k key, s special key, m mouse button (a button, b state), v motion,
// p passive motion, i idle tick, d redraw, r window resize (a by b).
// Upper-case k, s, m, v go straight to the shell with image coordinates,
// which may be anything a float holds; lower-case ones come through the
// framework with window coordinates.
struct Event {
    char kind;
    int a, b;
    float x, y;
};

std::string format(const Event& e) {
    char line[96];
    std::snprintf(line, sizeof line, "%c %d %d %.9g %.9g", e.kind, e.a, e.b, e.x, e.y);
    return line;
}

bool parse(const std::string& line, Event* e) {
    std::istringstream in(line);
    std::string x, y;
    if (!(in >> e->kind >> e->a >> e->b >> x >> y)) return false;
    e->x = std::strtof(x.c_str(), nullptr);  // reads nan and inf too
    e->y = std::strtof(y.c_str(), nullptr);
    return true;
}

int clampInt(float v) {
    if (std::isnan(v)) return 0;
    if (v >= static_cast<float>(INT_MAX)) return INT_MAX;
    if (v <= static_cast<float>(INT_MIN)) return INT_MIN;
    return static_cast<int>(v);
}

void play(const Event& e) {
    const int wx = clampInt(e.x), wy = clampInt(e.y);
    switch (e.kind) {
        case 'k': fwkKeyboardCB(static_cast<unsigned char>(e.a), wx, wy); break;
        case 'K': keyboardCB(static_cast<unsigned char>(e.a), e.x, e.y); break;
        case 's': fwkSpecialCB(e.a, wx, wy); break;
        case 'S': specialCB(e.a, e.x, e.y); break;
        case 'm': fwkMouseCB(e.a, e.b, wx, wy); break;
        case 'M': mouseCB(e.a, e.b, e.x, e.y); break;
        case 'v': fwkMotionCB(wx, wy); break;
        case 'V': motionCB(e.x, e.y); break;
        case 'p': fwkPassiveMotionCB(wx, wy); break;
        case 'i': idleCB(); break;
        case 'd':
            fwkRedrawCB();
            fakePlatform.frames.clear();  // the record would only grow
            fakePlatform.titles.clear();
            break;
        case 'r':
            fakePlatform.viewport[2] = e.a;
            fakePlatform.viewport[3] = e.b;
            break;
        default: break;
    }
}

// ---------------------------------------------------------------------------
// Making events

class Maker {
public:
    Maker(unsigned seed, const Picture& p) : gen(seed), pic(p) {}

    Event next() {
        const int roll = pick(0, 99);
        if (roll < 18) return {'i', 0, 0, 0, 0};
        if (roll < 22) return {'d', 0, 0, 0, 0};
        if (roll < 31) return withPosition('k', pick(0, 255), 0);
        if (roll < 36) return withPosition('k', ' ', 0);
        if (roll < 40) return zoom();
        if (roll < 44) return shortcut();
        if (roll < 54) return withPosition('s', special(), 0);
        if (roll < 68) return withPosition('m', pick(0, 2), pick(0, 1));
        if (roll < 86) return withPosition('v', 0, 0);
        if (roll < 89) return withPosition('p', 0, 0);
        if (roll < 91) return resize();
        return pending.empty() ? withPosition('i', 0, 0) : drain();
    }

private:
    std::mt19937 gen;
    Picture pic;
    std::vector<Event> pending;  // the rest of a burst of zoom keys
    int viewW = 512, viewH = 512;

    int pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(gen); }
    float real(float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(gen); }

    Event drain() {
        Event e = pending.back();
        pending.pop_back();
        return e;
    }

    int special() {
        static const int keys[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 100, 101, 102, 103, 104,
                                   105, 106, 107, 108};
        if (pick(0, 49) == 0) return pick(INT_MIN / 2, INT_MAX / 2);
        // The arrow keys, which push settings to their ends, come most often.
        if (pick(0, 1)) return pick(100, 103);
        return keys[pick(0, sizeof keys / sizeof keys[0] - 1)];
    }

    Event shortcut() {
        const catalogueEntry& c = catalogue[pick(0, catalogueSize - 1)];
        if (c.key >= F(1)) return withPosition('s', c.key - F(0), 0);
        return withPosition('k', c.key, 0);
    }

    Event zoom() {
        const int key = pick(0, 1) ? '+' : '-';
        for (int n = pick(1, 40); n > 0; --n) pending.push_back({'k', key, 0, 256, 256});
        return drain();
    }

    Event resize() {
        static const int sizes[][2] = {{512, 512}, {512, 511}, {1, 1}, {1, 700}, {1000, 3}};
        if (pick(0, 2) == 0) {
            const auto& s = sizes[pick(0, 4)];
            viewW = s[0];
            viewH = s[1];
        } else {
            viewW = pick(1, 1024);
            viewH = pick(1, 1024);
        }
        return {'r', viewW, viewH, 0, 0};
    }

    // Window positions for the framework's callbacks, image positions for
    // the shell's: mostly on the picture or the menu, sometimes anywhere.
    Event withPosition(char kind, int a, int b) {
        Event e = {kind, a, b, 0, 0};
        if (kind != 'p' && pick(0, 2) == 0) {
            e.kind = static_cast<char>(kind - 'a' + 'A');
            imagePoint(&e.x, &e.y);
        } else {
            windowPoint(&e.x, &e.y);
        }
        return e;
    }

    void windowPoint(float* x, float* y) {
        const int r = pick(0, 19);
        if (r < 14) {
            *x = static_cast<float>(pick(0, viewW - 1));
            *y = static_cast<float>(pick(0, viewH - 1));
        } else if (r < 18) {
            *x = static_cast<float>(pick(-60, viewW + 60));
            *y = static_cast<float>(pick(-60, viewH + 60));
        } else {
            static const float far[] = {-2147483648.0f, 2147483520.0f, -1e9f, 1e9f, 0};
            *x = far[pick(0, 4)];
            *y = far[pick(0, 4)];
        }
    }

    float anyFloat(int extent) {
        static const float odd[] = {std::numeric_limits<float>::quiet_NaN(),
                                    std::numeric_limits<float>::infinity(),
                                    -std::numeric_limits<float>::infinity(),
                                    1e30f, -1e30f, 2147483648.0f, -2147483904.0f, -0.5f};
        const int r = pick(0, 19);
        if (r < 12) return real(0, static_cast<float>(extent));
        if (r < 16) return real(-300, static_cast<float>(extent + 300));
        if (r < 18) return real(-1e9f, 1e9f);
        return odd[pick(0, 7)];
    }

    void imagePoint(float* x, float* y) {
        if (pick(0, 2) == 0) {  // the menu's corner
            *x = real(0, 220);
            *y = real(0, 170);
            return;
        }
        *x = anyFloat(pic.width);
        *y = anyFloat(pic.height);
    }
};

std::vector<Event> makeEvents(unsigned seed, const Picture& p, int count) {
    Maker maker(seed, p);
    std::vector<Event> events;
    events.reserve(count);
    for (int i = 0; i < count; ++i) events.push_back(maker.next());
    return events;
}

// ---------------------------------------------------------------------------
// Running events

std::string workFolder;

// Pictures as in.tif-like files in the work folder, and the icons beside them.
void preparePictures() {
    char pattern[] = "/tmp/morvane-monkey-XXXXXX";
    if (!mkdtemp(pattern)) {
        std::perror("monkey: mkdtemp");
        std::exit(2);
    }
    workFolder = pattern;
    if (chdir(workFolder.c_str()) != 0) std::exit(2);
    if (symlink(MORVANE_SOURCE_DIR "/menu", "menu") != 0) std::perror("monkey: menu");
    std::mt19937 gen(7);
    for (const Picture& p : kPictures) {
        ImageRGBA* img = imageRgbaNew(p.width, p.height);
        for (int i = 0; i < p.width * p.height; ++i) {
            const uint32_t v = gen();
            img->data[i] = Rgba{static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                                static_cast<unsigned char>(v >> 16),
                                static_cast<unsigned char>(p.transparent ? (v >> 24) & 0xC0 : 255)};
        }
        const std::string name = std::string(p.name) + ".tif";
        if (imageRgbaWriteTIFF(name.c_str(), img) != 0) std::exit(2);
        imageRgbaFree(img);
    }
}

void removeWorkFolder() {
    if (workFolder.empty()) return;
    const std::string command = "rm -rf '" + workFolder + "'";
    if (std::system(command.c_str()) != 0) std::fprintf(stderr, "monkey: %s left\n", workFolder.c_str());
}

// The shell as the program starts it, on one picture.
void startShell(const char* picture) {
    fwkReset();
    fakePlatform.reset();
    std::string file = std::string(picture) + ".tif";
    const char* argv[] = {"morvane", file.c_str(), nullptr};
    int argc = 2;
    morvaneStart(&argc, argv);
}

// Where the current child is: the index of the event it is playing.
volatile long* progress = nullptr;

// Plays events[from, to) in a child. Returns the index where a child that
// ended by an exit key stopped, `to` when all ran, or -1 - index for a fault.
long runChild(const char* picture, const std::vector<Event>& events, long from, long to,
              bool quiet) {
    *progress = from;
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid < 0) {
        std::perror("monkey: fork");
        std::exit(2);
    }
    if (pid == 0) {
        alarm(600);  // a hang is a fault too
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);  // the help text
        if (quiet) dup2(null, 2);
        startShell(picture);
        for (long i = from; i < to; ++i) {
            *progress = i;
            play(events[i]);
        }
        *progress = to;
        morvaneShutdown();
        std::exit(0);  // the leak check runs here
    }
    int status = 0;
    waitpid(pid, &status, 0);
    const long at = *progress;
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return at < to ? at + 1 : to;
    return -1 - std::min(at, to - 1);  // a leak found at the end belongs to the last event
}

// Plays all events, a new child after each exit. The fault's index, or -1.
long runAll(const char* picture, const std::vector<Event>& events, long* faultFrom, bool quiet,
            long* restarts = nullptr) {
    const long end = static_cast<long>(events.size());
    long from = 0;
    while (from < end) {
        const long r = runChild(picture, events, from, end, quiet);
        if (r < 0) {
            *faultFrom = from;
            return -1 - r;
        }
        if (restarts && r < end) ++*restarts;
        from = r;
    }
    return -1;
}

bool fails(const char* picture, const std::vector<Event>& events) {
    long from = 0;
    return runAll(picture, events, &from, true) >= 0;
}

// Delta debugging: drop chunks of events as long as the rest still fails.
std::vector<Event> shrink(const char* picture, std::vector<Event> events) {
    size_t chunks = 2;
    int tries = 0;
    while (events.size() >= 2 && tries < 3000) {
        const size_t size = events.size();
        bool removed = false;
        for (size_t c = 0; c < chunks && !removed; ++c) {
            const size_t lo = size * c / chunks, hi = size * (c + 1) / chunks;
            std::vector<Event> rest(events.begin(), events.begin() + lo);
            rest.insert(rest.end(), events.begin() + hi, events.end());
            ++tries;
            if (!rest.empty() && fails(picture, rest)) {
                events = rest;
                chunks = std::max<size_t>(chunks - 1, 2);
                removed = true;
            }
        }
        if (!removed) {
            if (chunks >= size) break;
            chunks = std::min(size, chunks * 2);
        }
    }
    return events;
}

void report(const char* picture, const std::vector<Event>& events, const std::string& outFile) {
    std::ofstream out(outFile);
    out << "picture " << picture << "\n";
    std::fprintf(stderr, "monkey: fault on picture %s; %zu events replay it (%s):\n", picture,
                 events.size(), outFile.c_str());
    for (const Event& e : events) {
        out << format(e) << "\n";
        std::fprintf(stderr, "  %s\n", format(e).c_str());
    }
}

int replay(const char* path) {
    std::ifstream in(path);
    std::string line, picture;
    if (!std::getline(in, line) || line.compare(0, 8, "picture ") != 0) {
        std::fprintf(stderr, "monkey: %s: no picture line\n", path);
        return 2;
    }
    picture = line.substr(8);
    std::vector<Event> events;
    while (std::getline(in, line)) {
        Event e;
        if (parse(line, &e)) events.push_back(e);
    }
    preparePictures();
    startShell(picture.c_str());
    for (const Event& e : events) {
        std::fprintf(stderr, "monkey: %s\n", format(e).c_str());
        play(e);
    }
    morvaneShutdown();
    removeWorkFolder();
    std::fprintf(stderr, "monkey: replayed %zu events without a fault\n", events.size());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    long count = 2000, rounds = 1;
    unsigned seed = 1;
    std::string only, outFile;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (arg == "--replay" && value) return replay(value);
        if (!value) {
            std::fprintf(stderr, "monkey: %s needs a value\n", arg.c_str());
            return 2;
        }
        if (arg == "--events") count = std::atol(value);
        else if (arg == "--rounds") rounds = std::atol(value);
        else if (arg == "--seed") seed = static_cast<unsigned>(std::strtoul(value, nullptr, 10));
        else if (arg == "--picture") only = value;
        else if (arg == "--out") outFile = value;
        else {
            std::fprintf(stderr, "monkey: unknown option %s\n", arg.c_str());
            return 2;
        }
        ++i;
    }
    if (outFile.empty()) {
        char cwd[4096];
        outFile = std::string(getcwd(cwd, sizeof cwd) ? cwd : ".") + "/monkey-fault.txt";
    }
    progress = static_cast<volatile long*>(
        mmap(nullptr, sizeof(long), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
    preparePictures();

    long played = 0, restarts = 0;
    int faults = 0;
    for (long round = 0; round < rounds && faults == 0; ++round) {
        for (const Picture& p : kPictures) {
            if (!only.empty() && only != p.name) continue;
            const unsigned s = seed + static_cast<unsigned>(round) * 7919u;
            const std::vector<Event> events = makeEvents(s ^ (p.width * 131u + p.height), p, count);
            long faultFrom = 0;
            const long at = runAll(p.name, events, &faultFrom, false, &restarts);
            if (at < 0) {
                played += count;
                continue;
            }
            ++faults;
            played += at + 1;
            std::fprintf(stderr, "monkey: fault at event %ld on %s (seed %u); shrinking\n", at,
                         p.name, s);
            std::vector<Event> failing(events.begin() + faultFrom, events.begin() + at + 1);
            if (fails(p.name, failing)) failing = shrink(p.name, failing);
            report(p.name, failing, outFile);
            break;
        }
    }
    removeWorkFolder();
    std::printf("monkey: %ld events, %ld restarts by exit keys, %d faults\n", played, restarts,
                faults);
    return faults ? 1 : 0;
}
