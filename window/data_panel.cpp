#include "window/data_panel.h"

#include "window/form1.h"
#include "window/key_chord.h"
#include "window/layout_table.h"
#include "window/port_panel.h"
#include "window/window_builder.h"

#include <QPushButton>

namespace {
const QString kClose = QStringLiteral("CLOSE");
} // namespace

MonitorToggle monitorToggleFrom(int heightTwips)
{
    if (heightTwips < window_height::kTall)
        return {window_height::kMonitor, QString::fromUtf8(layout::data_button::kHideMonitor)};
    return {window_height::kCompact, QString::fromUtf8(layout::data_button::kShowMonitor)};
}

DataPanel::DataPanel(Form1 &form, const Controls &controls, PortPanel &portPanel)
    : QObject(&form), form_(form), portPanel_(portPanel), button_(controls.get<QPushButton>("Command34"))
{
    connect(new KeyChord(form, this), &KeyChord::pressed, this, &DataPanel::unlock);
    connect(controls.get<ImageControl>("Image1"), &ImageControl::doubleClicked, this,
            &DataPanel::openFullWindow);
    connect(button_, &QPushButton::clicked, this, &DataPanel::toggleMonitor);
}

void DataPanel::showButtonAs(const QString &caption)
{
    button_->setText(caption);
    button_->setVisible(true);
}

void DataPanel::unlock()
{
    form_.setHeightTwips(window_height::kUnlocked);
    unlocked_ = true;
    showButtonAs(kClose);
}

void DataPanel::openFullWindow()
{
    if (!unlocked_)
        return;
    form_.setHeightTwips(window_height::kFull);
    showButtonAs(kClose);
}

void DataPanel::toggleMonitor()
{
    // The port panel's wait starts anew once the window has its new height.
    portPanel_.stopHideDelay();
    unlocked_ = false;
    const MonitorToggle next = monitorToggleFrom(form_.heightTwips());
    form_.setHeightTwips(next.heightTwips);
    button_->setText(next.caption);
    portPanel_.startHideDelay();
}
