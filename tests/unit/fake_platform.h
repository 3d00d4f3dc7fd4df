#pragma once

#include "framewk/platform.h"

#include <string>
#include <vector>

struct FakePlatform {
    bool windowCreated = false;
    int redisplays = 0;
    std::vector<std::string> titles;
    int viewport[4] = {0, 0, 512, 512};
    int maxTextureSize = 16384;
    std::vector<FrameDraw> frames;
    unsigned lastTexture = 0;
    std::vector<unsigned> deletedTextures;
    void reset();
};

extern FakePlatform fakePlatform;
