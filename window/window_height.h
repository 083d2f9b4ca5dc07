// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window's outer height, which decides how much of its fixed layout is
// in view, and the heights the panel sets, in twips.

namespace window_height {
constexpr int kCompact = 5350;
constexpr int kMonitor = 6645;
constexpr int kUnlocked = 7200;
constexpr int kFull = 9100;
// From this height up the window counts as tall: the data button shrinks it.
constexpr int kTall = 6000;
} // namespace window_height

// What a part of the window that changes its height is handed.
class WindowHeight {
public:
    virtual int heightTwips() const = 0;
    virtual void setHeightTwips(int twips) = 0;

protected:
    ~WindowHeight() = default;
};
