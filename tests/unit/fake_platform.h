#pragma once

#include "framewk/platform.h"

#include <string>
#include <vector>

struct FakePlatform {
    bool windowCreated = false;
    int redisplays = 0;
    std::vector<int> scheduledFrames;  // the delay of each frame asked for
    std::vector<std::string> titles;
    int viewport[4] = {0, 0, 512, 512};
    int maxTextureSize = 16384;
    std::vector<FrameDraw> frames;
    unsigned lastTexture = 0;
    std::vector<unsigned> deletedTextures;
    // What the uploads put into the texture, 4 bytes a texel; rows of
    // texWidth, the rest of a new texture 0xee.
    std::vector<unsigned char> texels;
    unsigned texWidth = 0;
    void reset();
    // Whether the texture holds the top-left w by h pixels of `rgba`.
    bool textureHolds(const void* rgba, int imageWidth, int w, int h) const;
};

extern FakePlatform fakePlatform;
