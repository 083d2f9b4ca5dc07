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

// Edges are rounded, not sizes, so that controls the layout puts edge to
// edge stay edge to edge.
QRect pixelRect(const Rect &r)
{
    return QRect(QPoint(px(r.left), px(r.top)), QPoint(px(r.left + r.width) - 1, px(r.top + r.height) - 1));
}

// A segment of the direction pad's outline.
class LineSegment : public QWidget {
public:
    LineSegment(const LineLayout &line, QWidget *parent) : QWidget(parent), line_(line)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        const int margin = 2;
        const QRect box = QRect(QPoint(px(qMin(line.x1, line.x2)), px(qMin(line.y1, line.y2))),
                                QPoint(px(qMax(line.x1, line.x2)), px(qMax(line.y1, line.y2))))
                              .adjusted(-margin, -margin, margin, margin);
        setGeometry(box);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        QPen pen(QColor(colour::kLightBlue), 2);
        pen.setStyle(line_.style == LineStyle::Dotted   ? Qt::DotLine
                     : line_.style == LineStyle::Dashed ? Qt::DashLine
                                                        : Qt::SolidLine);
        painter.setPen(pen);
        const QPoint origin = geometry().topLeft();
        painter.drawLine(QPoint(px(line_.x1), px(line_.y1)) - origin,
                         QPoint(px(line_.x2), px(line_.y2)) - origin);
    }

private:
    LineLayout line_;
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
void setColours(QWidget *w, const ControlLayout &control)
{
    QPalette pal = w->palette();
    if (control.background != kPlatformColour) {
        pal.setColor(w->backgroundRole(), QColor(control.background));
        w->setAutoFillBackground(true);
    }
    pal.setColor(w->foregroundRole(), QColor(control.foreground));
    w->setPalette(pal);
}

QWidget *makeButton(const ControlLayout &control, QWidget *parent)
{
    auto *button = new CommandButton(parent);
    button->setText(QString::fromUtf8(control.caption));
    if (control.background != kPlatformColour)
        button->setFaceColour(QColor(control.background));
    return button;
}

// The box's line stays black whatever the colour of the text in it.
QWidget *makeMonitorLine(const ControlLayout &control, QWidget *parent)
{
    auto *line = new MonitorLabel(parent);
    line->setAlignment(toQt(control.align));
    line->setText(QString::fromUtf8(control.caption ? control.caption : ""));
    line->setStyleSheet(QStringLiteral("MonitorLabel { background-color: %1; color: %2;"
                                       " border: 1px solid #000000; }")
                            .arg(QColor(control.background).name(), QColor(control.foreground).name()));
    return line;
}

QWidget *makeLabel(const ControlLayout &control, QWidget *parent)
{
    if (control.border)
        return makeMonitorLine(control, parent);
    auto *label = new QLabel(QString::fromUtf8(control.caption ? control.caption : ""), parent);
    label->setAlignment(toQt(control.align));
    label->setWordWrap(false);
    return label;
}

// Options are grouped by their frame explicitly: grouping them by parent
// alone would also take in the options of a frame nested inside.
QWidget *makeOption(const ControlLayout &control, QWidget *frame)
{
    auto *group = frame->findChild<QButtonGroup *>(QString(), Qt::FindDirectChildrenOnly);
    if (!group)
        group = new QButtonGroup(frame);
    auto *option = new OptionButton(QString::fromUtf8(control.caption), frame);
    group->addButton(option);
    option->setChecked(control.selected);
    return option;
}

