// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/window_builder.h"

#include "protocol/commands.h"
#include "window/command_button.h"
#include "window/key_chord.h"
#include "window/layout_table.h"
#include "window/logo.h"
#include "window/monitor_label.h"

#include <QButtonGroup>
#include <QFrame>
#include <QHash>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <limits>

namespace {

using namespace layout;

int px(int twips)
{
    return qRound(double(twips) / kTwipsPerPixel);
}

// Edges are rounded, not sizes, so that controls the design puts edge to
// edge stay edge to edge.
QRect pixelRect(const Rect &r)
{
    return QRect(QPoint(px(r.left), px(r.top)), QPoint(px(r.left + r.width) - 1, px(r.top + r.height) - 1));
}

// A segment of the direction pad's outline.
class LineSegment : public QWidget {
public:
    LineSegment(const LineSpec &design, QWidget *parent) : QWidget(parent), design_(design)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        const int margin = 2;
        const QRect box = QRect(QPoint(px(qMin(design.x1, design.x2)), px(qMin(design.y1, design.y2))),
                                QPoint(px(qMax(design.x1, design.x2)), px(qMax(design.y1, design.y2))))
                              .adjusted(-margin, -margin, margin, margin);
        setGeometry(box);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        QPen pen(QColor(colour::lightBlue), 2);
        pen.setStyle(design_.style == LineStyle::Dotted   ? Qt::DotLine
                     : design_.style == LineStyle::Dashed ? Qt::DashLine
                                                          : Qt::SolidLine);
        painter.setPen(pen);
        const QPoint origin = geometry().topLeft();
        painter.drawLine(QPoint(px(design_.x1), px(design_.y1)) - origin,
                         QPoint(px(design_.x2), px(design_.y2)) - origin);
    }

private:
    LineSpec design_;
};

Qt::Alignment toQt(Align a)
{
    switch (a) {
    case Align::Center: return Qt::AlignHCenter | Qt::AlignVCenter;
    case Align::Right: return Qt::AlignRight | Qt::AlignVCenter;
    default: return Qt::AlignLeft | Qt::AlignVCenter;
    }
}

// Only the roles the control itself paints with are set: a frame's colours
// pass to the controls inside it, and a text box or an option button's
// indicator keeps the platform's field colour.
void setColours(QWidget *w, const ControlSpec &design)
{
    QPalette pal = w->palette();
    if (design.background != kPlatformColour) {
        pal.setColor(w->backgroundRole(), QColor(design.background));
        w->setAutoFillBackground(true);
    }
    pal.setColor(w->foregroundRole(), QColor(design.foreground));
    w->setPalette(pal);
}

QWidget *makeButton(const ControlSpec &design, QWidget *parent)
{
    auto *button = new CommandButton(parent);
    button->setText(QString::fromUtf8(design.caption));
    if (design.background != kPlatformColour)
        button->setFaceColour(QColor(design.background));
    return button;
}

// The box's line stays black whatever the colour of the text in it.
QWidget *makeMonitorLine(const ControlSpec &design, QWidget *parent)
{
    auto *line = new MonitorLabel(parent);
    line->setAlignment(toQt(design.align));
    line->setText(QString::fromUtf8(design.caption ? design.caption : ""));
    line->setStyleSheet(QStringLiteral("MonitorLabel { background-color: %1; color: %2;"
                                       " border: 1px solid #000000; }")
                            .arg(QColor(design.background).name(), QColor(design.foreground).name()));
    return line;
}

QWidget *makeLabel(const ControlSpec &design, QWidget *parent)
{
    if (design.border)
        return makeMonitorLine(design, parent);
    auto *label = new QLabel(QString::fromUtf8(design.caption ? design.caption : ""), parent);
    label->setAlignment(toQt(design.align));
    label->setWordWrap(false);
    return label;
}

// Options are grouped by their frame explicitly: grouping them by parent
// alone would also take in the options of a frame nested inside.
QWidget *makeOption(const ControlSpec &design, QWidget *frame)
{
    auto *group = frame->findChild<QButtonGroup *>(QString(), Qt::FindDirectChildrenOnly);
    if (!group)
        group = new QButtonGroup(frame);
    auto *option = new OptionButton(QString::fromUtf8(design.caption), frame);
    group->addButton(option);
    option->setChecked(design.selected);
    return option;
}

QWidget *makeControl(const ControlSpec &design, QWidget *parent)
{
    switch (design.kind) {
    case Kind::Frame: {
        auto *frame = new QFrame(parent);
        frame->setFrameShape(QFrame::Box);
        frame->setFrameShadow(QFrame::Sunken);
        return frame;
    }
    case Kind::CommandButton: return makeButton(design, parent);
    case Kind::Label: return makeLabel(design, parent);
    case Kind::OptionButton: return makeOption(design, parent);
    case Kind::TextBox: {
        auto *box = new TextBox(parent);
        box->setMaxLength(std::numeric_limits<int>::max()); // no limit of its own
        return box;
    }
    case Kind::Image: {
        auto *image = new ImageControl(parent);
        image->setPixmap(logoPixmap());
        return image;
    }
    }
    return nullptr;
}

// The control's part in the typed set: each part is played by exactly one
// control of the expected kind.
class RolePlacer {
public:
    explicit RolePlacer(WindowControls &controls) : c_(controls) {}

