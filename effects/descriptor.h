// What an effect is, as data: its name, modes, settings and how it starts,
// and its family's keys. The effect base reads it for titles, value keys,
// mode keys and the start; the shell's catalogue points at it.
#pragma once

#include "image/imagergba.h"

#include <cstdint>
#include <string>

// Keys as effects receive them: special keys by their GLUT codes, Delete by
// its ASCII code. changeValue gets them cast to char ('d', 'e', 'f', 'g' for
// the arrows), and 0 and 1 from the menu's sliders (a click, a drag).
constexpr int kKeyLeft = 100, kKeyUp = 101, kKeyRight = 102, kKeyDown = 103;
constexpr int kKeyPageUp = 104, kKeyPageDown = 105, kKeyHome = 106, kKeyEnd = 107;
constexpr int kKeyInsert = 108;
constexpr int kKeyDelete = 127;

// How a changed setting shows at once.
enum class applied : char {
    later,    // not at all: the next click or drag uses it
    byClick,  // LBAction, with the button held for the call
    byFrame,  // idleAction, with the button held for the call
};

// What the members of a family share.
struct familyInfo {
    const char* kind;        // how --list calls them: "tool", "filter" or "warp"
    bool upDownSetsValue1;   // Up/Down step value1 and Right/Left value2; else the reverse
    bool sizeKeys;           // Delete and Page Down step `size` within 1 to 30
    applied change;          // after a value key or slider drag, a mode change, the start
    bool undoes;             // the right button brings back the committed picture
};

// Upper ends worked out when a setting is set: from the area (its larger
// side, a fifth of it, half its smaller side, half the distance from its
// centre to a corner) or from the current value1 (value2 only: a tile less
// one, half a tile less one, half a tile; the effects that have them work
// them out again at each application). halfSmallerSide also starts the value
// at a quarter of it.
enum class rangeRule : char {
    fixed,
    largerSide,
    fifthOfLargerSide,
    halfSmallerSide,
    halfDiagonal,
    tileLessOne,
    halfTileLessOne,
    halfTile,
};

// One setting: start value, range, the step of its arrow keys, and what a
// step past either end does.
struct settingInfo {
    float start;
    int min;
    int max;  // unless `upper` works it out
    float step;
    rangeRule upper = rangeRule::fixed;
    bool wraps = false;  // past one end it comes back at the other, instead of stopping

    constexpr settingInfo upTo(rangeRule rule) const {
        settingInfo s = *this;
        s.upper = rule;
        return s;
    }
    constexpr settingInfo wrapping() const {
        settingInfo s = *this;
        s.wraps = true;
        return s;
    }
};

// Both settings of one mode, for effects whose modes bring their own.
struct modeSettings {
    settingInfo value1 = {};
    settingInfo value2 = {};
};

// One effect. The first five fields are given in order; the rest, rarely
// needed, by the chained setters below.
struct effectInfo {
    const familyInfo* family;
    const char* name;              // follows "Morvane Application | " in the title
    const char* modes[8] = {};     // mode names in order; the unused ones null
    settingInfo value1 = {};
    settingInfo value2 = {};
    const modeSettings* perMode = nullptr;  // one pair per mode, set with the mode
    int8_t unnamedModes = 0;       // a number of modes that have no names
    int8_t startMode = 1;          // selected at the start where there are several modes
    bool usesColor = false;        // the menu shows the palette
    Rgba color = {0, 0, 0, 255};   // the start colour
    int32_t size = 0;              // the start size
    bool live = false;             // takes every key and motion event: no throttle
    bool commits = true;           // the start copies the picture into backup
    bool keepsScratch = false;     // and into scratch
    bool clickApplies = false;     // the slider's click shows at once too, ahead of its press

    int modeCount() const;
    // value1 (n = 1) or value2 (n = 2) as the settings give it in mode m.
    const settingInfo& setting(int n, int m) const;

    constexpr effectInfo settingsPerMode(const modeSettings* s) const {
        return with(&effectInfo::perMode, s);
    }
    constexpr effectInfo modesWithoutNames(int8_t n) const {
        return with(&effectInfo::unnamedModes, n);
    }
    constexpr effectInfo startingIn(int8_t m) const { return with(&effectInfo::startMode, m); }
    constexpr effectInfo usingColor(Rgba c) const {
        return with(&effectInfo::usesColor, true).with(&effectInfo::color, c);
    }
    constexpr effectInfo sized(int32_t n) const { return with(&effectInfo::size, n); }
    constexpr effectInfo takingEveryEvent() const { return with(&effectInfo::live, true); }
    constexpr effectInfo leavingBackup() const { return with(&effectInfo::commits, false); }
    constexpr effectInfo keepingScratch() const { return with(&effectInfo::keepsScratch, true); }
    constexpr effectInfo applyingOnClick() const { return with(&effectInfo::clickApplies, true); }

    template <class T>
    constexpr effectInfo with(T effectInfo::*field, T value) const {
        effectInfo e = *this;
        e.*field = value;
        return e;
    }
};

// "Morvane Application | <name>", and " | Mode <m>: <mode name>" for a mode
// from 1 to the mode count that has a name.
std::string effectTitle(const effectInfo& info, int mode = 0);

// v past either end of lo..hi comes back at the other.
template <class T>
T wrapInto(T v, T lo, T hi) {
    if (v > hi) return lo;
    if (v < lo) return hi;
    return v;
}
