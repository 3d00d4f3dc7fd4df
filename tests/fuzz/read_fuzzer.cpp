// libFuzzer target for the picture readers: the bytes as a file, read as
// whatever format they are; a picture that reads must write in a lossless
// format (TIFF, PNG or WebP, by the input's size) and read back with the
// same pixels.
#include "image/imagergba.h"
#include "image/picture.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::string folder;

void removeFolder() {
    for (const char* name : {"/in", "/out"}) unlink((folder + name).c_str());
    rmdir(folder.c_str());
}

// Files in memory where there is a tmpfs: the fuzzer writes one per input.
const std::string& workFolder() {
    if (folder.empty()) {
        struct stat info;
        std::string pattern = (stat("/dev/shm", &info) == 0 ? "/dev/shm" : "/tmp");
        pattern += "/morvane-fuzz-XXXXXX";
        if (!mkdtemp(pattern.data())) std::abort();
        folder = pattern;
        std::atexit(removeFolder);
    }
    return folder;
}

// Small enough that no input makes the fuzzer's memory limit the finding,
// and that millions of inputs, each written and read back, take hours, not days.
bool acceptSmall(unsigned width, unsigned height, std::string* reason) {
    if (static_cast<uint64_t>(width) * height <= (1u << 16)) return true;
    *reason = "too large for the fuzzer";
    return false;
}

// The libraries are not instrumented, so the fuzzer would see only our few branches.
// Its messages and the picture sizes stand in: each new kind is new coverage.
__attribute__((section("__libfuzzer_extra_counters"))) uint8_t kinds[4096];

void countKind(const std::string& text, unsigned salt) {
    unsigned h = 2166136261u ^ salt;
    for (char c : text) {
        if (c >= '0' && c <= '9') continue;  // the same message with other numbers
        h = (h ^ static_cast<unsigned char>(c)) * 16777619u;
    }
    kinds[h % sizeof kinds] = 1;
}

unsigned bitLength(unsigned v) {
    unsigned n = 0;
    for (; v; v >>= 1) ++n;
    return n;
}

[[noreturn]] void fault(const char* what, const std::string& detail) {
    std::fprintf(stderr, "read_fuzzer: %s: %s\n", what, detail.c_str());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string in = workFolder() + "/in", out = workFolder() + "/out";
    FILE* f = std::fopen(in.c_str(), "wb");
    if (!f) std::abort();
    if (size && std::fwrite(data, 1, size, f) != size) std::abort();
    std::fclose(f);

    const ReadLimits limits = {64u << 20, acceptSmall};
    std::string why;
    ImageRGBA* img = imageRgbaRead(in.c_str(), &why, &limits);
    if (!img) {
        if (why.empty()) fault("a failed read gives no reason", "");
        countKind(why, 1);
        return 0;
    }
    if (!why.empty()) countKind(why, 3);  // damaged, read as far as it goes
    countKind(std::string(), 2 + bitLength(img->width) * 64 + bitLength(img->height));
    if (img->width > 0 && img->height > 0) {
        const PictureFormat lossless[] = {PictureFormat::tiff, PictureFormat::png, PictureFormat::webp};
        SaveFormat format;
        format.format = lossless[size % 3];
        if (format.format == PictureFormat::webp && (img->width > 16383 || img->height > 16383)) {
            format.format = PictureFormat::png;  // beyond what WebP holds
        }
        if (imageRgbaWrite(out.c_str(), img, format, &why) != 0) fault("cannot write what was read", why);
        ImageRGBA* back = imageRgbaRead(out.c_str(), &why);
        if (!back) fault("cannot read back what was written", why);
        if (!why.empty()) fault("what was written reads as damaged", why);
        if (back->width != img->width || back->height != img->height ||
            std::memcmp(back->data, img->data,
                        static_cast<size_t>(img->width) * img->height * sizeof(Rgba)) != 0) {
            fault("the pixels read back differ", std::to_string(img->width) + " by " +
                                                      std::to_string(img->height));
        }
        imageRgbaFree(back);
    }
    imageRgbaFree(img);
    return 0;
}
