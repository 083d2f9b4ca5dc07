// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/control_panel_window.h"

#include "session/panel_session.h"
#include "velno_version.h"
#include "window/command_bindings.h"
#include "window/data_panel.h"
#include "window/key_chord.h"
#include "window/layout_table.h"
#include "window/port_panel.h"
#include "window/traffic_monitor.h"
#include "window/window_builder.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>

namespace {
// The window opens with all of its layout in view, and is centred for that.
constexpr int kOpeningHeight = layout::kClientFullHeight + layout::kFrameAllowance;
constexpr int kOuterWidth = layout::kClientWidth + layout::kFrameSideAllowance;

int toPixels(double twips)
{
    return int(twips / layout::kTwipsPerPixel);
}
} // namespace

ControlPanelWindow::ControlPanelWindow(PanelSession &session, QWidget *parent)
    : QWidget(parent), session_(session)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(caption());
    setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    const WindowControls controls = buildWindow(*this);
    setHeightTwips(kOpeningHeight);

    new TrafficMonitor(session, controls.monitor, this);
    new CommandBindings(session, controls.commandButtons, controls.freeText, this);
    portPanel_ = new PortPanel(session, controls.port, *this);
    auto *dataPanel = new DataPanel(controls.data, *this, this);
    connect(new KeyChord(*this, this), &KeyChord::pressed, dataPanel, &DataPanel::unlock);
    connect(dataPanel, &DataPanel::monitorToggled, portPanel_, &PortPanel::restartHideDelay);
    connect(controls.end, &QPushButton::clicked, this, &ControlPanelWindow::endProgram);
    connect(&session_, &PanelSession::portOpened, this, [this] {
        if (waitingForComOne_)
            finishStartUp();
    });
    connect(&session_, &PanelSession::portOpenFailed, this, [this](const SerialError &error) {
        if (!waitingForComOne_)
            return;
        waitingForComOne_ = false;
        emit startUpFailed(error);
    });
}

ControlPanelWindow::~ControlPanelWindow() = default;

QString ControlPanelWindow::caption()
{
    return QStringLiteral("VELNO   KT70 & PV70 & PV75   CONTROL   Ver.") + QLatin1String(VELNO_VERSION);
}

void ControlPanelWindow::setHeightTwips(int twips)
{
    heightTwips_ = twips;
    const int clientHeight = qMax(0, twips - layout::kFrameAllowance);
    // Fixed size: the operator cannot resize; the top edge stays put.
    setFixedSize(toPixels(layout::kClientWidth), toPixels(clientHeight));
}

// A window's position is that of its outer frame, so the frame's size is
// what gets centred.
void ControlPanelWindow::centreOnScreen()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->geometry();
    const double screenWidth = double(area.width()) * layout::kTwipsPerPixel;
    const double screenHeight = double(area.height()) * layout::kTwipsPerPixel;
    const double left = (screenWidth - kOuterWidth) / 2.0;
    const double top = (screenHeight - heightTwips_) / 2.0;
    move(area.x() + toPixels(left), area.y() + toPixels(top));
}

SerialError ControlPanelWindow::startUp()
{
    centreOnScreen(); // for the opening height, before the shrink
    setHeightTwips(window_height::kCompact);
    if (SerialError e = session_.open(1, port_settings::kFast))
        return e;
    if (session_.isPortOpening())
        waitingForComOne_ = true; // the window stays live while a device server connects
    else
        finishStartUp();
    return {};
}

void ControlPanelWindow::finishStartUp()
{
    waitingForComOne_ = false;
    portPanel_->selectPortOptionByCode(1);
    emit startedUp();
}

void ControlPanelWindow::endProgram()
{
    session_.stop();
    portPanel_->stop();
    hide();
    QCoreApplication::exit(0);
}
