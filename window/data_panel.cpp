// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/data_panel.h"

#include "window/layout_table.h"
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

DataPanel::DataPanel(const DataPanelControls &controls, WindowHeight &window, QObject *parent)
    : QObject(parent), window_(window), button_(controls.button)
{
    connect(controls.logo, &ImageControl::doubleClicked, this, &DataPanel::openFullWindow);
    connect(button_, &QPushButton::clicked, this, &DataPanel::toggleMonitor);
}

void DataPanel::showButtonAs(const QString &caption)
{
    button_->setText(caption);
    button_->setVisible(true);
}

void DataPanel::unlock()
{
    window_.setHeightTwips(window_height::kUnlocked);
    unlocked_ = true;
    showButtonAs(kClose);
}

void DataPanel::openFullWindow()
{
    if (!unlocked_)
        return;
    window_.setHeightTwips(window_height::kFull);
    showButtonAs(kClose);
}

void DataPanel::toggleMonitor()
{
    unlocked_ = false;
    const MonitorToggle next = monitorToggleFrom(window_.heightTwips());
    window_.setHeightTwips(next.heightTwips);
    button_->setText(next.caption);
    emit monitorToggled();
}
