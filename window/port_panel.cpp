#include "window/port_panel.h"

#include "session/precise_timer.h"
#include "session/projector_session.h"
#include "window/command_button.h"
#include "window/form1.h"
#include "window/window_builder.h"

#include <QFrame>
#include <QMessageBox>
#include <QRadioButton>
#include <utility>

namespace {
constexpr int kHideDelayMs = 5000;

QMessageBox *portWarning(QWidget *parent, const QString &text)
{
    auto *box =
        new QMessageBox(QMessageBox::Warning, Form1::applicationTitle(), text, QMessageBox::Ok, parent);
    box->setObjectName(QStringLiteral("PortWarning"));
    return box;
}
} // namespace

PortPanel::PortPanel(Form1 &form, const Controls &controls)
    : QObject(&form), form_(form), session_(form.session()), panel_(controls.get<QFrame>("Frame8")),
      com1_(controls.get<QRadioButton>("Option1")), com2_(controls.get<QRadioButton>("Option2")),
      hideDelay_(new PreciseTimer(QStringLiteral("Timer3"), kHideDelayMs, this))
{
    connect(controls.get<CommandButton>("Command33"), &QPushButton::clicked, this, &PortPanel::showPanel);
    connect(hideDelay_, &SessionTimer::tick, this, &PortPanel::hidePanel);
    connect(com1_, &QRadioButton::clicked, this, [this] { choosePort(1, 2); });
    connect(com2_, &QRadioButton::clicked, this, [this] { choosePort(2, 1); });
    connect(controls.get<QRadioButton>("Option9"), &QRadioButton::clicked, this,
            [this] { chooseSpeed(port_settings::kFast); });
    connect(controls.get<QRadioButton>("Option10"), &QRadioButton::clicked, this,
            [this] { chooseSpeed(port_settings::kSlow); });
    connect(&session_, &ProjectorSession::portLost, this, &PortPanel::warnPortLost);
    connect(&session_, &ProjectorSession::portOpened, this, [this] {
        if (pendingFallback_) {
            pendingFallback_.reset();
            panel_->setVisible(false);
        }
    });
    connect(&session_, &ProjectorSession::portOpenFailed, this, [this](const SerialError &error) {
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
    lostWarning_ = portWarning(&form_, text);
    lostWarning_->setAttribute(Qt::WA_DeleteOnClose);
    lostWarning_->setWindowModality(Qt::ApplicationModal);
    lostWarning_->show();
}

void PortPanel::showPanel()
{
    panel_->setVisible(true);
    hideDelay_->setEnabled(true);
}

void PortPanel::hidePanel()
{
    panel_->setVisible(false);
    hideDelay_->setEnabled(false);
}

void PortPanel::startHideDelay()
{
    hideDelay_->setEnabled(true);
}

void PortPanel::stopHideDelay()
{
    hideDelay_->setEnabled(false);
}

bool PortPanel::isHideDelayRunning() const
{
    return hideDelay_->enabled();
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
    panel_->setVisible(false);
}

void PortPanel::choiceFailed(const SerialError &error, int fallback)
{
    QMessageBox *box = portWarning(&form_, error.description);
    box->exec();
    delete box;
    session_.setPortNumber(fallback);
}

void PortPanel::chooseSpeed(const SerialSettings &settings)
{
    session_.setSettings(settings);
    panel_->setVisible(false);
}

void PortPanel::selectPortOptionByCode(int number)
{
    (number == 1 ? com1_ : com2_)->setChecked(true);
    choosePort(number, number == 1 ? 2 : 1);
}
