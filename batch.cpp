#include "batch.h"

#include "effects/classes.h"
#include "framewk/framewk.h"
#include "image/files.h"
#include "image/imagergba.h"
#include "image/picture.h"
#include "morvane.h"

#include <strings.h>
#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace {

const char* const usageText =
    "Usage: morvane [picture]\n"
    "       morvane --keys KEYS [--output FILE] [picture]\n"
    "       morvane --keys KEYS --output-dir DIR picture...\n"
    "       morvane --list\n"
    "\n"
    "Without --keys the program opens its window on the picture (default \"in.tif\").\n"
    "Pictures are TIFF, JPEG, PNG, WebP or HEIC/HEIF files, told apart by their\n"
    "content; a photograph is turned upright as its orientation tag says.\n"
    "\n"
    "With --keys it needs no window or display: KEYS is replayed on the picture as\n"
    "if typed there, and the result is written to FILE (default \"out.tif\"), or,\n"
    "with --output-dir, into DIR (made when missing) under each picture's own file\n"
    "name, every picture from a fresh start. Icons are read from menu/ in the\n"
    "working folder, as in the window, and log.txt there is appended to, a whole\n"
    "line at a time, so that runs side by side share it. Nothing is printed on\n"
    "success.\n"
    "\n"
    "The output's extension chooses its format: .tif or .tiff (also for a name\n"
    "without one), .png, .jpg or .jpeg, .webp. --format changes the extension of\n"
    "every output.\n"
    "\n"
    "FILE may be \"-\" for the standard output, a named pipe or a device such as\n"
    "/dev/null: these are written straight (in TIFF unless --format says otherwise)\n"
    "and receive one picture, the last saved.\n"
    "\n"
    "KEYS is a list of steps separated by spaces:\n"
    "  x  1  asterisk  Up  Return  BackSpace  space  F2  Page_Down  Delete ...\n"
    "                 a key, by its X11 name or as a single character\n"
    "  press:X,Y      left button down at picture pixel (X, Y)\n"
    "  move:X,Y       the pointer to (X, Y), a drag while a button is down\n"
    "  release        left button up\n"
    "  rpress:X,Y     right button down\n"
    "  rrelease       right button up\n"
    "A key arrives where the pointer last was: (0, 0) before any press or move.\n"
    "Each step is followed by a frame, as in the window.\n"
    "The save keys (& < > [ ]) and the menu's save button write the output at once.\n"
    "Escape and the menu's close button end that picture's replay and write\n"
    "nothing more, as they quit the window without saving.\n"
    "\n"
    "Options:\n"
    "  --keys KEYS        the steps to replay\n"
    "  --output FILE      where the result goes (default \"out.tif\", \"-\" standard output)\n"
    "  --output-dir DIR   one result per picture in DIR, named like the picture\n"
    "  --format EXT       tif, png, jpg or webp (or tiff, jpeg): the outputs' format\n"
    "  --quality N        1 to 100: JPEG quality (default 92); lossy WebP (lossless\n"
    "                     without it)\n"
    "  --list             each effect's key, kind (tool, filter, warp), name and modes\n"
    "  --max-pixels=N, --max-memory=SIZE\n"
    "                     the limits on a picture's size, as in the window\n"
    "  --help             this text\n"
    "\n"
    "Exit status: 0 done; 1 an unknown key or malformed step, a picture that\n"
    "cannot be read or an output that cannot be written (the run stops there;\n"
    "results already written are whole); 2 a usage error.\n"
    "\n"
    "Examples:\n"
    "  morvane --keys \"x Up Up Return\" --output soft.tif photo.tif\n"
    "  morvane --keys \"q press:320,240 release\" --output ripple.tif photo.tif\n"
    "  morvane --keys \"F10 press:10,10 move:200,150 release 8\" --output-dir inverted *.tif\n"
    "  morvane --keys \"\" --format jpg --quality 85 --output-dir small photos/*.heic\n";

// ---------------------------------------------------------------------------
// Steps

