#include "tests/e2e/harness.h"

#include "image/picture.h"
#include "image/tiff.h"

#include <gtest/gtest.h>
// After gtest: Xlib defines macros (None, Bool, Status) that gtest's headers use as names.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace fs = std::filesystem;

namespace e2e {

namespace {

using Clock = std::chrono::steady_clock;
const std::chrono::milliseconds kPoll{10};

std::string hex(unsigned long v) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%lx", v);
    return text;
}

[[noreturn]] void fail(const std::string& what) { throw std::runtime_error("e2e harness: " + what); }

::Display* dpy(void* connection) { return static_cast<::Display*>(connection); }

// The window may go away under us (the program exits); such errors are
// answered by a null result, not by ending the test program.
int ignoreXError(::Display*, XErrorEvent*) { return 0; }

}  // namespace

// ---------------------------------------------------------------------------
// Pictures

Picture makePicture(int width, int height, const std::function<Rgba(int x, int y)>& pixel) {
    Picture img(imageRgbaNew(width, height));
    if (!img) fail("no memory for a test picture");
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) img->data[static_cast<size_t>(y) * width + x] = pixel(x, y);
    }
    return img;
}

Rgba patternPixel(int x, int y) {
    // Low bits of x and y in red and green, their high bits and a diagonal
    // ramp in blue: neighbours always differ, so a shift by one pixel shows.
    const int blue = ((x >> 8) & 3) | (((y >> 8) & 3) << 2) | (((x + y + 1) & 15) << 4);
    return Rgba{static_cast<unsigned char>(x & 255), static_cast<unsigned char>(y & 255),
                static_cast<unsigned char>(blue), 255};
}

Picture patternPicture(int width, int height) { return makePicture(width, height, patternPixel); }

Picture readPicture(const std::string& path) { return Picture(imageRgbaRead(path.c_str())); }

void writePicture(const std::string& path, const ImageRGBA* img) {
    std::string reason;
    if (imageRgbaWriteTIFF(path.c_str(), img, &reason) != 0) fail("cannot write " + path + ": " + reason);
}

bool same(Rgba a, Rgba b) { return a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a; }

std::string describe(Rgba c) {
    std::ostringstream s;
    s << '(' << int(c.r) << ", " << int(c.g) << ", " << int(c.b) << ", " << int(c.a) << ')';
    return s.str();
}

std::string comparePictures(const ImageRGBA* expected, const ImageRGBA* actual) {
    if (!actual) return "no picture";
    if (expected->width != actual->width || expected->height != actual->height) {
        return "size " + std::to_string(actual->width) + " by " + std::to_string(actual->height) +
               ", expected " + std::to_string(expected->width) + " by " +
               std::to_string(expected->height);
    }
    std::string first;
    long differ = 0;
    for (int y = 0; y < expected->height; ++y) {
        for (int x = 0; x < expected->width; ++x) {
            const size_t i = static_cast<size_t>(y) * expected->width + x;
            if (same(expected->data[i], actual->data[i])) continue;
            if (differ++ == 0) {
                first = "pixel (" + std::to_string(x) + ", " + std::to_string(y) + ") is " +
                        describe(actual->data[i]) + ", expected " + describe(expected->data[i]);
            }
        }
    }
    if (differ == 0) return "";
    return first + "; " + std::to_string(differ) + " pixels differ";
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    if (!out.flush()) fail("cannot write " + path);
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) result.push_back(line);
    return result;
}

bool waitFor(const std::function<bool()>& done, Seconds timeout) {
    const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(timeout);
    while (Clock::now() < deadline) {
        if (done()) return true;
        std::this_thread::sleep_for(kPoll);
    }
    return done();
}

// ---------------------------------------------------------------------------
// Window contents

Rgb rgb(Rgba c) { return Rgb{c.r, c.g, c.b}; }

std::string describe(Rgb c) {
    std::ostringstream s;
    s << '(' << int(c.r) << ", " << int(c.g) << ", " << int(c.b) << ')';
    return s.str();
}

std::ostream& operator<<(std::ostream& out, const Rgb& c) { return out << describe(c); }

Screenshot::Screenshot(int width, int height, std::vector<Rgb> pixels)
    : width_(width), height_(height), pixels_(std::move(pixels)) {}

