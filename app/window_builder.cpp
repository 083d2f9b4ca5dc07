#include "app/window_builder.h"

#include "app/command_button.h"
#include "app/layout_table.h"
#include "app/logo.h"
#include "link/monitor_label.h"

#include <QFrame>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QRadioButton>

namespace {

using namespace layout;

int px(int twips)
{
    return qRound(double(twips) / kTwipsPerPixel);
}

QRect pixelRect(const Rect &r)
{
    return {px(r.left), px(r.top), px(r.width), px(r.height)};
}

QString colourName(QRgb rgb)
{
    return QColor(rgb).name();
}

// A segment of the direction pad's outline.
class LineSegment : public QWidget {
public:
    LineSegment(const LineSpec &spec, QWidget *parent) : QWidget(parent), spec_(spec)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        const int margin = 2;
        const QRect box = QRect(QPoint(px(qMin(spec.x1, spec.x2)), px(qMin(spec.y1, spec.y2))),
                                QPoint(px(qMax(spec.x1, spec.x2)), px(qMax(spec.y1, spec.y2))))
                              .adjusted(-margin, -margin, margin, margin);
        setGeometry(box);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        QPen pen(QColor(colour::lightBlue), 2);
        pen.setStyle(spec_.style == LineStyle::Dotted   ? Qt::DotLine
                     : spec_.style == LineStyle::Dashed ? Qt::DashLine
                                                        : Qt::SolidLine);
        painter.setPen(pen);
        const QPoint origin = geometry().topLeft();
        painter.drawLine(QPoint(px(spec_.x1), px(spec_.y1)) - origin,
                         QPoint(px(spec_.x2), px(spec_.y2)) - origin);
    }

private:
    LineSpec spec_;
};

Qt::Alignment toQt(Align a)
{
    switch (a) {
    case Align::Center: return Qt::AlignHCenter | Qt::AlignVCenter;
    case Align::Right: return Qt::AlignRight | Qt::AlignVCenter;
    default: return Qt::AlignLeft | Qt::AlignVCenter;
    }
}

void setColours(QWidget *w, const ControlSpec &spec)
{
    QPalette pal = w->palette();
    if (spec.background != kPlatformColour) {
        pal.setColor(QPalette::Window, QColor(spec.background));
        pal.setColor(QPalette::Button, QColor(spec.background));
        pal.setColor(QPalette::Base, QColor(spec.background));
        w->setAutoFillBackground(true);
    }
    pal.setColor(QPalette::WindowText, QColor(spec.foreground));
    pal.setColor(QPalette::ButtonText, QColor(spec.foreground));
    w->setPalette(pal);
}

QWidget *makeButton(const ControlSpec &spec, QWidget *parent)
{
    auto *button = new CommandButton(parent);
    button->setText(QString::fromUtf8(spec.caption));
    if (spec.background != kPlatformColour) {
        // Graphical style: the button shows its own colour in every state.
        const QColor bg(spec.background);
        button->setStyleSheet(
            QStringLiteral("QPushButton { background-color: %1; color: %2;"
                           " border: 1px solid #404040; border-radius: 0px; padding: 0px; }"
                           " QPushButton:pressed { background-color: %3; border: 2px inset #404040; }"
                           " QPushButton:focus { border: 1px dotted #000000; }")
                .arg(bg.name(), colourName(spec.foreground), bg.darker(115).name()));
    }
    return button;
}

QWidget *makeLabel(const ControlSpec &spec, QWidget *parent)
{
    if (spec.border) {
        auto *line = new MonitorLabel(parent);
        line->setAlignment(toQt(spec.align));
        line->setText(QString::fromUtf8(spec.caption ? spec.caption : ""));
        return line;
    }
    auto *label = new QLabel(QString::fromUtf8(spec.caption ? spec.caption : ""), parent);
    label->setAlignment(toQt(spec.align));
    label->setWordWrap(false);
    return label;
}

QWidget *makeControl(const ControlSpec &spec, QWidget *parent)
{
    switch (spec.kind) {
    case Kind::Frame: {
        auto *frame = new QFrame(parent);
        frame->setFrameShape(QFrame::Box);
        frame->setFrameShadow(QFrame::Sunken);
        return frame;
    }
    case Kind::CommandButton: return makeButton(spec, parent);
    case Kind::Label: return makeLabel(spec, parent);
    case Kind::OptionButton: {
        auto *option = new QRadioButton(QString::fromUtf8(spec.caption), parent);
        option->setAutoExclusive(true);
        option->setChecked(spec.selected);
        return option;
    }
    case Kind::TextBox: return new QLineEdit(parent);
    case Kind::Image: {
        auto *image = new ImageControl(parent);
        image->setPixmap(logoPixmap());
        return image;
    }
    }
    return nullptr;
}

} // namespace

void ImageControl::mouseDoubleClickEvent(QMouseEvent *event)
{
    emit doubleClicked();
    event->accept();
}

QFont designFont(int face, double pointSize, bool bold)
{
    QFont font;
    font.setFamilies(face == int(Face::PGothic)
                         ? QStringList{QStringLiteral("IPAPGothic"), QStringLiteral("IPA PGothic"),
                                       QStringLiteral("Noto Sans CJK JP"), QStringLiteral("IPAGothic"),
                                       QStringLiteral("sans-serif")}
                         : QStringList{QStringLiteral("IPAGothic"), QStringLiteral("IPA Gothic"),
                                       QStringLiteral("Noto Sans Mono CJK JP"), QStringLiteral("IPAPGothic"),
                                       QStringLiteral("sans-serif")});
    font.setPointSizeF(pointSize);
    font.setBold(bold);
    return font;
}

QHash<QString, QWidget *> buildWindow(QWidget &window)
{
    QPalette pal = window.palette();
    pal.setColor(QPalette::Window, QColor(colour::silver));
    window.setPalette(pal);
    window.setAutoFillBackground(true);
    window.setFont(designFont(int(Face::Gothic), 9.0, true));

    QHash<QString, QWidget *> controls;
    for (const ControlSpec &spec : controlTable()) {
        QWidget *parent = spec.container ? controls.value(QString::fromLatin1(spec.container)) : &window;
        Q_ASSERT(parent);
        QWidget *w = makeControl(spec, parent);
        w->setObjectName(QString::fromLatin1(spec.name));
        w->setGeometry(pixelRect(spec.rect));
        w->setFont(designFont(int(spec.font.face), spec.font.pointSize, spec.font.bold));
        setColours(w, spec);
        w->setFocusPolicy(spec.kind == Kind::CommandButton || spec.kind == Kind::OptionButton ||
                                  spec.kind == Kind::TextBox
                              ? Qt::StrongFocus
                              : Qt::NoFocus);
        w->setVisible(spec.visible);
        controls.insert(w->objectName(), w);
    }
    for (const LineSpec &spec : lineTable()) {
        auto *line = new LineSegment(spec, &window);
        line->setObjectName(QString::fromLatin1(spec.name));
        line->lower();
        controls.insert(line->objectName(), line);
    }

    QWidget *previous = nullptr;
    for (const char *name : tabOrder()) {
        QWidget *w = controls.value(QString::fromLatin1(name));
        if (!w)
            continue;
        if (previous)
            QWidget::setTabOrder(previous, w);
        previous = w;
    }
    if (!tabOrder().empty())
        if (QWidget *first = controls.value(QString::fromLatin1(tabOrder().front())))
            first->setFocus(Qt::OtherFocusReason);
    return controls;
}