// X11 key names and the GLUT codes the shell takes: ASCII through keyboardCB,
// special keys through specialCB. F1 to F12 are read apart; letters and
// digits are their own single characters.
struct keyName {
    const char* name;
    int code;
    bool special;
};
const keyName kKeyNames[] = {
    {"BackSpace", 8, false},     {"Tab", 9, false},         {"Return", 13, false},
    {"KP_Enter", 13, false},     {"Escape", 27, false},     {"Delete", 127, false},
    {"space", ' ', false},       {"exclam", '!', false},    {"quotedbl", '"', false},
    {"numbersign", '#', false},  {"dollar", '$', false},    {"percent", '%', false},
    {"ampersand", '&', false},   {"apostrophe", '\'', false}, {"parenleft", '(', false},
    {"parenright", ')', false},  {"asterisk", '*', false},  {"plus", '+', false},
    {"comma", ',', false},       {"minus", '-', false},     {"period", '.', false},
    {"slash", '/', false},       {"colon", ':', false},     {"semicolon", ';', false},
    {"less", '<', false},        {"equal", '=', false},     {"greater", '>', false},
    {"question", '?', false},    {"at", '@', false},        {"bracketleft", '[', false},
    {"backslash", '\\', false},  {"bracketright", ']', false}, {"asciicircum", '^', false},
    {"underscore", '_', false},  {"grave", '`', false},     {"braceleft", '{', false},
    {"bar", '|', false},         {"braceright", '}', false}, {"asciitilde", '~', false},
    {"Left", 100, true},         {"Up", 101, true},         {"Right", 102, true},
    {"Down", 103, true},         {"Prior", 104, true},      {"Page_Up", 104, true},
    {"Next", 105, true},         {"Page_Down", 105, true},  {"Home", 106, true},
    {"End", 107, true},          {"Insert", 108, true},
};

struct step {
    enum kind { ascii, special, press, move, release, rpress, rrelease } what;
    int code;  // the key
    int x, y;  // where press, move and rpress go
};

// The pointer steps; those with a position are written name:X,Y.
const struct {
    const char* name;
    step::kind what;
    bool positioned;
} kPointerSteps[] = {{"press", step::press, true},     {"move", step::move, true},
                     {"release", step::release, false}, {"rpress", step::rpress, true},
                     {"rrelease", step::rrelease, false}};

bool parseCoordinate(const std::string& text, int* out) {
    if (text.empty() || std::isspace(static_cast<unsigned char>(text[0]))) return false;
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (errno || *end || v < INT_MIN || v > INT_MAX) return false;
    *out = static_cast<int>(v);
    return true;
}

// Empty when `word` is a step, else what is wrong with it.
std::string parseStep(const std::string& word, step* s) {
    auto malformed = [&](const std::string& why) {
        return "malformed step \"" + word + "\" in --keys: " + why;
    };
    const unsigned char first = static_cast<unsigned char>(word[0]);
    if (word.size() == 1 && first > ' ' && first < 127) {
        *s = {step::ascii, first, 0, 0};
        return "";
    }
    const size_t colon = word.find(':');
    const std::string head = word.substr(0, colon);
    for (const auto& pointer : kPointerSteps) {
        if (head != pointer.name) continue;
        *s = {pointer.what, 0, 0, 0};
        if (!pointer.positioned) {
            if (colon == std::string::npos) return "";
            return malformed(head + " takes no position");
        }
        const std::string at = colon == std::string::npos ? "" : word.substr(colon + 1);
        const size_t comma = at.find(',');
        if (comma != std::string::npos && parseCoordinate(at.substr(0, comma), &s->x) &&
            parseCoordinate(at.substr(comma + 1), &s->y)) {
            return "";
        }
        return malformed("expected " + head + ":X,Y with whole numbers");
    }
    if (colon != std::string::npos) {
        return malformed("the pointer steps are press:X,Y, move:X,Y, release, rpress:X,Y, rrelease");
    }
    for (const keyName& k : kKeyNames) {
        if (strcasecmp(word.c_str(), k.name) == 0) {
            *s = {k.special ? step::special : step::ascii, k.code, 0, 0};
            return "";
        }
    }
    int n = 0;
    if ((first == 'F' || first == 'f') && word.size() >= 2 && word.size() <= 3 &&
        std::isdigit(static_cast<unsigned char>(word[1])) &&
        parseCoordinate(word.substr(1), &n) && n >= 1 && n <= 12) {
        *s = {step::special, n, 0, 0};
        return "";
    }
    return "unknown key name \"" + word + "\" in --keys";
}