void Screenshot::save(const std::string& path) const {
    Picture img = makePicture(width_, height_, [this](int x, int y) {
        const Rgb c = at(x, y);
        return Rgba{c.r, c.g, c.b, 255};
    });
    writePicture(path, img.get());
}

namespace {
// The picture columns (or rows) a window pixel may show along one axis; -1
// stands for the background.
int candidates(int window, double raster, double zoom, int size, int out[2]) {
    const double u = (window + 0.5 - raster) / zoom;
    auto index = [size](double v) { return v >= 0 && v < size ? static_cast<int>(v) : -1; };
    out[0] = index(u);
    if (u != static_cast<double>(static_cast<long>(u))) return 1;
    out[1] = index(u - 1);  // on a border: the pixel before it is as right
    return 2;
}
}  // namespace

std::string checkView(const Screenshot& shot, const ImageRGBA* pic, double rasterX, double rasterY,
                      double zoom) {
    if (shot.empty()) return "no screenshot";
    std::string first;
    long differ = 0;
    for (int sy = 0; sy < shot.height(); ++sy) {
        int ys[2];
        const int ny = candidates(sy, rasterY, zoom, pic->height, ys);
        for (int sx = 0; sx < shot.width(); ++sx) {
            int xs[2];
            const int nx = candidates(sx, rasterX, zoom, pic->width, xs);
            const Rgb got = shot.at(sx, sy);
            bool ok = false;
            Rgb want{};
            for (int j = 0; j < ny && !ok; ++j) {
                for (int i = 0; i < nx && !ok; ++i) {
                    want = xs[i] < 0 || ys[j] < 0
                               ? kBackground
                               : rgb(pic->data[static_cast<size_t>(ys[j]) * pic->width + xs[i]]);
                    ok = got == want;
                }
            }
            if (ok) continue;
            if (differ++ == 0) {
                first = "window pixel (" + std::to_string(sx) + ", " + std::to_string(sy) + ") is " +
                        describe(got) + ", expected " + describe(want);
            }
        }
    }
    if (differ == 0) return "";
    return first + "; " + std::to_string(differ) + " pixels differ";
}

// ---------------------------------------------------------------------------
// Processes and folders

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/morvane-e2e-XXXXXX";
    if (!mkdtemp(pattern.data())) fail("cannot make a temporary folder: " + std::string(std::strerror(errno)));
    path_ = pattern;
}

