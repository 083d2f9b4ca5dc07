// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/port_panel.h"

#include "session/panel_session.h"
#include "window/application_title.h"

#include <QFrame>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <utility>

namespace {
constexpr int kHideDelayMs = 5000;

QMessageBox *portWarning(QWidget *parent, const QString &text)
{
    auto *box = new QMessageBox(QMessageBox::Warning, applicationTitle(), text, QMessageBox::Ok, parent);
    box->setObjectName(QStringLiteral("PortWarning"));
    return box;
}
} // namespace

PortPanel::PortPanel(PanelSession &session, const PortPanelControls &controls, QWidget &window)
    : QObject(&window), session_(session), window_(window), controls_(controls),
      hideDelay_(session.timerFactory()(QStringLiteral("Timer3"), kHideDelayMs, this))
{
    connect(controls_.showButton, &QPushButton::clicked, this, &PortPanel::showPanel);
    connect(hideDelay_, &SessionTimer::tick, this, &PortPanel::hidePanel);
    connect(controls_.com1, &QRadioButton::clicked, this, [this] { choosePort(1, 2); });
    connect(controls_.com2, &QRadioButton::clicked, this, [this] { choosePort(2, 1); });
    connect(controls_.fast, &QRadioButton::clicked, this, [this] { chooseSpeed(port_settings::kFast); });
    connect(controls_.slow, &QRadioButton::clicked, this, [this] { chooseSpeed(port_settings::kSlow); });
    connect(&session_, &PanelSession::portLost, this, &PortPanel::warnPortLost);
    connect(&session_, &PanelSession::portOpened, this, [this] {
        if (pendingFallback_) {
            pendingFallback_.reset();
            controls_.panel->setVisible(false);
        }
    });
    connect(&session_, &PanelSession::portOpenFailed, this, [this](const SerialError &error) {
        if (const std::optional<int> fallback = std::exchange(pendingFallback_, std::nullopt))
            choiceFailed(error, *fallback);
    });
}

void PortPanel::warnPortLost(const QString &description)
{
    const QString text = tr("COM%1 (%2) was lost: %3\n\nChoose a port on the \"COM\" panel to reconnect.")
                             .arg(session_.portNumber())
                             .arg(session_.deviceName(), description);
    if (lostWarning_) {
        lostWarning_->setText(text);
        return;
    }
    lostWarning_ = portWarning(&window_, text);
    lostWarning_->setAttribute(Qt::WA_DeleteOnClose);
    lostWarning_->setWindowModality(Qt::ApplicationModal);
    lostWarning_->show();
}

void PortPanel::showPanel()
{
    controls_.panel->setVisible(true);
    hideDelay_->setEnabled(true);
}

void PortPanel::hidePanel()
{
    controls_.panel->setVisible(false);
    hideDelay_->setEnabled(false);
}

void PortPanel::restartHideDelay()
{
    hideDelay_->setEnabled(false);
    hideDelay_->setEnabled(true);
}

void PortPanel::stop()
{
    hideDelay_->setEnabled(false);
}

void PortPanel::choosePort(int chosen, int fallback)
{
    pendingFallback_.reset();
    if (const SerialError error = session_.switchPort(chosen)) {
        choiceFailed(error, fallback);
        return;
    }
    // A device server connects in the background; the window stays live.
    if (session_.isPortOpening()) {
        pendingFallback_ = fallback;
        return;
    }
    controls_.panel->setVisible(false);
}

void PortPanel::choiceFailed(const SerialError &error, int fallback)
{
    QMessageBox *box = portWarning(&window_, error.description);
    box->exec();
    delete box;
    session_.setPortNumber(fallback);
}

void PortPanel::chooseSpeed(const SerialSettings &settings)
{
    session_.setSettings(settings);
    controls_.panel->setVisible(false);
}

void PortPanel::selectPortOptionByCode(int number)
{
    (number == 1 ? controls_.com1 : controls_.com2)->setChecked(true);
    choosePort(number, number == 1 ? 2 : 1);
}
