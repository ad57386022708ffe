// The text labels of one map frame: street names along roads and point-of-interest
// names, each rotated to its road and kept only where it lies in the view and clear
// of every label placed before it; and the icon labels (route shields) drawn over
// the roads.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/gdi/gdi.h"

// A point of the label plane (screen pixels, y down).
struct LabelPoint {
    float x;
    float y;
};

// 1 when the segments a0-a1 and b0-b1 meet; touching counts as meeting.
int SegmentsCross(LabelPoint a0, LabelPoint a1, LabelPoint b0, LabelPoint b1);

class CMapLabels {
  public:
    static constexpr int kCapacity = 20;
    static constexpr int kFull = 20;  // AddSlot's and PlaceLabel's refusal
    static constexpr size_t kDrawnChars = 128;
    // The POI layer marks its names by this score and keyB.
    static constexpr float kPoiScore = -1.0f;
    static constexpr uint32_t kPoiKeyB = 0xFFFFFFFF;

    struct Slot {
        LabelPoint corners[4] = {};
        float angle = 0;  // degrees, counter-clockwise on the screen
        std::string text;
    };

    CMapLabels() = default;
    virtual ~CMapLabels() = default;
    CMapLabels(const CMapLabels&) = delete;
    CMapLabels& operator=(const CMapLabels&) = delete;

    // -1: appended as entry count - 1; an index: the same keys held a smaller score,
    // now replaced; kFull: the table is full or the held score is at least as great.
    int AddSlot(uint32_t keyA, uint32_t keyB, float score);
    // Where the current candidate's text goes: its anchor and angle in degrees.
    void SetCurrent(float x, float y, double angle) {
        current_ = {x, y};
        currentAngle_ = angle;
    }
    // Places the current candidate's text: slot 0 means the newest candidate. 0 or
    // 1 when placed (0 for the newest, 1 for an explicit slot), 1 when the newest
    // was dropped, kFull when an explicit slot placed nothing or count is not 1..20.
    int PlaceLabel(HDC dc, const char* text, int slot);
    void SetMargins();
    void SetMargins(float width, float height) {
        marginX_ = width;
        marginY_ = height;
    }
    // The boxes labels keep clear of (the screen's controls over the map).
    void SetCovers(std::vector<RECT> covers) { covers_ = std::move(covers); }
    void AddCover(const RECT& cover) { covers_.push_back(cover); }
    // Rotates the four corners about the first by -angle degrees; true when the whole
    // box lies in the view, clear of the covers: a label is never drawn cut at the
    // map's edge or under a control.
    bool GetRotatedBox(LabelPoint corners[4], double angle) const;
    // Whether a box (four corners in order) lies wholly in the view and meets no cover.
    bool IsClear(const LabelPoint corners[4]) const;
    // True when the box crosses, lies inside or holds a placed label.
    bool Overlaps(const LabelPoint corners[4]) const;
    // Draws every placed label whose first corner is at or below topRow. bandLimits,
    // in 3D, are the two rows that split the map below the sky into thirds.
    void Draw(HDC dc, int fontHeight, COLORREF colour, COLORREF poiColour, bool view3D, int topRow,
              int bandLimit1, int bandLimit2) const;
    static SIZE GetTextExtent(HDC dc, const char* text);

    int Count() const { return count_; }
    const Slot& SlotAt(int i) const { return slots_[i]; }
    bool IsPoiSlot(int i) const { return score_[i] == kPoiScore && keyB_[i] == kPoiKeyB; }

  private:
    int count_ = 0;
    uint32_t keyA_[kCapacity] = {};
    float score_[kCapacity] = {};
    uint32_t keyB_[kCapacity] = {};
    LabelPoint current_ = {};
    double currentAngle_ = 0;
    float marginX_ = 0;
    float marginY_ = 0;
    std::vector<RECT> covers_;
    Slot slots_[kCapacity];
};

// The icons drawn with a text over the map (route shields), at most ten a frame.
struct IconLabel {
    UINT id;
    int width;
    int height;
    int x;
    int y;
    COLORREF colour;
    std::string text;
};

class IconLabelList {
  public:
    static constexpr size_t kCapacity = 10;
    // 1 without adding when the list is full.
    int Add(UINT id, int width, int height, int x, int y, COLORREF colour, const char* text);
    bool Full() const { return entries_.size() >= kCapacity; }
    bool HoldsText(const char* text) const;
    const std::vector<IconLabel>& Entries() const { return entries_; }

  private:
    std::vector<IconLabel> entries_;
};

// Single-byte text as wide text for drawing, cut at kDrawnChars characters.
std::u16string WidenLabelText(const char* text);
