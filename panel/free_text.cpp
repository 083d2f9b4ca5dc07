#include "panel/free_text.h"

#include "app/form1.h"
#include "link/command_line.h"
#include "link/exchange.h"
#include "link/monitor_timing.h"

#include <QLineEdit>
#include <QPushButton>

QString firstLineOf(const QString &text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('\r') || text[i] == QLatin1Char('\n'))
            return text.left(i);
    }
    return text;
}

FreeText::FreeText(Form1 &form) : QObject(&form), form_(form), text_(form.control<QLineEdit>("Text1"))
{
    connect(form.control<QPushButton>("Command95"), &QPushButton::clicked, this, &FreeText::send);
}

void FreeText::send()
{
    assignMonitorTiming(form_, monitor_timing::kShort);
    PanelState &state = form_.state();
    // Pasted text can hold a line break; one click puts one line on the wire.
    state.TypedCommand = firstLineOf(text_->text());
    state.LastCommand = commandLine(state.CommandPrefix, state.TypedCommand);
    form_.hyouji(state.LastCommand, Exchange::kSent);
}