// Empty when every word of `keys` is a step, else what is wrong with the first bad one.
std::string parseSteps(const std::string& keys, std::vector<step>* steps) {
    size_t at = 0;
    while (true) {
        at = keys.find_first_not_of(" \t\n\r", at);
        if (at == std::string::npos) return "";
        const size_t end = keys.find_first_of(" \t\n\r", at);
        step s;
        const std::string problem = parseStep(keys.substr(at, end - at), &s);
        if (!problem.empty()) return problem;
        steps->push_back(s);
        at = end;
    }
}

// The name --keys takes for a catalogue key.
std::string keyNameOf(int key) {
    if (key >= F(1)) return "F" + std::to_string(key - F(0));
    for (const keyName& k : kKeyNames) {
        if (!k.special && k.code == key) return k.name;
    }
    return std::string(1, static_cast<char>(key));
}

// ---------------------------------------------------------------------------
// Replaying

// fwkExit in batch mode: Escape, the close button, or a start-up that failed.
struct replayEnded {
    int status;
};
[[noreturn]] void endReplay(int status) { throw replayEnded{status}; }

// No window, saves go to the output and the log is shared, for as long as it lives.
class headlessSession {
public:
    // A named pipe is waited on until a program reads it, as other tools do.
    headlessSession() {
        fwkSetHeadless(endReplay);
        setOutputWaitsForReader(true);
        setLogShared(true);
    }
    ~headlessSession() {
        fwkSetHeadless(nullptr);
        setOutputWaitsForReader(false);
        setLogShared(false);
        setSaveTarget(nullptr);
    }
    headlessSession(const headlessSession&) = delete;
    headlessSession& operator=(const headlessSession&) = delete;
};

// The frame after an event. When the event left the effect busy, the window's
// next tick only clears that, and the effect draws in the one after it.
void frame() {
    const bool skips = E->busy;
    idleCB();
    if (skips) idleCB();
}

struct pointerState {
    float x = 0, y = 0;
    bool left = false, right = false;
};

void perform(const step& s, pointerState& p) {
    if (s.what == step::press || s.what == step::move || s.what == step::rpress) {
        p.x = static_cast<float>(s.x);
        p.y = static_cast<float>(s.y);
    }
    switch (s.what) {
        case step::ascii:
            keyboardCB(static_cast<unsigned char>(s.code), p.x, p.y);
            break;
        case step::special:
            specialCB(s.code, p.x, p.y);
            break;
        case step::press:
        case step::release:
            p.left = s.what == step::press;
            mouseCB(0, p.left ? 0 : 1, p.x, p.y);
            break;
        case step::rpress:
        case step::rrelease:
            p.right = s.what == step::rpress;
            mouseCB(2, p.right ? 0 : 1, p.x, p.y);
            break;
        case step::move:
            // Without a button held the window only pans the view.
            if (p.left || p.right) motionCB(p.x, p.y);
            break;
    }
    frame();
}

// Where a result goes and in which format.
struct output {
    std::string name;
    SaveFormat format;
};

// One picture from a fresh start: 0, or 1 once the failure is reported.
int replayOn(const char* program, const std::vector<std::string>& limits, const std::string* picture,
             const output& out, const std::vector<step>& steps) {
    std::vector<const char*> args{program};
    for (const std::string& limit : limits) args.push_back(limit.c_str());
    if (picture) args.push_back(picture->c_str());
    int argc = static_cast<int>(args.size());
    args.push_back(nullptr);

    // rand() as a run of its own sees it, whatever pictures came before.
    std::srand(1);
    setSaveTarget(out.name.c_str(), outputIsStream(out.name.c_str()), out.format);
    // Nothing to replay, nothing to restore: a conversion holds the picture once.
    keepOriginal(!steps.empty());
    int status = 0;
    try {
        morvaneStart(&argc, args.data());
        frame();
        pointerState pointer;
        const unsigned long failedSaves = saveFailureCount();
        for (const step& s : steps) {
            perform(s, pointer);
            if (saveFailureCount() != failedSaves) endReplay(1);
        }
        status = saveImage();
    } catch (const replayEnded& end) {
        status = end.status;  // Escape or the close button give 0: nothing more is written
    }
    if (status == 0) status = writeHeldSave();
    morvaneShutdown();
    keepOriginal(true);
    return status;
}