TempDir::~TempDir() {
    if (keep_) return;
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

Process::Process(const std::vector<std::string>& argv, const Options& options) {
    const pid_t parent = getpid();
    pid_ = fork();
    if (pid_ < 0) fail("fork failed: " + std::string(std::strerror(errno)));
    if (pid_ == 0) {
        // Child: own process group, dies with the test program.
        setpgid(0, 0);
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(126);
        if (options.passFd >= 0) dup2(options.passFd, 3);
        close_range(options.passFd >= 0 ? 4 : 3, ~0U, 0);
        auto redirect = [](const std::string& path, int fd, int flags) {
            const int f = open(path.empty() ? "/dev/null" : path.c_str(), flags, 0644);
            if (f >= 0 && f != fd) {
                dup2(f, fd);
                close(f);
            }
        };
        redirect("", 0, O_RDONLY);
        redirect(options.stdoutPath, 1, O_WRONLY | O_CREAT | O_TRUNC);
        redirect(options.stderrPath, 2, O_WRONLY | O_CREAT | O_TRUNC);
        if (!options.workDir.empty() && chdir(options.workDir.c_str()) != 0) _exit(126);
        if (options.display.empty()) unsetenv("DISPLAY");
        else setenv("DISPLAY", options.display.c_str(), 1);
        if (options.inChild) options.inChild();
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        std::fprintf(stderr, "cannot start %s: %s\n", args[0], std::strerror(errno));
        _exit(127);
    }
    setpgid(pid_, pid_);  // also here, so a kill right away reaches the group
}

Process::~Process() { kill(); }

bool Process::reap(int options) {
    if (status_) return true;
    int status = 0;
    const pid_t r = waitpid(pid_, &status, options);
    if (r != pid_) return false;
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return true;
}

bool Process::running() { return !reap(WNOHANG); }

std::optional<int> Process::wait(Seconds timeout) {
    waitFor([this] { return reap(WNOHANG); }, timeout);
    return status_;
}

void Process::stop(Seconds grace) {
    if (pid_ <= 0 || status_) return;
    ::kill(pid_, SIGTERM);
    if (!wait(grace)) kill();
}

void Process::kill() {
    // Only while unreaped: until then the id cannot belong to anyone else.
    if (pid_ <= 0 || reap(WNOHANG)) return;
    // The whole group: whatever the child started goes too.
    ::kill(-pid_, SIGKILL);
    reap(0);
}

int run(const std::vector<std::string>& argv, const std::string& display, Seconds timeout) {
    Process::Options options;
    options.display = display;
    Process p(argv, options);
    std::optional<int> status = p.wait(timeout);
    if (!status) fail(argv[0] + " did not finish");
    return *status;
}

// ---------------------------------------------------------------------------
// X server

XServer::XServer(const std::string& logPath, int width, int height) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) fail("pipe failed");
    Process::Options options;
    options.stderrPath = logPath;
    options.passFd = fds[1];
    try {
        process_ = std::make_unique<Process>(
            std::vector<std::string>{"Xvfb", "-displayfd", "3", "-screen", "0",
                                     std::to_string(width) + "x" + std::to_string(height) + "x24",
                                     "-nolisten", "tcp", "-noreset"},
            options);
    } catch (...) {
        close(fds[0]);
        close(fds[1]);
        throw;
    }
    close(fds[1]);

    // Xvfb writes the display number once it accepts connections.
    std::string number;
    const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(kWait);
    while (number.empty() || number.back() != '\n') {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd p{fds[0], POLLIN, 0};
        if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
        char c;
        if (read(fds[0], &c, 1) != 1) break;
        number += c;
    }
    close(fds[0]);
    if (number.empty() || number.back() != '\n') {
        fail("Xvfb did not start (is it installed?): " + readFile(logPath));
    }
    number.pop_back();
    name_ = ":" + number;

    XSetErrorHandler(ignoreXError);
    display_ = XOpenDisplay(name_.c_str());
    if (!display_) fail("cannot connect to Xvfb on " + name_);
}

XServer::~XServer() {
    if (display_) XCloseDisplay(dpy(display_));
    // A clean stop lets Xvfb remove its lock file and socket.
    process_->stop(Seconds(5));
}

// ---------------------------------------------------------------------------
// The program

App::App(const Launch& launch) {
    workDir_ = root_.path() + "/work";
    fs::create_directory(workDir_);
    if (launch.picture) writePicture(path(launch.pictureName), launch.picture);
    const fs::path menu = fs::path(MORVANE_SOURCE_DIR) / "menu";
    if (launch.copyMenu && fs::is_directory(menu)) {
        fs::copy(menu, path("menu"), fs::copy_options::recursive);
    }
    if (launch.prepare) launch.prepare(workDir_);

    server_ = std::make_unique<XServer>(root_.path() + "/xvfb.log");

    Process::Options options;
    options.display = server_->name();
    options.workDir = workDir_;
    options.stdoutPath = root_.path() + "/stdout.txt";
    options.stderrPath = root_.path() + "/stderr.txt";
    options.inChild = launch.inChild;
    std::vector<std::string> argv{MORVANE_BINARY};
    argv.insert(argv.end(), launch.args.begin(), launch.args.end());
    process_ = std::make_unique<Process>(argv, options);

    if (launch.waitWindow) findWindow();
}

namespace {
Launch pictureOnly(const ImageRGBA* picture) {
    Launch launch;
    launch.picture = picture;
    return launch;
}
}  // namespace

App::App(const ImageRGBA* picture) : App(pictureOnly(picture)) {}

