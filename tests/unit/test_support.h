// Helpers shared by the unit tests.
#pragma once

#include "image/imagergba.h"

#include <string>
#include <vector>

// A fresh temporary folder that is the working directory for the object's
// life; removed with everything in it afterwards.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::string& path() const { return path_; }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

private:
    std::string path_;
    std::string previous_;
};

// Sorted names in a folder, without "." and "..".
std::vector<std::string> listDir(const std::string& path);
std::string readFile(const std::string& path);

// An image whose pixels all differ, filled from a simple hash of (x, y).
ImageRGBA* patternImage(int width, int height, unsigned seed = 1);
bool sameImage(const ImageRGBA* a, const ImageRGBA* b);
