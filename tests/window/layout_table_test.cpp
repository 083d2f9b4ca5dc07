// SPDX-License-Identifier: GPL-3.0-or-later
// The layout table's own consistency: what the built window cannot show
// (unique names, containers first, the groups and the direction pad's
// outline). Where the controls stand on screen is window_layout_test's.

#include "protocol/commands.h"
#include "window/layout_table.h"

#include <QRect>
#include <algorithm>
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <utility>

namespace {

using namespace layout;

const ControlLayout *find(const std::string &name)
{
    for (const ControlLayout &c : controlTable())
        if (name == c.name)
            return &c;
    return nullptr;
}

QRect toQRect(const Rect &r)
{
    return QRect(r.left, r.top, r.width, r.height);
}

// The control's rectangle in window client coordinates.
QRect windowRect(const ControlLayout &c)
{
    QRect r = toQRect(c.rect);
    for (const ControlLayout *f = c.container ? find(c.container) : nullptr; f;
         f = f->container ? find(f->container) : nullptr)
        r.translate(f->rect.left, f->rect.top);
    return r;
}

// Neighbouring buttons share one pixel of border (255-high buttons on a
// 240 grid); anything more is a misplaced control.
bool overlapsMoreThanAPixel(const QRect &a, const QRect &b)
{
    const QRect common = a.intersected(b);
    return common.width() > kTwipsPerPixel && common.height() > kTwipsPerPixel;
}

bool isFocusable(Kind k)
{
    return k == Kind::CommandButton || k == Kind::OptionButton || k == Kind::TextBox;
}

TEST(LayoutTable, NamesAreUniqueAndContainersComeFirst)
{
    std::set<std::string> seen;
    for (const LineLayout &l : lineTable())
        EXPECT_TRUE(seen.insert(l.name).second) << l.name;
    for (const ControlLayout &c : controlTable()) {
        EXPECT_TRUE(seen.insert(c.name).second) << "duplicate " << c.name;
        if (!c.container)
            continue;
        const ControlLayout *f = find(c.container);
        ASSERT_NE(f, nullptr) << c.name << " in unknown " << c.container;
        EXPECT_EQ(f->kind, Kind::Frame) << c.name << " in non-frame " << c.container;
        EXPECT_LT(f, &c) << c.container << " listed after its child " << c.name;
    }
}

// The window ends at its build on a name the command table lacks; this
// names the row.
TEST(LayoutTable, ButtonsNameKnownCommandsEachOnce)
{
    std::set<std::string> named;
    for (const ControlLayout &c : controlTable()) {
        if (!c.command)
            continue;
        EXPECT_EQ(c.kind, Kind::CommandButton) << c.name;
        EXPECT_NE(findCommand(QString::fromLatin1(c.command)), nullptr) << c.name << " sends " << c.command;
        EXPECT_TRUE(named.insert(c.command).second) << c.command << " on two buttons";
    }
}

TEST(LayoutTable, CountsByKind)
{
    std::map<Kind, int> count;
    for (const ControlLayout &c : controlTable())
        ++count[c.kind];
    EXPECT_EQ(count[Kind::CommandButton], 69);
    EXPECT_EQ(count[Kind::Label], 23);
    EXPECT_EQ(count[Kind::OptionButton], 4);
    EXPECT_EQ(count[Kind::TextBox], 1);
    EXPECT_EQ(count[Kind::Frame], 14);
    EXPECT_EQ(count[Kind::Image], 1);
    EXPECT_EQ(lineTable().size(), 12u);
}

// The port panel opens over the "COM" button on purpose.
bool isIntendedOverlap(const std::string &a, const std::string &b)
{
    const auto pair = std::minmax(a, b);
    return pair.first == "Command33" && pair.second == "Frame8";
}

TEST(LayoutTable, ControlsOfOneContainerDoNotOverlap)
{
    const auto &t = controlTable();
    for (size_t i = 0; i < t.size(); ++i)
        for (size_t j = i + 1; j < t.size(); ++j) {
            const bool sameContainer =
                (!t[i].container && !t[j].container) ||
                (t[i].container && t[j].container && std::string(t[i].container) == t[j].container);
            if (sameContainer && !isIntendedOverlap(t[i].name, t[j].name)) {
                EXPECT_FALSE(overlapsMoreThanAPixel(toQRect(t[i].rect), toQRect(t[j].rect)))
                    << t[i].name << " overlaps " << t[j].name;
            }
        }
}

// Window-level controls that form one visual group without a frame around
// them. Every other window-level control is a group of its own.
const std::map<std::string, std::vector<std::string>> kUnframedGroups = {
    {"direction pad", {"Command5", "Command9", "Command6", "Command8", "Command7"}},
    {"adjustment pairs",
     {"Label3", "Label13", "Label17", "Label18", "Command1", "Command2", "Command15", "Command35",
      "Command48", "Command49", "Command50", "Command51"}},
    {"right-hand column", {"Command13", "Command30", "Command14", "Command3", "Command16"}},
    {"key disabling", {"Label19", "Command56", "Command57", "Command58"}},
    {"picture modes",
     {"Command4", "Command10", "Command11", "Command39", "Command40", "Command41", "Command42"}},
    {"status queries", {"Command44", "Command46", "Command54", "Command45", "Command47"}},
};

std::map<std::string, QRect> windowGroupBounds()
{
    std::map<std::string, std::string> groupOf;
    for (const auto &[group, members] : kUnframedGroups)
        for (const std::string &m : members)
            groupOf[m] = group;
    std::map<std::string, QRect> bounds;
    for (const ControlLayout &c : controlTable())
        if (!c.container) {
            const auto it = groupOf.find(c.name);
            QRect &box = bounds[it == groupOf.end() ? c.name : it->second];
            box = box.united(toQRect(c.rect));
        }
    for (const LineLayout &l : lineTable())
        bounds["direction pad"] |= QRect(QPoint(l.x1, l.y1), QPoint(l.x2, l.y2)).normalized();
    return bounds;
}

TEST(LayoutTable, WindowLevelGroupsDoNotOverlap)
{
    for (const auto &[group, members] : kUnframedGroups)
        for (const std::string &m : members) {
            const ControlLayout *c = find(m);
            ASSERT_NE(c, nullptr) << m << " of the " << group;
            EXPECT_EQ(c->container, nullptr) << m << " of the " << group << " is in a frame";
        }
    const auto bounds = windowGroupBounds();
    for (auto a = bounds.begin(); a != bounds.end(); ++a)
        for (auto b = std::next(a); b != bounds.end(); ++b)
            if (!isIntendedOverlap(a->first, b->first)) {
                EXPECT_FALSE(overlapsMoreThanAPixel(a->second, b->second))
                    << a->first << " overlaps " << b->first;
            }
}

TEST(LayoutTable, TabOrderListsEveryFocusableControlOnceFromPowerOn)
{
    const auto &order = tabOrder();
    ASSERT_FALSE(order.empty());
    EXPECT_STREQ(order.front(), "Command17");
    std::set<std::string> listed;
    for (const char *name : order) {
        const ControlLayout *c = find(name);
        ASSERT_NE(c, nullptr) << name;
        EXPECT_TRUE(isFocusable(c->kind)) << name << " cannot take focus";
        EXPECT_TRUE(listed.insert(name).second) << name << " listed twice";
    }
    for (const ControlLayout &c : controlTable())
        if (isFocusable(c.kind)) {
            EXPECT_EQ(listed.count(c.name), 1u) << c.name << " unreachable by Tab";
        }
}

TEST(LayoutTable, ButtonColourFollowsItsCaption)
{
    const std::map<std::string, QRgb> colourOf = {
        {"ON", colour::kLightGreen}, {"OFF", colour::kLightRed}, {"↑", colour::kPeach},
        {"↓", colour::kPeach},       {"←", colour::kPeach},      {"→", colour::kPeach},
    };
    for (const ControlLayout &c : controlTable()) {
        if (c.kind != Kind::CommandButton || !c.caption)
            continue;
        const auto it = colourOf.find(c.caption);
        if (it != colourOf.end()) {
            EXPECT_EQ(c.background, it->second) << c.name << " \"" << c.caption << '"';
        }
    }
}

using Point = std::pair<int, int>;

TEST(DirectionPadOutline, SegmentsCloseIntoOneLoop)
{
    const auto &lines = lineTable();
    std::map<Point, std::vector<size_t>> atPoint;
    for (size_t i = 0; i < lines.size(); ++i) {
        const LineLayout &l = lines[i];
        EXPECT_TRUE((l.x1 == l.x2) != (l.y1 == l.y2)) << l.name << " not horizontal or vertical";
        atPoint[{l.x1, l.y1}].push_back(i);
        atPoint[{l.x2, l.y2}].push_back(i);
    }
    for (const auto &[p, segments] : atPoint)
        EXPECT_EQ(segments.size(), 2u) << "corner " << p.first << "," << p.second;

    // Walk the outline from the first segment; a closed cross visits all twelve.
    std::set<size_t> visited;
    size_t current = 0;
    Point at{lines[0].x2, lines[0].y2};
    while (visited.insert(current).second) {
        const auto &here = atPoint[at];
        ASSERT_EQ(here.size(), 2u);
        current = here[0] == current ? here[1] : here[0];
        const LineLayout &l = lines[current];
        at = (Point{l.x1, l.y1} == at) ? Point{l.x2, l.y2} : Point{l.x1, l.y1};
    }
    EXPECT_EQ(visited.size(), lines.size());
    EXPECT_EQ(current, 0u);
}

bool crossesInterior(const LineLayout &l, const QRect &r)
{
    const int left = r.left(), right = r.left() + r.width();
    const int top = r.top(), bottom = r.top() + r.height();
    const auto [x1, x2] = std::minmax(l.x1, l.x2);
    const auto [y1, y2] = std::minmax(l.y1, l.y2);
    if (y1 == y2)
        return y1 > top && y1 < bottom && std::max(x1, left) < std::min(x2, right);
    return x1 > left && x1 < right && std::max(y1, top) < std::min(y2, bottom);
}

TEST(DirectionPadOutline, CrossesNoControl)
{
    for (const LineLayout &l : lineTable())
        for (const ControlLayout &c : controlTable())
            EXPECT_FALSE(crossesInterior(l, windowRect(c))) << l.name << " across " << c.name;
}

} // namespace