App::~App() {
    if (::testing::Test::HasFailure()) {
        if (process_ && !process_->running()) {
            std::cerr << "[ e2e ] the program had ended; ";
        }
        const std::string e = err();
        std::cerr << "[ e2e ] the program's standard error:\n"
                  << (e.size() > 4000 ? e.substr(0, 4000) + "...\n" : e);
        if (std::getenv("MORVANE_E2E_KEEP")) {
            root_.keep();
            Screenshot shot = window_ ? screenshot() : Screenshot();
            if (!shot.empty()) shot.save(root_.path() + "/screen.tif");
            std::cerr << "[ e2e ] kept " << root_.path() << '\n';
        }
    }
    process_.reset();
    server_.reset();
}

std::string App::out() const { return readFile(root_.path() + "/stdout.txt"); }
std::string App::err() const { return readFile(root_.path() + "/stderr.txt"); }

void App::findWindow() {
    ::Display* d = dpy(server_->connection());
    const Window root = DefaultRootWindow(d);
    // Xvfb runs nothing else, so the program's window is the one named top-level window.
    auto find = [&]() -> Window {
        Window rootRet, parent, *children = nullptr;
        unsigned count = 0;
        if (!XQueryTree(d, root, &rootRet, &parent, &children, &count)) return 0;
        Window found = 0;
        for (unsigned i = 0; i < count && !found; ++i) {
            XWindowAttributes a;
            char* name = nullptr;
            if (XGetWindowAttributes(d, children[i], &a) && a.map_state == IsViewable &&
                XFetchName(d, children[i], &name) && name) {
                found = children[i];
            }
            if (name) XFree(name);
        }
        if (children) XFree(children);
        return found;
    };
    Window w = 0;
    waitFor([&] { return (w = find()) != 0 || !running(); });
    if (!w) {
        if (!running()) {
            fail("the program ended with status " + std::to_string(*process_->wait(Seconds(0))) +
                 " before its window appeared; standard error:\n" + err());
        }
        fail("no window appeared");
    }
    window_ = w;

    // With no window manager the window sits where GLUT put it, partly off
    // screen; a window has to be fully on screen to be read back.
    XMoveWindow(d, w, 0, 0);
    XSetInputFocus(d, w, RevertToParent, CurrentTime);
    XSync(d, False);
    const bool placed = waitFor([&] {
        XWindowAttributes a;
        return XGetWindowAttributes(d, w, &a) && a.x == 0 && a.y == 0;
    });
    if (!placed) fail("the window did not move to the screen's corner");
    // The pointer rests in the top-left corner, where the display's hot spot starts.
    move(0, 0);
    if (waitScreen([](const Screenshot& s) { return !s.empty(); }).empty()) {
        fail("the window cannot be read");
    }
}

std::string App::title() const {
    char* name = nullptr;
    std::string result;
    if (XFetchName(dpy(server_->connection()), window_, &name) && name) result = name;
    if (name) XFree(name);
    return result;
}

bool App::waitTitle(const std::string& expected, Seconds timeout) const {
    return waitFor([&] { return title() == expected; }, timeout);
}

Screenshot App::screenshot() const {
    ::Display* d = dpy(server_->connection());
    XImage* img = XGetImage(d, window_, 0, 0, kWindowSize, kWindowSize, AllPlanes, ZPixmap);
    if (!img) return Screenshot();
    auto shiftOf = [](unsigned long mask) {
        int s = 0;
        while (mask && !(mask & 1)) {
            mask >>= 1;
            ++s;
        }
        return s;
    };
    const unsigned long rm = img->red_mask ? img->red_mask : 0xff0000;
    const unsigned long gm = img->green_mask ? img->green_mask : 0x00ff00;
    const unsigned long bm = img->blue_mask ? img->blue_mask : 0x0000ff;
    const int rs = shiftOf(rm), gs = shiftOf(gm), bs = shiftOf(bm);
    std::vector<Rgb> pixels(static_cast<size_t>(kWindowSize) * kWindowSize);
    for (int y = 0; y < kWindowSize; ++y) {
        for (int x = 0; x < kWindowSize; ++x) {
            const unsigned long p = XGetPixel(img, x, y);
            pixels[static_cast<size_t>(y) * kWindowSize + x] =
                Rgb{static_cast<unsigned char>((p & rm) >> rs), static_cast<unsigned char>((p & gm) >> gs),
                    static_cast<unsigned char>((p & bm) >> bs)};
        }
    }
    XDestroyImage(img);
    return Screenshot(kWindowSize, kWindowSize, std::move(pixels));
}

