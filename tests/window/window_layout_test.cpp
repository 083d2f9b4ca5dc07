// SPDX-License-Identifier: GPL-3.0-or-later
// The real window against its fixed layout: where every control stands, what
// each height uncovers, focus order, the state the window starts in, and
// colours, fonts and captions as they come out on screen.

#include "protocol/commands.h"
#include "session/panel_session.h"
#include "support/panel_fixture.h"
#include "support/test_names.h"
#include "testing/wait.h"
#include "window/caption_fit.h"
#include "window/command_button.h"
#include "window/control_panel_window.h"
#include "window/layout_table.h"
#include "window/monitor_label.h"
#include "window/window_builder.h"

#include <QApplication>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include <limits>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

using namespace layout;

int px(int twips)
{
    return qRound(double(twips) / kTwipsPerPixel);
}

// The window's bands in client pixels: main panel, traffic monitor and
// status buttons, lower panel.
struct Band {
    int top, bottom;
};
const Band kBands[] = {{px(0), px(4815)}, {px(4920), px(6210)}, {px(6735), px(8655)}};
constexpr int kNoBand = -1;

QRect inWindow(const QWidget *w, const QWidget &form)
{
    return QRect(w->mapTo(&form, QPoint(0, 0)), w->size());
}

int bandOf(const QRect &r)
{
    for (int b = 0; b < 3; ++b)
        if (r.top() >= kBands[b].top && r.top() < kBands[b].bottom)
            return b;
    return kNoBand;
}

bool overlapsMoreThanAStrip(const QRect &a, const QRect &b)
{
    const QRect common = a.intersected(b);
    return common.width() > 1 && common.height() > 1;
}

// Every control of the layout plus the outline segments, by name.
std::vector<const char *> allNames()
{
    std::vector<const char *> names;
    for (const ControlLayout &c : controlTable())
        names.push_back(c.name);
    for (const LineLayout &l : lineTable())
        names.push_back(l.name);
    return names;
}

bool isInside(const QWidget *w, const char *frameName)
{
    for (const QWidget *p = w; p; p = p->parentWidget())
        if (p->objectName() == QLatin1String(frameName))
            return true;
    return false;
}

// --- On-screen colour ------------------------------------------------------

QImage picture(QWidget *w)
{
    return w->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

QRect deviceRect(const QRect &logical, const QImage &image)
{
    const qreal dpr = image.devicePixelRatio();
    return QRect(qRound(logical.left() * dpr), qRound(logical.top() * dpr), qRound(logical.width() * dpr),
                 qRound(logical.height() * dpr));
}

QRgb dominantColour(const QImage &image)
{
    std::map<QRgb, int> count;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            ++count[image.pixel(x, y) & RGB_MASK];
    return std::max_element(count.begin(), count.end(),
                            [](const auto &a, const auto &b) { return a.second < b.second; })
        ->first;
}

QRgb averageColour(const QImage &image, const QRect &area)
{
    qint64 r = 0, g = 0, b = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const QRgb p = image.pixel(x, y);
            r += qRed(p), g += qGreen(p), b += qBlue(p);
        }
    const qint64 n = qMax<qint64>(1, qint64(area.width()) * area.height());
    return qRgb(int(r / n), int(g / n), int(b / n)) & RGB_MASK;
}

int distance(QRgb a, QRgb b)
{
    return qAbs(qRed(a) - qRed(b)) + qAbs(qGreen(a) - qGreen(b)) + qAbs(qBlue(a) - qBlue(b));
}

int pixelsOfColour(const QImage &image, QRgb colour)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += distance(image.pixel(x, y), colour) <= 24;
    return n;
}

// The caption's ink on a button: pixels of its face that are far from the
// face colour. Rows of ink, top to bottom, and their bounding box.
struct Ink {
    QRect box;
    int lines = 0;
};

