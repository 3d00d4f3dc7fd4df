// End-to-end harness: runs the real program on its own Xvfb server in a fresh
// folder, drives it with xdotool and looks at it through Xlib.
//
//   e2e::Picture pic = e2e::patternPicture(300, 200);
//   e2e::App app(pic.get());           // pic as "in.tif"; throws if no window appears
//   app.key("plus");                   // xdotool key names
//   app.click(100, 120);               // window pixels
//   e2e::Screenshot shot = app.screenshot();
//   ASSERT_EQ(app.waitExit(), 0);
//
// Every wait polls a condition until it holds or the timeout passes; none of
// them sleeps for a fixed time except the pacing of input (see `pace`).
#pragma once

#include "image/imagergba.h"

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace e2e {

using Seconds = std::chrono::duration<double>;
constexpr Seconds kWait{15.0};  // generous: software GL on a loaded machine

// ---------------------------------------------------------------------------
// Pictures

struct PictureFree {
    void operator()(ImageRGBA* img) const { imageRgbaFree(img); }
};
using Picture = std::unique_ptr<ImageRGBA, PictureFree>;

Picture makePicture(int width, int height, const std::function<Rgba(int x, int y)>& pixel);
// Every pixel different (for pictures up to 1024 by 1024), opaque, and none
// the window's background colour.
Rgba patternPixel(int x, int y);
Picture patternPicture(int width, int height);
// Any format; null when the file cannot be read.
Picture readPicture(const std::string& path);
void writePicture(const std::string& path, const ImageRGBA* img);  // throws on failure
// Empty when equal, else where they first differ.
std::string comparePictures(const ImageRGBA* expected, const ImageRGBA* actual);

bool same(Rgba a, Rgba b);
std::string describe(Rgba c);  // "(r, g, b, a)"

std::string readFile(const std::string& path);  // empty when missing
void writeFile(const std::string& path, const std::string& content);
std::vector<std::string> lines(const std::string& text);

// Polls `done` every few milliseconds; true as soon as it holds.
bool waitFor(const std::function<bool()>& done, Seconds timeout = kWait);

// ---------------------------------------------------------------------------
// Window contents

struct Rgb {
    unsigned char r, g, b;
    bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
    bool operator!=(const Rgb& o) const { return !(*this == o); }
};
Rgb rgb(Rgba c);
std::string describe(Rgb c);
std::ostream& operator<<(std::ostream& out, const Rgb& c);
constexpr Rgb kBackground{51, 51, 102};  // the clear colour (0.2, 0.2, 0.4)

class Screenshot {
public:
    Screenshot() = default;
    Screenshot(int width, int height, std::vector<Rgb> pixels);
    int width() const { return width_; }
    int height() const { return height_; }
    bool empty() const { return pixels_.empty(); }
    Rgb at(int x, int y) const { return pixels_[static_cast<size_t>(y) * width_ + x]; }
    void save(const std::string& path) const;  // as a TIFF, for looking at failures

private:
    int width_ = 0;
    int height_ = 0;
    std::vector<Rgb> pixels_;
};

// Compares the whole window with `pic` drawn with its top-left corner at
// (rasterX, rasterY) and scaled by `zoom`, on the background. A window pixel
// whose centre falls exactly on the border between two picture pixels may show
// either. Empty when they match, else the first difference and a count.
std::string checkView(const Screenshot& shot, const ImageRGBA* pic, double rasterX, double rasterY,
                      double zoom);

// ---------------------------------------------------------------------------
// Processes and folders

// A fresh folder under $TMPDIR (or /tmp), removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    void keep() { keep_ = true; }

private:
    std::string path_;
    bool keep_ = false;
};

// A child process in its own process group, killed with the group when this
// object goes away (and by the kernel when the test program dies).
class Process {
public:
    struct Options {
        std::string display;     // DISPLAY for the child; empty: unset
        std::string workDir;     // empty: the current one
        std::string stdoutPath;  // empty: /dev/null
        std::string stderrPath;  // empty: /dev/null
        int passFd = -1;         // this descriptor of ours becomes the child's fd 3
        std::function<void()> inChild;  // runs in the child just before exec
    };
    Process(const std::vector<std::string>& argv, const Options& options);
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    pid_t pid() const { return pid_; }
    bool running();
    // SIGTERM, then SIGKILL to the group if it has not ended within `grace`.
    void stop(Seconds grace);
    // The exit status, or 128 + the signal; nullopt while still running at the timeout.
    std::optional<int> wait(Seconds timeout);
    void kill();

private:
    bool reap(int options);
    pid_t pid_ = -1;
    std::optional<int> status_;
};