Screenshot App::waitScreen(const std::function<bool(const Screenshot&)>& ok, Seconds timeout) const {
    Screenshot last;
    waitFor([&] {
        last = screenshot();
        return !last.empty() && ok(last);
    }, timeout);
    return last;
}

void App::pace() const { std::this_thread::sleep_for(pace_); }

void App::xdotool(std::vector<std::string> args) {
    args.insert(args.begin(), "xdotool");
    const int status = run(args, server_->name());
    if (status != 0) {
        std::string command;
        for (const std::string& a : args) command += " " + a;
        fail("xdotool failed (status " + std::to_string(status) + "):" + command);
    }
}

void App::key(const std::string& name) {
    // The window has the input focus, so the key goes there by XTEST, like a real one.
    xdotool({"key", name});
    pace();
}

void App::keys(const std::vector<std::string>& names) {
    for (const std::string& name : names) key(name);
}

void App::keyBurst(const std::vector<std::string>& names) {
    std::vector<std::string> args{"key", "--delay", "0"};
    args.insert(args.end(), names.begin(), names.end());
    xdotool(args);
    pace();
}

void App::move(int x, int y) {
    xdotool({"mousemove", "--window", hex(window_), std::to_string(x), std::to_string(y)});
    pace();
}

void App::click(int x, int y, int button) {
    move(x, y);
    xdotool({"click", std::to_string(button)});
    pace();
}

void App::press(int x, int y, int button) {
    move(x, y);
    xdotool({"mousedown", std::to_string(button)});
    pace();
}

void App::release(int x, int y, int button) {
    move(x, y);
    xdotool({"mouseup", std::to_string(button)});
    pace();
}

void App::drag(int x0, int y0, int x1, int y1, int button, int steps) {
    press(x0, y0, button);
    // One xdotool run for the whole path, pausing a frame between moves.
    const std::string pause = std::to_string(pace_.count() / 1000.0);
    std::vector<std::string> args;
    for (int i = 1; i <= steps; ++i) {
        const int x = x0 + (x1 - x0) * i / steps;
        const int y = y0 + (y1 - y0) * i / steps;
        args.insert(args.end(), {"mousemove", "--window", hex(window_), std::to_string(x),
                                 std::to_string(y), "sleep", pause});
    }
    if (!args.empty()) xdotool(args);
    xdotool({"mouseup", std::to_string(button)});
    pace();
}

bool App::waitFile(const std::string& name, Seconds timeout) const {
    // Stable: the same size and time stamp over a few polls.
    const std::string p = path(name);
    struct stat last {};
    int same = 0;
    return waitFor([&] {
        struct stat now {};
        if (stat(p.c_str(), &now) != 0 || !S_ISREG(now.st_mode)) {
            same = 0;
            return false;
        }
        if (now.st_size == last.st_size && now.st_mtim.tv_sec == last.st_mtim.tv_sec &&
            now.st_mtim.tv_nsec == last.st_mtim.tv_nsec) {
            ++same;
        } else {
            same = 0;
        }
        last = now;
        return same >= 5;
    }, timeout);
}

Picture App::saveOut(const std::function<void()>& save) {
    std::error_code ignored;
    fs::remove(path("out.tif"), ignored);
    save();
    if (!waitFile("out.tif")) return Picture();
    return readPicture(path("out.tif"));
}

bool App::waitOutput(const std::string& text, Seconds timeout) const {
    return waitFor([&] { return out().find(text) != std::string::npos; }, timeout);
}

bool App::waitError(const std::string& text, Seconds timeout) const {
    return waitFor([&] { return err().find(text) != std::string::npos; }, timeout);
}

bool App::running() { return process_->running(); }

std::optional<int> App::waitExit(Seconds timeout) { return process_->wait(timeout); }

std::string waitView(const App& app, const ImageRGBA* pic, double rasterX, double rasterY,
                     double zoom) {
    const Screenshot shot = app.waitScreen(
        [&](const Screenshot& s) { return checkView(s, pic, rasterX, rasterY, zoom).empty(); });
    return checkView(shot, pic, rasterX, rasterY, zoom);
}

}  // namespace e2e
