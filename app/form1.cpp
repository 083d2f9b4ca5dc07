#include "app/form1.h"

#include "app/layout_table.h"
#include "app/port_panel.h"
#include "app/window_builder.h"
#include "link/exchange.h"
#include "link/monitor_timing.h"
#include "panel/data_panel.h"
#include "panel/free_text.h"
#include "panel/hold_buttons.h"
#include "panel/one_shot_buttons.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>

namespace {
constexpr int kCompactHeight = 5350;
constexpr int kDesignHeight = layout::kClientDesignHeight + layout::kFrameAllowance;

int toPixels(double twips)
{
    return int(twips / layout::kTwipsPerPixel);
}
} // namespace

Form1::Form1(QWidget *parent) : QWidget(parent), comm_(new SerialControl(this))
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(caption());
    setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    timers_ = {new WindowTimer(QStringLiteral("Timer1"), 200, Qt::PreciseTimer, this),
               new WindowTimer(QStringLiteral("Timer2"), monitor_timing::kNormal.replyWindowMs,
                               Qt::PreciseTimer, this),
               new WindowTimer(QStringLiteral("Timer3"), 5000, Qt::CoarseTimer, this),
               new WindowTimer(QStringLiteral("Timer4"), monitor_timing::kNormal.clearDelayMs,
                               Qt::PreciseTimer, this)};
    controls_ = buildWindow(*this);
    setHeightTwips(kDesignHeight);

    exchange_ = new Exchange(*this);
    portPanel_ = new PortPanel(*this);
    new DataPanel(*this);
    new FreeText(*this);
    new HoldButtons(*this);
    new OneShotButtons(*this);
    connect(control<QPushButton>("Command16"), &QPushButton::clicked, this, &Form1::endProgram);
}

Form1::~Form1() = default;

QString Form1::caption()
{
    return QStringLiteral("VELNO   KT70 & PV70 & PV75   CONTROL   Ver.1.40");
}

QString Form1::applicationTitle()
{
    return QCoreApplication::applicationName();
}

void Form1::hyouji(const QString &line, quint8 direction)
{
    exchange_->hyouji(line, direction);
}

void Form1::setHeightTwips(int twips)
{
    heightTwips_ = twips;
    const int clientHeight = qMax(0, twips - layout::kFrameAllowance);
    // Fixed size: the operator cannot resize; the top edge stays put.
    setFixedSize(toPixels(layout::kClientWidth), toPixels(clientHeight));
}

void Form1::centreOnScreen()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->geometry();
    const double screenWidth = double(area.width()) * layout::kTwipsPerPixel;
    const double screenHeight = double(area.height()) * layout::kTwipsPerPixel;
    const double left = (screenWidth - layout::kClientWidth) / 2.0;
    const double top = (screenHeight - heightTwips_) / 2.0;
    move(area.x() + toPixels(left), area.y() + toPixels(top));
}

SerialError Form1::startUp()
{
    state_.PortSettings = QStringLiteral("19200,N,8,1");
    state_.CommandPrefix = QString();
    centreOnScreen(); // for the designed height, before the shrink
    setHeightTwips(kCompactHeight);
    state_.RepeatKey = 0;
    state_.SendPending = 0;
    state_.ReceiveBuffer = QString();
    if (SerialError e = comm_->setCommPort(1))
        return e;
    if (SerialError e = comm_->setSettings(state_.PortSettings))
        return e;
    if (SerialError e = comm_->setPortOpen(true))
        return e;
    portPanel_->selectPortOptionByCode(1);
    return {};
}

void Form1::endProgram()
{
    comm_->setPortOpen(false);
    for (WindowTimer *t : timers_)
        t->setEnabled(false);
    hide();
    QCoreApplication::exit(0);
}
