#include "panel/data_panel.h"

#include "app/form1.h"
#include "app/window_builder.h"
#include "panel/key_chord.h"

#include <QPushButton>

namespace {
const QString kClose = QStringLiteral("CLOSE");
} // namespace

MonitorToggle monitorToggleFrom(int heightTwips)
{
    if (heightTwips < window_height::kTall)
        return {window_height::kMonitor, QStringLiteral("データを表示しない")};
    return {window_height::kCompact, QStringLiteral("データを表示する")};
}

DataPanel::DataPanel(Form1 &form)
    : QObject(&form), form_(form), button_(form.control<QPushButton>("Command34"))
{
    connect(new KeyChord(form, this), &KeyChord::pressed, this, &DataPanel::unlock);
    connect(form.control<ImageControl>("Image1"), &ImageControl::doubleClicked, this,
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
    form_.state().PanelUnlocked = 1;
    showButtonAs(kClose);
}

void DataPanel::openFullWindow()
{
    if (form_.state().PanelUnlocked != 1)
        return;
    form_.setHeightTwips(window_height::kFull);
    showButtonAs(kClose);
}

void DataPanel::toggleMonitor()
{
    // The port panel's wait starts anew once the window has its new height.
    WindowTimer &portPanelDelay = form_.timer(3);
    portPanelDelay.setEnabled(false);
    form_.state().PanelUnlocked = 0;
    const MonitorToggle next = monitorToggleFrom(form_.heightTwips());
    form_.setHeightTwips(next.heightTwips);
    button_->setText(next.caption);
    portPanelDelay.setEnabled(true);
}