    void place(const ControlSpec &design, QWidget *w)
    {
        switch (design.role) {
        case Role::None: return;
        case Role::EndButton: fill(c_.end, design, w); break;
        case Role::PortButton: fill(c_.port.showButton, design, w); break;
        case Role::PortPanel: fill(c_.port.panel, design, w); break;
        case Role::Com1Option: fill(c_.port.com1, design, w); break;
        case Role::Com2Option: fill(c_.port.com2, design, w); break;
        case Role::FastOption: fill(c_.port.fast, design, w); break;
        case Role::SlowOption: fill(c_.port.slow, design, w); break;
        case Role::DataButton: fill(c_.data.button, design, w); break;
        case Role::Logo: fill(c_.data.logo, design, w); break;
        case Role::SentLine: fill(c_.monitor.sent, design, w); break;
        case Role::ReceivedLine: fill(c_.monitor.received, design, w); break;
        case Role::StatusLine: fill(c_.monitor.status, design, w); break;
        case Role::TextBox: fill(c_.freeText.text, design, w); break;
        case Role::SendButton: fill(c_.freeText.send, design, w); break;
        case Role::ClearButton: fill(c_.freeText.clear, design, w); break;
        }
        ++placed_;
    }

    void checkComplete() const
    {
        if (placed_ != kRoleCount)
            qFatal("the layout gives %d of the window's %d parts a control", placed_, kRoleCount);
    }

private:
    template <class T> static void fill(T *&slot, const ControlSpec &design, QWidget *w)
    {
        auto *typed = qobject_cast<T *>(w);
        if (!typed || slot)
            qFatal("%s cannot play its part in the window", design.name);
        slot = typed;
    }

    WindowControls &c_;
    int placed_ = 0;
};

CommandButtonBinding commandButton(const ControlSpec &design, QWidget *w)
{
    const Command *command = findCommand(QString::fromLatin1(design.command));
    auto *button = qobject_cast<CommandButton *>(w);
    if (!command || !button)
        qFatal("%s sends \"%s\", which is no command the command table knows", design.name, design.command);
    return {button, command};
}

} // namespace

void OptionButton::focusInEvent(QFocusEvent *event)
{
    QRadioButton::focusInEvent(event);
    // The base class leaves only the focused button of a group a Tab stop.
    if (group())
        for (QAbstractButton *sibling : group()->buttons())
            sibling->setFocusPolicy(Qt::StrongFocus);
}

void TextBox::keyPressEvent(QKeyEvent *event)
{
    if (isUnlockChord(event->key(), event->modifiers())) {
        event->ignore(); // on to the window, as a key the box has no use for
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void ImageControl::mouseDoubleClickEvent(QMouseEvent *event)
{
    emit doubleClicked();
    event->accept();
}

// Proportional and fixed-pitch Japanese Gothic faces, nearest first. Sizes
// are set in logical pixels as the design's 96-dpi screen drew them (one
// point is 20 twips), so text keeps its proportion to the twip layout
// whatever resolution the platform reports.
QFont designFont(const FontSpec &design)
{
    QFont font;
    font.setFamilies(design.face == Face::PGothic
                         ? QStringList{QStringLiteral("IPAPGothic"), QStringLiteral("IPA PGothic"),
                                       QStringLiteral("Noto Sans CJK JP"), QStringLiteral("IPAGothic"),
                                       QStringLiteral("Droid Sans Fallback"), QStringLiteral("sans-serif")}
                         : QStringList{QStringLiteral("IPAGothic"), QStringLiteral("IPA Gothic"),
                                       QStringLiteral("Noto Sans Mono CJK JP"), QStringLiteral("IPAPGothic"),
                                       QStringLiteral("Droid Sans Fallback"), QStringLiteral("sans-serif")});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(qRound(design.pointSize * 20.0 / kTwipsPerPixel));
    font.setBold(design.bold);
    return font;
}

WindowControls buildWindow(QWidget &window)
{
    QPalette pal = window.palette();
    pal.setColor(QPalette::Window, QColor(colour::silver));
    window.setPalette(pal);
    window.setAutoFillBackground(true);
    window.setFont(designFont(FontSpec{}));

    WindowControls typed;
    RolePlacer roles(typed);
    // By design name, only while building: containers and the focus order.
    QHash<QString, QWidget *> byName;
    for (const ControlSpec &design : controlTable()) {
        QWidget *parent = design.container ? byName.value(QString::fromLatin1(design.container)) : &window;
        Q_ASSERT(parent);
        QWidget *w = makeControl(design, parent);
        w->setObjectName(QString::fromLatin1(design.name));
        w->setGeometry(pixelRect(design.rect));
        w->setFont(designFont(design.font));
        setColours(w, design);
        w->setFocusPolicy(design.kind == Kind::CommandButton || design.kind == Kind::OptionButton ||
                                  design.kind == Kind::TextBox
                              ? Qt::StrongFocus
                              : Qt::NoFocus);
        w->setVisible(design.visible);
        byName.insert(w->objectName(), w);
        if (design.command)
            typed.commandButtons.push_back(commandButton(design, w));
        roles.place(design, w);
    }
    roles.checkComplete();
    for (const LineSpec &design : lineTable()) {
        auto *line = new LineSegment(design, &window);
        line->setObjectName(QString::fromLatin1(design.name));
        line->lower();
    }

    QWidget *previous = nullptr;
    for (const char *name : tabOrder()) {
        QWidget *w = byName.value(QString::fromLatin1(name));
        if (!w)
            continue;
        if (previous)
            QWidget::setTabOrder(previous, w);
        previous = w;
    }
    if (!tabOrder().empty())
        if (QWidget *first = byName.value(QString::fromLatin1(tabOrder().front())))
            first->setFocus(Qt::OtherFocusReason);
    return typed;
}