// ---------------------------------------------------------------------------
// The command line

struct options {
    bool help = false, list = false;
    std::optional<std::string> keys, output, outputDir, format, quality;
    std::vector<std::string> limits;  // start-up takes these out itself
    std::vector<std::string> pictures;
};

// Empty when the command line makes sense, else the problem.
std::string parseOptions(int argc, const char* const* argv, options* o) {
    bool optionsDone = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (optionsDone || arg.size() < 2 || arg[0] != '-') {
            o->pictures.push_back(arg);
        } else if (arg == "--") {
            optionsDone = true;
        } else if (arg == "--help") {
            o->help = true;
        } else if (arg == "--list") {
            o->list = true;
        } else if (arg.rfind("--max-pixels=", 0) == 0 || arg.rfind("--max-memory=", 0) == 0) {
            o->limits.push_back(arg);
        } else {
            // "--name value" or "--name=value"
            const struct {
                const char* name;
                std::optional<std::string>* value;
            } valued[] = {{"--keys", &o->keys},       {"--output", &o->output},
                          {"--output-dir", &o->outputDir}, {"--format", &o->format},
                          {"--quality", &o->quality}};
            bool known = false;
            for (const auto& v : valued) {
                const size_t n = std::strlen(v.name);
                std::string value;
                if (arg == v.name) {
                    if (i + 1 >= argc) return arg + " needs a value";
                    value = argv[++i];
                } else if (arg.compare(0, n, v.name) == 0 && arg[n] == '=') {
                    value = arg.substr(n + 1);
                } else {
                    continue;
                }
                if (*v.value) return std::string(v.name) + " is given twice";
                *v.value = value;
                known = true;
            }
            if (!known) return "unknown option \"" + arg + "\"";
        }
    }
    if (o->help || o->list) return "";
    if (!o->keys) return "--keys is missing";
    if (o->output && o->outputDir) return "--output and --output-dir exclude each other";
    if (o->output && o->output->empty()) return "--output needs a file name";
    if (o->outputDir && o->outputDir->empty()) return "--output-dir needs a folder name";
    if (o->pictures.size() > 1 && !o->outputDir) return "several pictures need --output-dir";
    PictureFormat format;
    if (o->format) {
        std::string& extension = *o->format;
        if (!extension.empty() && extension[0] == '.') extension.erase(0, 1);
        if (!formatOfExtension(extension, &format)) {
            return "--format takes one of " + std::string(kWritableExtensions) + ", not \"" +
                   extension + "\"";
        }
    }
    if (o->quality) {
        int quality = 0;
        if (!parseCoordinate(*o->quality, &quality) || quality < 1 || quality > 100) {
            return "--quality takes a whole number from 1 to 100, not \"" + *o->quality + "\"";
        }
    }
    return "";
}

// Where a result named `name` goes once --format has changed its extension,
// and in which format; empty when this program can write it, else the problem.
std::string outputNamed(const std::string& name, const options& o, output* out) {
    out->format.quality = o.quality ? std::atoi(o.quality->c_str()) : 0;
    // A stream keeps its name: TIFF, or the format asked for.
    if (outputIsStream(name.c_str())) {
        out->name = name;
        if (o.format) formatOfExtension(*o.format, &out->format.format);
        return "";
    }
    out->name = o.format ? withExtension(name, *o.format) : name;
    if (formatOfName(out->name, &out->format.format)) return "";
    return "cannot tell the format of \"" + out->name + "\" by its extension: this program writes " +
           kWritableExtensions + " (--format EXT chooses one)";
}

bool sameFile(const std::string& a, const std::string& b) {
    struct stat one, other;
    return stat(a.c_str(), &one) == 0 && stat(b.c_str(), &other) == 0 &&
           one.st_dev == other.st_dev && one.st_ino == other.st_ino;
}

std::string replacesPicture(const std::string& output) {
    return "the output \"" + output + "\" would replace the picture itself";
}