// Runs a short command to its end and returns its status (throws on timeout).
int run(const std::vector<std::string>& argv, const std::string& display, Seconds timeout = kWait);

// ---------------------------------------------------------------------------
// X server

// An Xvfb server on a free display number with a 24-bit screen.
class XServer {
public:
    // Xvfb's messages go to `logPath`.
    explicit XServer(const std::string& logPath, int width = 1024, int height = 768);
    ~XServer();
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    const std::string& name() const { return name_; }  // ":N"
    void* connection() const { return display_; }      // the Xlib Display*

private:
    std::unique_ptr<Process> process_;
    std::string name_;
    void* display_ = nullptr;
};

// ---------------------------------------------------------------------------
// The program

struct Launch {
    std::vector<std::string> args;           // command-line arguments
    const ImageRGBA* picture = nullptr;      // written into the folder as `pictureName`
    std::string pictureName = "in.tif";
    bool copyMenu = true;                    // the repository's menu/ folder, if it exists
    std::function<void(const std::string& dir)> prepare;  // more set-up of the folder
    std::function<void()> inChild;           // runs in the program's process before exec
    bool waitWindow = true;                  // wait for the window and prepare it for input
};

class App {
public:
    static constexpr int kWindowSize = 512;
    // Input is paced so that each event lands in a frame of its own: the
    // program takes at most one key or motion a frame and drops the rest.
    // A frame takes a few milliseconds here; raise the pace for big pictures
    // or slow effects, or wait for the change each event makes.
    static constexpr std::chrono::milliseconds kDefaultPace{40};

    explicit App(const Launch& launch = Launch());
    explicit App(const ImageRGBA* picture);  // just the picture, as "in.tif"
    ~App();
    App(const App&) = delete;
    App& operator=(const App&) = delete;

    // The program's working folder and files in it.
    const std::string& dir() const { return workDir_; }
    std::string path(const std::string& name) const { return workDir_ + "/" + name; }
    std::string out() const;  // everything the program wrote to standard output so far
    std::string err() const;  // ... and to standard error

    // Window.
    unsigned long window() const { return window_; }
    std::string title() const;
    bool waitTitle(const std::string& title, Seconds timeout = kWait) const;
    Screenshot screenshot() const;  // empty when the window cannot be read
    // Takes screenshots until one satisfies `ok`; returns the last one taken.
    Screenshot waitScreen(const std::function<bool(const Screenshot&)>& ok,
                          Seconds timeout = kWait) const;

    // Input, in window pixels; key names as xdotool knows them ("Up", "F2",
    // "plus", "question", "BackSpace", "Return", "space", "a").
    void key(const std::string& name);
    void keys(const std::vector<std::string>& names);  // paced, one after another
    void keyBurst(const std::vector<std::string>& names);  // as fast as xdotool can
    void move(int x, int y);
    void click(int x, int y, int button = 1);
    void press(int x, int y, int button = 1);
    void release(int x, int y, int button = 1);
    // Presses at the start, moves in `steps` paced steps, releases at the end.
    void drag(int x0, int y0, int x1, int y1, int button = 1, int steps = 8);
    void pace() const;  // the pause after each input
    void setPace(std::chrono::milliseconds pace) { pace_ = pace; }

    // Files and the process.
    bool waitFile(const std::string& name, Seconds timeout = kWait) const;  // exists and stable
    // Removes "out.tif", runs `save` (a key, a click) and reads the "out.tif"
    // the program then writes; null when none appears.
    Picture saveOut(const std::function<void()>& save);
    bool waitOutput(const std::string& text, Seconds timeout = kWait) const;  // stdout has it
    bool waitError(const std::string& text, Seconds timeout = kWait) const;   // stderr has it
    bool running();
    std::optional<int> waitExit(Seconds timeout = kWait);

private:
    void xdotool(std::vector<std::string> args);
    void findWindow();

    TempDir root_;         // holds the working folder, the output files and Xvfb's log
    std::string workDir_;  // the program's working folder
    std::unique_ptr<XServer> server_;
    std::unique_ptr<Process> process_;
    unsigned long window_ = 0;
    std::chrono::milliseconds pace_ = kDefaultPace;
};

// Waits until the window shows `pic` as checkView describes; the difference
// still seen at the timeout.
std::string waitView(const App& app, const ImageRGBA* pic, double rasterX, double rasterY,
                     double zoom);

}  // namespace e2e
