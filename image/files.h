// Picture files whatever their format: what a name leads to, opening one to
// read, and where a saved picture goes (a file replaced safely, a pipe or a
// device written straight, or the standard output).
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// "a folder", "a named pipe", "a socket", "a device", or "not a regular file".
const char* kindOfFile(mode_t mode);

// Opens a picture file to read: regular files only, and without waiting for
// a writer at a named pipe. -1 with `why` when it cannot.
int openPictureFile(const char* filename, std::string* why);

// The whole of an open file, read from its start; at most `cap` bytes
// (0: no cap). False with `why` when it cannot be read or is larger.
bool readAll(int fd, size_t cap, std::vector<unsigned char>* bytes, std::string* why);

// All of `size` bytes to `fd`; false with `why`.
bool writeAll(int fd, const void* data, size_t size, std::string* why);

// The file name that stands for the standard output.
extern const char* const kStandardOutput;  // "-"

// Writes one picture file to `filename` through `write`, which gets a
// seekable, empty file open for writing (its own descriptor, to close) and
// returns false with a reason when it could not write the picture whole.
// Where `filename` leads, links followed:
// - a regular file or a new name: the picture is written beside it under a
//   temporary name and renamed over it only when complete, so a failed save
//   leaves an earlier file intact; a read-only file is not replaced;
// - a named pipe, a character device or "-" (the standard output): the
//   finished file is copied to it, nothing is created or renamed;
// - a folder, a socket or a block device: refused.
// Returns 0, or 1 with `reason`.
int writeOutput(const char* filename, const std::function<bool(int fd, std::string* why)>& write,
                std::string* reason);

// Whether `filename` is a stream (a named pipe, a character device or the
// standard output): each picture written to it follows the one before
// instead of replacing it.
bool outputIsStream(const char* filename);

// Whether writing to a named pipe waits for a program to read it, as command
// line tools do, or fails at once, so that the window never freezes on a
// save. Off by default.
void setOutputWaitsForReader(bool wait);