// Where each picture's result goes; empty when the command line makes sense,
// else the problem. Two pictures may not share an output, and none may be
// replaced by its own result.
std::string outputsIn(const std::string& dir, const options& o, std::vector<output>* outputs) {
    std::map<std::string, std::string> pictureOf;
    for (const std::string& picture : o.pictures) {
        const std::string name = picture.substr(picture.find_last_of('/') + 1);
        if (name.empty() || name == "." || name == "..") {
            return "cannot name an output after \"" + picture + "\"";
        }
        output out;
        const std::string problem = outputNamed(dir + (dir.back() == '/' ? "" : "/") + name, o, &out);
        if (!problem.empty()) return problem;
        auto [it, fresh] = pictureOf.emplace(out.name, picture);
        if (!fresh) {
            return "\"" + it->second + "\" and \"" + picture + "\" would both be written to \"" +
                   out.name + "\"";
        }
        if (sameFile(picture, out.name)) return replacesPicture(out.name);
        outputs->push_back(out);
    }
    return "";
}

int usageError(const std::string& problem) {
    std::fprintf(stderr, "morvane: %s; see morvane --help\n", problem.c_str());
    return 2;
}

int failure(const std::string& problem) {
    std::fprintf(stderr, "morvane: %s\n", problem.c_str());
    return 1;
}

// Each catalogue row's key, its family's kind and its name.
// Key, kind and name, then the modes F1 to F8 choose, by name or number.
int listEffects() {
    for (int i = 0; i < catalogueSize; ++i) {
        const effectInfo& info = *catalogue[i].info;
        std::string modes;
        for (int m = 1, count = info.modeCount(); count > 1 && m <= count; ++m) {
            if (m > 1) modes += ", ";
            modes += info.modes[m - 1] ? info.modes[m - 1] : std::to_string(m);
        }
        std::printf("%s\t%s\t%s%s%s\n", keyNameOf(catalogue[i].key).c_str(), info.family->kind,
                    info.name, modes.empty() ? "" : "\t", modes.c_str());
    }
    return 0;
}

}  // namespace

bool batchRequested(int argc, const char* const* argv) {
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (!std::strcmp(arg, "--keys") || !std::strncmp(arg, "--keys=", 7) ||
            !std::strcmp(arg, "--help") || !std::strcmp(arg, "--list")) {
            return true;
        }
    }
    return false;
}

int batchMain(int argc, const char* const* argv) {
    options o;
    const std::string problem = parseOptions(argc, argv, &o);
    if (!problem.empty()) return usageError(problem);
    if (o.help) {
        std::fputs(usageText, stdout);
        return 0;
    }
    if (o.list) return listEffects();

    std::vector<step> steps;
    const std::string badStep = parseSteps(*o.keys, &steps);
    if (!badStep.empty()) return failure(badStep);

    std::vector<output> outputs;
    if (o.outputDir) {
        const std::string& dir = *o.outputDir;
        if (o.pictures.empty()) o.pictures.push_back("in.tif");
        const std::string clash = outputsIn(dir, o, &outputs);
        if (!clash.empty()) return usageError(clash);
        // Made when missing, one level deep.
        if (mkdir(dir.c_str(), 0777) != 0 && errno != EEXIST) {
            return failure("cannot make the folder \"" + dir + "\": " + std::strerror(errno));
        }
        struct stat info;
        if (stat(dir.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
            return failure("\"" + dir + "\" given to --output-dir is not a folder");
        }
    } else {
        output out;
        const std::string problem = outputNamed(o.output ? *o.output : "out.tif", o, &out);
        if (!problem.empty()) return usageError(problem);
        const std::string picture = o.pictures.empty() ? "in.tif" : o.pictures[0];
        if (out.name != kStandardOutput && sameFile(picture, out.name)) {
            return failure(replacesPicture(out.name));
        }
        outputs.push_back(out);
    }

    headlessSession session;
    const char* program = argc > 0 && argv[0] ? argv[0] : "morvane";
    for (size_t i = 0; i < outputs.size(); ++i) {
        const std::string* picture = i < o.pictures.size() ? &o.pictures[i] : nullptr;
        if (replayOn(program, o.limits, picture, outputs[i], steps) != 0) return 1;
    }
    return 0;
}