Ink captionInk(CommandButton *button)
{
    const QImage image = picture(button);
    const int edge = 2; // the raised edge around the face
    const QRect face = deviceRect(button->rect().adjusted(edge, edge, -edge, -edge), image);
    const QRgb faceColour = button->faceColour().rgb();
    Ink ink;
    bool inLine = false;
    for (int y = face.top(); y <= face.bottom(); ++y) {
        bool rowHasInk = false;
        for (int x = face.left(); x <= face.right(); ++x)
            if (distance(image.pixel(x, y), faceColour) > 150) {
                ink.box |= QRect(x, y, 1, 1);
                rowHasInk = true;
            }
        ink.lines += rowHasInk && !inLine;
        inLine = rowHasInk;
    }
    ink.box.translate(-face.topLeft());
    return ink;
}

// --- The started window ------------------------------------------------------

class WindowLayoutTest : public PanelTest {
protected:
    void activate()
    {
        form->activateWindow();
        QApplication::setActiveWindow(form.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    }
    std::string focusName() const
    {
        QWidget *w = QApplication::focusWidget();
        return w ? w->objectName().toStdString() : "(none)";
    }
    void pressTab(Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, modifiers);
    }
    std::map<std::string, QRect> geometries() const
    {
        std::map<std::string, QRect> all;
        for (const char *name : allNames())
            all[name] = control(name)->geometry();
        return all;
    }
    std::vector<QWidget *> visibleClickables() const
    {
        std::vector<QWidget *> found;
        for (const ControlLayout &c : controlTable())
            if ((c.kind == Kind::CommandButton || c.kind == Kind::OptionButton || c.kind == Kind::TextBox) &&
                control(c.name)->isVisible())
                found.push_back(control(c.name));
        return found;
    }
    void expectNoOverlapButThePortPanelOverCom()
    {
        const auto clickables = visibleClickables();
        for (size_t i = 0; i < clickables.size(); ++i)
            for (size_t j = i + 1; j < clickables.size(); ++j) {
                QWidget *a = clickables[i], *b = clickables[j];
                const bool intended =
                    (a->objectName() == QLatin1String("Command33") && isInside(b, "Frame8")) ||
                    (b->objectName() == QLatin1String("Command33") && isInside(a, "Frame8"));
                if (!intended) {
                    EXPECT_FALSE(overlapsMoreThanAStrip(inWindow(a, *form), inWindow(b, *form)))
                        << a->objectName().toStdString() << " overlaps " << b->objectName().toStdString();
                }
            }
    }
};

