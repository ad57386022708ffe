// The region records: one per region number (0-63), with the sub-areas of the
// regions chosen by halves. The region page keeps its choice, its tree items and
// its picture in them; generation walks them to record the names of what was
// installed ("namdict.bin").
#pragma once

#include <string>
#include <vector>

#include "platform/gdi/gdi.h"

struct TreeItem;  // the tree control's item (platform/user/controls.h)

// Outlines of a region or sub-area on a picture, in the picture's client
// coordinates, each with its bounding rectangle.
struct PictureOutlines {
    std::vector<std::vector<POINT>> outlines;
    std::vector<RECT> outlineRects;

    // 1 when one of the outlines (tried in order, with its rectangle) holds the
    // point; 0 without outlines.
    int HitTest(LONG x, LONG y) const;
    void AddOutline(std::vector<POINT> points);
};

// Where a region's or sub-area's name is drawn on a picture.
struct RegionLabel {
    int shown = 0;
    POINT at{};
    // A label in two parts: the first at `at`, the second at `at` + secondOffset.
    std::u16string first;
    std::u16string second;
    POINT secondOffset{};
    int leader = 0;  // a line from leaderFrom to the label
    POINT leaderFrom{};
};

struct SubAreaRecord : PictureOutlines {
    std::u16string name;
    int chosen = 0;
    // The sub-area dialog's choice until it ends with OK.
    int pendingChoice = 0;
    RegionLabel label;
    TreeItem* treeItem = nullptr;
};

struct RegionRecord : PictureOutlines {
    std::u16string name;
    int chosen = 0;
    std::vector<SubAreaRecord> subAreas;
    RegionLabel label;
    // The sub-area dialog's picture is drawn from the region's cells; its list
    // panel is this wide (200 unless it lies between 201 and 399).
    int pictureBitmapId = 0;
    int panelWidth = 0;
    TreeItem* treeItem = nullptr;
    TreeItem* treeItemCopy = nullptr;

    // Whether some sub-area has outlines of its own.
    bool HasSubAreaOutlines() const;
};
using RegionTable = std::vector<RegionRecord>;
