#include "image/files.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

const char* const kStandardOutput = "-";

namespace {

bool waitForReader = false;

std::string withError(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

// The file a save replaces: `filename` itself, or the end of its chain of
// links, so that the link stays and its target gets the picture.
std::string followLinks(const std::string& filename) {
    std::string path = filename;
    for (int hops = 0; hops < 40; ++hops) {
        char target[4096];
        const ssize_t n = readlink(path.c_str(), target, sizeof target - 1);
        if (n < 0) break;  // not a link (or gone): this is the file
        target[n] = '\0';
        const size_t slash = path.rfind('/');
        if (target[0] == '/' || slash == std::string::npos) {
            path = target;
        } else {
            path = path.substr(0, slash + 1) + target;
        }
    }
    return path;
}

// Write permission is what a user sets to keep a file; root passes access()
// anyway, so the permission bits decide as well.
bool readOnly(const std::string& path) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
    return (info.st_mode & 0222) == 0 || (access(path.c_str(), W_OK) != 0 && errno == EACCES);
}

// A new file beside `target`. Its name has a fixed length, so the longest
// name the folder takes can still be saved, and is new on every call, so
// saves of several processes in one folder never meet.
int temporaryBeside(const std::string& target, std::string* temp) {
    const size_t slash = target.rfind('/');
    *temp = (slash == std::string::npos ? "" : target.substr(0, slash + 1)) + ".morvane-XXXXXX";
    return mkostemp(temp->data(), O_CLOEXEC);
}

int replaceFile(const char* filename, const std::function<bool(int, std::string*)>& write,
                std::string* why) {
    const std::string target = followLinks(filename);
    if (readOnly(target)) {
        *why = target == filename ? "it is read-only" : "its target " + target + " is read-only";
        return 1;
    }
    std::string temp;
    const int fd = temporaryBeside(target, &temp);
    if (fd < 0) {
        *why = withError("cannot create a file beside it");
        return 1;
    }
    // mkstemp makes the file private; keep the permissions of the file being
    // replaced, or give those a new file gets.
    struct stat existing;
    if (stat(target.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
        fchmod(fd, existing.st_mode & 07777);
    } else {
        const mode_t mask = umask(0);
        umask(mask);
        fchmod(fd, 0666 & ~mask);
    }
    if (!write(fd, why)) {
        unlink(temp.c_str());
        return 1;
    }
    if (std::rename(temp.c_str(), target.c_str()) != 0) {
        *why = withError("cannot replace it");
        unlink(temp.c_str());
        return 1;
    }
    return 0;
}

bool copyAll(int from, int to, std::string* why) {
    char buffer[1 << 16];
    for (off_t at = 0;;) {
        const ssize_t n = pread(from, buffer, sizeof buffer, at);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            *why = withError("cannot read the picture back");
            return false;
        }
        if (n == 0) return true;
        at += n;
        if (!writeAll(to, buffer, static_cast<size_t>(n), why)) return false;
    }
}

// Writers seek, which pipes and devices cannot: the picture is made in memory
// first, then copied out whole.
int writeStream(int out, const std::function<bool(int, std::string*)>& write, std::string* why) {
    const int file = memfd_create("morvane-picture", MFD_CLOEXEC);
    const int forWriter = file < 0 ? -1 : fcntl(file, F_DUPFD_CLOEXEC, 0);
    if (forWriter < 0) {
        *why = withError("cannot make the picture in memory");
        if (file >= 0) close(file);
        return 1;
    }
    const bool done = write(forWriter, why) && copyAll(file, out, why);
    close(file);
    return done ? 0 : 1;
}

// A named pipe without a reader fails at once unless the caller waits.
int openStream(const char* filename, bool pipe, std::string* why) {
    const int flags = O_WRONLY | O_NOCTTY | O_CLOEXEC | (pipe && !waitForReader ? O_NONBLOCK : 0);
    const int fd = open(filename, flags);
    if (fd < 0) {
        *why = pipe && errno == ENXIO ? "no program reads from the pipe"
                                      : withError("cannot write to it");
        return -1;
    }
    // Swapped for another kind of file since it was looked at: not ours to overwrite in place.
    struct stat info;
    if (fstat(fd, &info) != 0 || !(S_ISFIFO(info.st_mode) || S_ISCHR(info.st_mode))) {
        close(fd);
        *why = "it changed while it was being saved";
        return -1;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

}  // namespace

bool readAll(int fd, size_t cap, std::vector<unsigned char>* bytes, std::string* why) {
    struct stat info;
    if (fstat(fd, &info) != 0) {
        *why = withError("cannot read it");
        return false;
    }
    const uint64_t size = static_cast<uint64_t>(info.st_size);
    if ((cap && size > cap) || size > SIZE_MAX / 2) {
        *why = "the file is too large to read (" + std::to_string(size) + " bytes)";
        return false;
    }
    bytes->resize(static_cast<size_t>(size));
    size_t done = 0;
    while (done < bytes->size()) {
        const ssize_t n = pread(fd, bytes->data() + done, bytes->size() - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            *why = withError("cannot read it");
            return false;
        }
        if (n == 0) break;  // shortened meanwhile: what is there is the file
        done += static_cast<size_t>(n);
    }
    bytes->resize(done);
    return true;
}

bool writeAll(int fd, const void* data, size_t size, std::string* why) {
    const char* bytes = static_cast<const char*>(data);
    for (size_t done = 0; done < size;) {
        const ssize_t w = ::write(fd, bytes + done, size - done);
        if (w < 0 && errno == EINTR) continue;
        if (w < 0) {
            *why = withError("writing failed");
            return false;
        }
        done += static_cast<size_t>(w);
    }
    return true;
}

const char* kindOfFile(mode_t mode) {
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISFIFO(mode)) return "a named pipe";
    if (S_ISSOCK(mode)) return "a socket";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    return "not a regular file";
}

int openPictureFile(const char* filename, std::string* why) {
    // Without O_NONBLOCK a named pipe would hold us in open() until a writer came.
    const int fd = open(filename, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *why = std::strerror(errno);
        return -1;
    }
    struct stat info;
    if (fstat(fd, &info) != 0) {
        *why = std::strerror(errno);
    } else if (!S_ISREG(info.st_mode)) {
        *why = std::string("it is ") + kindOfFile(info.st_mode) + ", not a picture file";
    } else {
        return fd;
    }
    close(fd);
    return -1;
}

int writeOutput(const char* filename, const std::function<bool(int fd, std::string* why)>& write,
                std::string* reason) {
    std::string local;
    std::string* why = reason ? reason : &local;
    why->clear();
    if (std::strcmp(filename, kStandardOutput) == 0) {
        if (isatty(STDOUT_FILENO)) {
            *why = "the standard output is a terminal; send it to a file or a pipe";
            return 1;
        }
        return writeStream(STDOUT_FILENO, write, why);
    }
    struct stat info;
    if (stat(filename, &info) != 0 || S_ISREG(info.st_mode)) return replaceFile(filename, write, why);
    if (S_ISFIFO(info.st_mode) || S_ISCHR(info.st_mode)) {
        const int out = openStream(filename, S_ISFIFO(info.st_mode), why);
        if (out < 0) return 1;
        const int status = writeStream(out, write, why);
        close(out);
        return status;
    }
    *why = std::string("it is ") + (S_ISBLK(info.st_mode) ? "a block device" : kindOfFile(info.st_mode));
    return 1;
}

bool outputIsStream(const char* filename) {
    struct stat info;
    return std::strcmp(filename, kStandardOutput) == 0 ||
           (stat(filename, &info) == 0 && (S_ISFIFO(info.st_mode) || S_ISCHR(info.st_mode)));
}

void setOutputWaitsForReader(bool wait) { waitForReader = wait; }