QWidget *makeControl(const ControlLayout &control, QWidget *parent)
{
    switch (control.kind) {
    case Kind::Frame: {
        auto *frame = new QFrame(parent);
        frame->setFrameShape(QFrame::Box);
        frame->setFrameShadow(QFrame::Sunken);
        return frame;
    }
    case Kind::CommandButton: return makeButton(control, parent);
    case Kind::Label: return makeLabel(control, parent);
    case Kind::OptionButton: return makeOption(control, parent);
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

    void place(const ControlLayout &control, QWidget *w)
    {
        switch (control.role) {
        case Role::None: return;
        case Role::EndButton: fill(c_.end, control, w); break;
        case Role::PortButton: fill(c_.port.showButton, control, w); break;
        case Role::PortPanel: fill(c_.port.panel, control, w); break;
        case Role::Com1Option: fill(c_.port.com1, control, w); break;
        case Role::Com2Option: fill(c_.port.com2, control, w); break;
        case Role::FastOption: fill(c_.port.fast, control, w); break;
        case Role::SlowOption: fill(c_.port.slow, control, w); break;
        case Role::DataButton: fill(c_.data.button, control, w); break;
        case Role::Logo: fill(c_.data.logo, control, w); break;
        case Role::SentLine: fill(c_.monitor.sent, control, w); break;
        case Role::ReceivedLine: fill(c_.monitor.received, control, w); break;
        case Role::StatusLine: fill(c_.monitor.status, control, w); break;
        case Role::TextBox: fill(c_.freeText.text, control, w); break;
        case Role::SendButton: fill(c_.freeText.send, control, w); break;
        case Role::ClearButton: fill(c_.freeText.clear, control, w); break;
        }
        ++placed_;
    }

    void checkComplete() const
    {
        if (placed_ != kRoleCount)
            qFatal("the layout gives %d of the window's %d parts a control", placed_, kRoleCount);
    }

private:
    template <class T> static void fill(T *&slot, const ControlLayout &control, QWidget *w)
    {
        auto *typed = qobject_cast<T *>(w);
        if (!typed || slot)
            qFatal("%s cannot play its part in the window", control.name);
        slot = typed;
    }

    WindowControls &c_;
    int placed_ = 0;
};

CommandButtonBinding commandButton(const ControlLayout &control, QWidget *w)
{
    const Command *command = findCommand(QString::fromLatin1(control.command));
    auto *button = qobject_cast<CommandButton *>(w);
    if (!command || !button)
        qFatal("%s sends \"%s\", which is no command the command table knows", control.name, control.command);
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
// are set in logical pixels as a 96-dpi screen draws them (one
// point is 20 twips), so text keeps its proportion to the twip layout
// whatever resolution the platform reports.
QFont platformFont(const CaptionFont &caption)
{
    QFont font;
    font.setFamilies(caption.face == Face::PGothic
                         ? QStringList{QStringLiteral("IPAPGothic"), QStringLiteral("IPA PGothic"),
                                       QStringLiteral("Noto Sans CJK JP"), QStringLiteral("IPAGothic"),
                                       QStringLiteral("Droid Sans Fallback"), QStringLiteral("sans-serif")}
                         : QStringList{QStringLiteral("IPAGothic"), QStringLiteral("IPA Gothic"),
                                       QStringLiteral("Noto Sans Mono CJK JP"), QStringLiteral("IPAPGothic"),
                                       QStringLiteral("Droid Sans Fallback"), QStringLiteral("sans-serif")});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(qRound(caption.pointSize * 20.0 / kTwipsPerPixel));
    font.setBold(caption.bold);
    return font;
}

WindowControls buildWindow(QWidget &window)
{
    QPalette pal = window.palette();
    pal.setColor(QPalette::Window, QColor(colour::kSilver));
    window.setPalette(pal);
    window.setAutoFillBackground(true);
    window.setFont(platformFont(CaptionFont{}));

    WindowControls typed;
    RolePlacer roles(typed);
    // By object name, only while building: containers and the focus order.
    QHash<QString, QWidget *> byName;
    for (const ControlLayout &control : controlTable()) {
        QWidget *parent = control.container ? byName.value(QString::fromLatin1(control.container)) : &window;
        Q_ASSERT(parent);
        QWidget *w = makeControl(control, parent);
        w->setObjectName(QString::fromLatin1(control.name));
        w->setGeometry(pixelRect(control.rect));
        w->setFont(platformFont(control.font));
        setColours(w, control);
        w->setFocusPolicy(control.kind == Kind::CommandButton || control.kind == Kind::OptionButton ||
                                  control.kind == Kind::TextBox
                              ? Qt::StrongFocus
                              : Qt::NoFocus);
        w->setVisible(control.visible);
        byName.insert(w->objectName(), w);
        if (control.command)
            typed.commandButtons.push_back(commandButton(control, w));
        roles.place(control, w);
    }
    roles.checkComplete();
    for (const LineLayout &outline : lineTable()) {
        auto *line = new LineSegment(outline, &window);
        line->setObjectName(QString::fromLatin1(outline.name));
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