TEST_F(WindowLayoutTest, WindowIsCaptionedFixedInSizeAndSilver)
{
    EXPECT_EQ(form->windowTitle(), QStringLiteral("VELNO   KT70 & PV70 & PV75   CONTROL   Ver.1.40"));
    EXPECT_EQ(form->minimumSize(), form->maximumSize()) << "the operator cannot resize";
    EXPECT_FALSE(form->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(form->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(form->windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_EQ(form->width(), px(9495));
    // A spot between the "POWER" frame and the window's corner.
    const QImage image = picture(form.get());
    EXPECT_EQ(image.pixel(deviceRect(QRect(3, 3, 1, 1), image).topLeft()) & RGB_MASK, 0xC0C0C0u);
}

TEST_F(WindowLayoutTest, EveryControlLiesInsideItsContainerAndItsBand)
{
    form->setHeightTwips(9100);
    const QRect fullClient(0, 0, px(kClientWidth), px(kClientFullHeight));
    for (const char *name : allNames()) {
        QWidget *w = control(name);
        const QRect container = w->parentWidget() == form.get() ? fullClient : w->parentWidget()->rect();
        EXPECT_TRUE(container.contains(w->geometry()))
            << name << " sticks out of " << w->parentWidget()->objectName().toStdString();
        const QRect r = inWindow(w, *form);
        const int band = bandOf(r);
        ASSERT_NE(band, kNoBand) << name << " starts between bands, at " << r.top();
        EXPECT_LE(r.bottom() + 1, kBands[band].bottom) << name << " runs out of band " << band + 1;
    }
}

// Representative rows of the layout in twips, frame-relative inside frames.
struct Placed {
    const char *name;
    int left, top, width, height;
};
const Placed kPlaced[] = {
    {"Frame1", 120, 240, 1695, 975},      {"Command17", 120, 600, 615, 300},
    {"Command29", 1680, 600, 735, 300},   {"Image1", 8160, 120, 1200, 390},
    {"Command6", 1200, 3000, 855, 375},   {"Command3", 8400, 3600, 975, 492},
    {"Command33", 4080, 4200, 1815, 375}, {"Frame13", 120, 480, 2535, 615},
    {"Label22", 930, 915, 5295, 300},     {"Command34", 6600, 5040, 1200, 375},
    {"Command54", 8400, 5640, 975, 252},  {"Command74", 1920, 480, 1450, 255},
    {"Text1", 600, 165, 5055, 345},       {"Command67", 1080, 600, 735, 255},
};

TEST_F(WindowLayoutTest, ControlsStandWhereTheLayoutPutsThem)
{
    for (const Placed &p : kPlaced) {
        const QRect g = control(p.name)->geometry();
        const QRect expected(QPoint(px(p.left), px(p.top)),
                             QPoint(px(p.left + p.width) - 1, px(p.top + p.height) - 1));
        EXPECT_EQ(g, expected) << p.name;
    }
}

TEST_F(WindowLayoutTest, NothingMovesOrResizesAtRunTime)
{
    const auto before = geometries();
    for (int height : {6645, 7200, 9100, 5350})
        form->setHeightTwips(height);
    control<QFrame>("Frame8")->show();
    control<QPushButton>("Command34")->show();
    control<QPushButton>("Command34")->setText(QStringLiteral("データを表示しない"));
    const QString longText(400, QLatin1Char('W'));
    for (const char *line : {"Label11", "Label12", "Label22"})
        control<MonitorLabel>(line)->setText(longText);
    control<QLineEdit>("Text1")->setText(longText);
    pumpEvents(50);
    EXPECT_EQ(geometries(), before);
}

TEST_F(WindowLayoutTest, ButtonsDoNotOverlapAndThePortPanelLiesOverCom)
{
    form->setHeightTwips(9100);
    expectNoOverlapButThePortPanelOverCom();

    click("Command33");
    ASSERT_TRUE(control<QFrame>("Frame8")->isVisible());
    expectNoOverlapButThePortPanelOverCom();
    const QRect com = inWindow(control("Command33"), *form);
    EXPECT_TRUE(inWindow(control("Frame8"), *form).contains(com));
    EXPECT_TRUE(isInside(form->childAt(com.center()), "Frame8")) << "the panel is stacked above COM";
    for (const char *option : {"Option1", "Option2", "Option9", "Option10"}) {
        QWidget *w = control(option);
        EXPECT_EQ(form->childAt(inWindow(w, *form).center()), w) << option << " is covered";
    }
}

// What each height leaves in view; a control counts only when it is whole.
struct HeightCase {
    int twips;
    std::set<int> bands;
};
const HeightCase kHeights[] = {{5350, {0}}, {6645, {0, 1}}, {7200, {0, 1}}, {9100, {0, 1, 2}}};

TEST_F(WindowLayoutTest, EachHeightUncoversExactlyItsBands)
{
    for (const HeightCase &h : kHeights) {
        form->setHeightTwips(h.twips);
        const QRect client = form->rect();
        for (const char *name : allNames()) {
            const QRect r = inWindow(control(name), *form);
            const bool expected = h.bands.count(bandOf(r)) > 0;
            EXPECT_EQ(client.contains(r), expected) << name << " at height " << h.twips;
        }
    }
}

// Controls the order reaches only while they are shown.
const std::set<std::string> kHiddenAtStart = {"Option1", "Option2", "Command34", "Option9", "Option10"};

TEST_F(WindowLayoutTest, TabWalksTheLayoutsOrderFromPowerOnSkippingHiddenControls)
{
    activate();
    std::vector<std::string> expected;
    for (const char *name : tabOrder())
        if (!kHiddenAtStart.count(name))
            expected.push_back(name);
    ASSERT_EQ(focusName(), "Command17");
    std::vector<std::string> walked{focusName()};
    for (size_t i = 1; i < expected.size(); ++i) {
        pressTab();
        walked.push_back(focusName());
    }
    EXPECT_EQ(walked, expected);
    pressTab();
    EXPECT_EQ(focusName(), "Command17") << "the order wraps round";
    pressTab(Qt::ShiftModifier);
    EXPECT_EQ(focusName(), "Command67");
}

TEST_F(WindowLayoutTest, TabSkipsHiddenControlsAndReachesThemOnceShown)
{
    activate();
    // Neighbours in the layout's focus order, across the hidden controls.
    const std::pair<const char *, const char *> hops[] = {{"Command33", "Command15"},
                                                          {"Command30", "Command4"},
                                                          {"Command82", "Text1"},
                                                          {"Command98", "Command53"}};
    for (const auto &[from, to] : hops) {
        control(from)->setFocus(Qt::TabFocusReason);
        pressTab();
        EXPECT_EQ(focusName(), to) << "after " << from;
    }
    click("Command33");
    control<QPushButton>("Command34")->show();
    control("Command33")->setFocus(Qt::TabFocusReason);
    for (const char *next : {"Option1", "Option2", "Command34", "Command15"}) {
        pressTab();
        EXPECT_EQ(focusName(), next) << "panel shown: " << control("Frame8")->isVisible();
    }
    control("Command30")->setFocus(Qt::TabFocusReason);
    for (const char *next : {"Option9", "Option10", "Command4"}) {
        pressTab();
        EXPECT_EQ(focusName(), next) << "panel shown: " << control("Frame8")->isVisible();
    }
}

TEST_F(WindowLayoutTest, NoButtonIsDefaultSoEnterInTheEntryBoxClicksNothing)
{
    activate();
    int clicks = 0;
    for (QPushButton *b : form->findChildren<QPushButton *>()) {
        EXPECT_FALSE(b->isDefault()) << b->objectName().toStdString();
        EXPECT_FALSE(b->autoDefault()) << b->objectName().toStdString();
        QObject::connect(b, &QPushButton::clicked, form.get(), [&clicks] { ++clicks; });
    }
    auto *entry = control<QLineEdit>("Text1");
    entry->setFocus(Qt::MouseFocusReason);
    entry->setText(QStringLiteral("C00"));
    QTest::keyClick(entry, Qt::Key_Return);
    QTest::keyClick(entry, Qt::Key_Enter);
    QTest::keyClick(entry, Qt::Key_Escape);
    EXPECT_EQ(clicks, 0);
    EXPECT_TRUE(com1.readFor(100).isEmpty());

    // The focused button is the one the keyboard works.
    control("Command17")->setFocus(Qt::TabFocusReason);
    QSignalSpy powerOn(control<QPushButton>("Command17"), &QPushButton::clicked);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    EXPECT_EQ(powerOn.count(), 1);
}

// --- Colours, fonts and captions on screen --------------------------------

struct Look {
    const char *name;
    QRgb background;
    QRgb text;
    const char *family;
    int pixelSize; // the caption font's points at 96 dpi
    bool bold;
};
constexpr const char *kGothic = "IPAGothic";
constexpr const char *kPGothic = "IPAPGothic";
const Look kLooks[] = {
    {"Command17", 0xC0FFC0, 0x000000, kPGothic, 12, true},  // "ON"
    {"Command26", 0xFFC0C0, 0x000000, kPGothic, 12, true},  // "OFF"
    {"Command28", 0xC0FFFF, 0x000000, kPGothic, 12, true},  // input mode
    {"Command5", 0xFFE0C0, 0x000000, kPGothic, 12, true},   // arrow
    {"Command6", 0xFF8000, 0x000000, kGothic, 12, false},   // "SELECT"
    {"Command2", 0xFFC080, 0x000000, kGothic, 12, true},    // "VOL" "-"
    {"Command48", 0xC0FFFF, 0x000000, kPGothic, 12, false}, // "D.Zoom" "+"
    {"Command13", 0x00C0C0, 0x000000, kGothic, 12, false},  // "A-IMAGE"
    {"Command14", 0xC0C0FF, 0x000000, kGothic, 12, false},  // "P-TIMER"
    {"Command16", 0xC0C0C0, 0x000000, kGothic, 12, true},   // "END"
    {"Command31", 0xC0FFFF, 0x000000, kPGothic, 12, false}, // "Regular"
    {"Command47", 0xC0FFFF, 0x000000, kGothic, 11, true},   // status query
    {"Command63", 0xC0FFC0, 0x000000, kGothic, 12, false},  // "DEF"
    {"Command96", 0xFFC0C0, 0x000000, kGothic, 12, true},   // "CLS"
    {"Label1", 0xC0C0C0, 0xC00000, kGothic, 12, true},      // "POWER"
    {"Label13", 0xC0C0C0, 0x000000, kGothic, 12, false},    // "Brightness"
    {"Label23", 0xC0C0C0, 0x000000, kGothic, 11, false},    // "STATUS"
    {"Label26", 0xC0C0C0, 0x000000, kGothic, 13, false},    // "CMD"
    {"Label24", 0xC0C0C0, 0x000000, kGothic, 12, true},     // row label "Video"
    {"Option10", 0xC0C0C0, 0x000000, kGothic, 12, true},
};

TEST_F(WindowLayoutTest, ColoursAndFontsAsTheLayoutSetsThem)
{
    click("Command33"); // the options are drawn only while their panel shows
    for (const Look &look : kLooks) {
        QWidget *w = control(look.name);
        const QImage image = picture(w);
        EXPECT_EQ(dominantColour(image), look.background) << look.name;
        EXPECT_GT(pixelsOfColour(image, look.text), 0) << look.name << " has no text in its colour";
        const QFontInfo font(w->font());
        EXPECT_EQ(font.family(), QLatin1String(look.family)) << look.name;
        EXPECT_EQ(font.pixelSize(), look.pixelSize) << look.name;
        EXPECT_EQ(w->font().bold(), look.bold) << look.name;
    }
}

TEST_F(WindowLayoutTest, ButtonsKeepTheirColourWhilePressedAndFocused)
{
    activate();
    for (const char *name : {"Command26", "Command13", "Command6"}) {
        auto *button = control<CommandButton>(name);
        const QRgb face = button->faceColour().rgb() & RGB_MASK;
        button->setFocus(Qt::TabFocusReason);
        EXPECT_EQ(dominantColour(picture(button)), face) << name << " focused";
        button->setDown(true);
        EXPECT_EQ(dominantColour(picture(button)), face) << name << " pressed";
        button->setDown(false);
    }
}

TEST_F(WindowLayoutTest, MonitorLinesAreWhiteBoxesWithABlackLine)
{
    const std::pair<const char *, QRgb> lines[] = {
        {"Label11", 0x000000}, {"Label12", 0x000000}, {"Label22", 0xFF0000}};
    for (const auto &[name, textColour] : lines) {
        auto *line = control<MonitorLabel>(name);
        line->setText(QStringLiteral(" Power ON"));
        const QImage image = picture(line);
        EXPECT_EQ(dominantColour(image), 0xFFFFFFu) << name;
        EXPECT_EQ(image.pixel(0, image.height() / 2) & RGB_MASK, 0x000000u) << name << " border";
        EXPECT_EQ(image.pixel(image.width() / 2, 0) & RGB_MASK, 0x000000u) << name << " border";
        EXPECT_GT(pixelsOfColour(image, textColour), 0) << name << " text";
    }
    EXPECT_EQ(QFontInfo(control("Label11")->font()).family(), QLatin1String(kPGothic));
    EXPECT_EQ(QFontInfo(control("Label11")->font()).pixelSize(), 13);
    EXPECT_EQ(QFontInfo(control("Text1")->font()).family(), QLatin1String(kGothic));
    EXPECT_TRUE(control("Text1")->font().bold());
}

TEST_F(WindowLayoutTest, ComKeepsThePlatformLook)
{
    auto *com = control<CommandButton>("Command33");
    EXPECT_FALSE(com->faceColour().isValid());
    const QRgb platform = QApplication::palette().color(QPalette::Button).rgb() & RGB_MASK;
    EXPECT_EQ(com->palette().color(QPalette::Button).rgb() & RGB_MASK, platform);
    // The platform may shade its buttons: compare the face on average.
    const QImage image = picture(com);
    const QRgb face = averageColour(image, deviceRect(com->rect().adjusted(4, 4, -4, -4), image));
    EXPECT_LE(distance(face, platform), 30) << std::hex << face << " vs " << platform;
    EXPECT_EQ(QFontInfo(com->font()).family(), QLatin1String(kPGothic));
}

TEST_F(WindowLayoutTest, CaptionsAreExact)
{
    const std::pair<const char *, const char *> captions[] = {{"Command5", "↑"},
                                                              {"Command7", "↓"},
                                                              {"Command9", "←"},
                                                              {"Command8", "→"},
                                                              {"Command3", "DISPLAY CLEAR"},
                                                              {"Command34", "データを表示する"},
                                                              {"Command65", "DVI(PC Digital)"},
                                                              {"Command33", "COM"},
                                                              {"Option9", "19200"}};
    for (const auto &[name, caption] : captions)
        EXPECT_EQ(control<QAbstractButton>(name)->text(), QString::fromUtf8(caption)) << name;
    const std::pair<const char *, const char *> labels[] = {
        {"Label1", "POWER"}, {"Label2", "INPUT MODE SET"}, {"Label19", "R/C KEY OFF"}, {"Label9", "TXD"}};
    for (const auto &[name, caption] : labels)
        EXPECT_EQ(control<QLabel>(name)->text(), QString::fromUtf8(caption)) << name;
}

// Every caption of a coloured button shows whole: its ink keeps clear of
// the face's sides. "DISPLAY CLEAR" is too wide for one line and wraps.
TEST_F(WindowLayoutTest, EveryCaptionShowsWhole)
{
    control("Text1")->setFocus(); // no focus frame on any button
    control<QPushButton>("Command34")->show();
    for (const char *caption : {"データを表示する", "データを表示しない", "CLOSE"}) {
        control<QPushButton>("Command34")->setText(QString::fromUtf8(caption));
        for (CommandButton *button : form->findChildren<CommandButton *>()) {
            if (!button->faceColour().isValid())
                continue;
            const Ink ink = captionInk(button);
            const int faceWidth = qRound((button->width() - 4) * button->devicePixelRatioF());
            const std::string name = button->objectName().toStdString();
            ASSERT_FALSE(ink.box.isEmpty()) << name << " shows no caption";
            EXPECT_GT(ink.box.left(), 0) << name << " cut on the left";
            EXPECT_LT(ink.box.right(), faceWidth - 1) << name << " cut on the right";
            EXPECT_EQ(ink.lines, button == control("Command3") ? 2 : 1) << name;
        }
    }
}

// --- Setting a caption in the space a button's face leaves -----------------

enum class Setting { OneLine, Wrapped, Narrowed };
struct FitCase {
    const char *caption;
    Face face;
    QSizeF area;
    Setting expected;
};
const FitCase kFits[] = {
    {"ON", Face::PGothic, {39, 16}, Setting::OneLine},
    {"DISPLAY CLEAR", Face::Gothic, {59, 29}, Setting::Wrapped},
    {"DISPLAY CLEAR", Face::Gothic, {59, 13}, Setting::Narrowed},     // too low for two lines
    {"データを表示する", Face::PGothic, {74, 21}, Setting::Narrowed}, // no room for two lines
    {"データを表示する", Face::PGothic, {74, 40}, Setting::Wrapped},
};

TEST(CaptionFit, OneLineElseWrappedElseNarrowedToFit)
{
    for (const FitCase &c : kFits) {
        const QString caption = QString::fromUtf8(c.caption);
        const QFont font = platformFont(CaptionFont{c.face, 9.0, false});
        const CaptionFit fit = fitCaption(caption, font, c.area);
        const bool wrapped = fit.flags & Qt::TextWordWrap;
        const bool narrowed = fit.font.stretch() != font.stretch();
        EXPECT_EQ(wrapped, c.expected == Setting::Wrapped) << c.caption << " in " << c.area.width();
        EXPECT_EQ(narrowed, c.expected == Setting::Narrowed) << c.caption << " in " << c.area.width();
        const QRectF needed =
            QFontMetricsF(fit.font).boundingRect(QRectF(QPointF(0, 0), c.area), fit.flags, caption);
        EXPECT_LE(needed.width(), c.area.width()) << c.caption;
        EXPECT_EQ(fit.flags & Qt::AlignCenter, int(Qt::AlignCenter));
    }
}

TEST(CaptionFit, NarrowsNoFurtherThanTheLimitAndLeavesTheRestClipped)
{
    const QFont font = platformFont(CaptionFont{Face::Gothic, 9.0, false});
    const CaptionFit fit = fitCaption(QStringLiteral("DVI(PC Digital)"), font, QSizeF(20, 13));
    EXPECT_EQ(fit.font.stretch(), kNarrowestCaptionStretch);
    EXPECT_FALSE(fit.flags & Qt::TextWordWrap);
}

// --- The window as built, before start-up ----------------------------------

TEST(BuiltWindow, StartsInTheStateTheHandlersRelyOn)
{
    PanelSession session;
    ControlPanelWindow form(session);
    const std::pair<const char *, int> timers[] = {{"Timer1", 200}, {"Timer2", 500}, {"Timer4", 1000}};
    for (const auto &[name, interval] : timers) {
        const auto *timer = session.findChild<SessionTimer *>(QLatin1String(name));
        ASSERT_NE(timer, nullptr) << name;
        EXPECT_FALSE(timer->enabled()) << name;
        EXPECT_EQ(timer->interval(), interval) << name;
    }
    const auto *hideDelay = form.findChild<SessionTimer *>(QStringLiteral("Timer3"));
    ASSERT_NE(hideDelay, nullptr);
    EXPECT_FALSE(hideDelay->enabled());
    EXPECT_EQ(hideDelay->interval(), 5000);
    EXPECT_TRUE(form.findChild<QWidget *>(QLatin1String("Frame8"))->isHidden());
    EXPECT_TRUE(form.findChild<QWidget *>(QLatin1String("Command34"))->isHidden());
    EXPECT_EQ(form.findChild<QPushButton *>(QLatin1String("Command34"))->text(),
              QStringLiteral("データを表示する"));
    EXPECT_TRUE(form.findChild<QRadioButton *>(QLatin1String("Option9"))->isChecked());
    for (const char *option : {"Option1", "Option2", "Option10"})
        EXPECT_FALSE(form.findChild<QRadioButton *>(QLatin1String(option))->isChecked()) << option;
    for (const char *line : {"Label11", "Label12", "Label22"})
        EXPECT_TRUE(form.findChild<MonitorLabel *>(QLatin1String(line))->text().isEmpty()) << line;
    auto *entry = form.findChild<QLineEdit *>(QLatin1String("Text1"));
    EXPECT_TRUE(entry->text().isEmpty());
    EXPECT_EQ(entry->maxLength(), std::numeric_limits<int>::max());
    EXPECT_FALSE(session.isPortOpen());
    EXPECT_EQ(form.focusWidget(), form.findChild<QWidget *>(QLatin1String("Command17")));
}

TEST(BuiltWindow, EachFrameOfOptionsIsAGroupOfItsOwn)
{
    PanelSession session;
    ControlPanelWindow form(session);
    auto option = [&form](const char *name) { return form.findChild<QRadioButton *>(QLatin1String(name)); };
    option("Option2")->setChecked(true);
    EXPECT_TRUE(option("Option9")->isChecked()) << "the speed is not the port's group";
    option("Option1")->setChecked(true);
    EXPECT_FALSE(option("Option2")->isChecked());
    option("Option10")->setChecked(true);
    EXPECT_FALSE(option("Option9")->isChecked());
    EXPECT_TRUE(option("Option1")->isChecked());
}

} // namespace
