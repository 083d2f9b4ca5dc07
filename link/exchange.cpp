#include "link/exchange.h"

#include "app/command_button.h"
#include "app/form1.h"
#include "link/command_line.h"
#include "link/monitor_label.h"
#include "link/status_decoding.h"

#include <QLineEdit>

Exchange::Exchange(Form1 &form)
    : QObject(&form), form_(form), sentLine_(form.control<MonitorLabel>("Label11")),
      receivedLine_(form.control<MonitorLabel>("Label12")), statusLine_(form.control<MonitorLabel>("Label22"))
{
    connect(&form.timer(2), &WindowTimer::tick, this, &Exchange::timer2Tick);
    connect(&form.timer(4), &WindowTimer::tick, this, &Exchange::timer4Tick);
    connect(&form.comm(), &SerialControl::onComm, this, &Exchange::onComm);
    connect(form.control<CommandButton>("Command3"), &QPushButton::clicked, this,
            [this] { sendCode(QStringLiteral("C1E")); });
    connect(form.control<CommandButton>("Command96"), &QPushButton::clicked, this,
            [this] { form_.control<QLineEdit>("Text1")->clear(); });
}

void Exchange::sendCode(const QString &code)
{
    PanelState &state = form_.state();
    state.LastCommand = commandLine(state.CommandPrefix, code);
    hyouji(state.LastCommand, kSent);
}

void Exchange::hyouji(const QString &line, quint8 direction)
{
    if (direction == kSent) {
        form_.comm().output(line);
        sentLine_->showRenderingOf(line);
        form_.timer(2).setEnabled(true);
        form_.state().SendPending = 1;
        form_.timer(4).setEnabled(true);
        return;
    }
    receivedLine_->showRenderingOf(line);
    decodeStatus();
}

void Exchange::decodeStatus()
{
    PanelState &state = form_.state();
    const StatusDecoding decoded =
        decodeStatusReply(state.LastCommand, receivedLine_->text(), state.CommandPrefix);
    if (decoded.pressureValue)
        state.PressureValue = *decoded.pressureValue;
    if (decoded.text)
        statusLine_->setText(*decoded.text);
}

void Exchange::timer2Tick()
{
    PanelState &state = form_.state();
    if (state.SendPending == 1)
        receivedLine_->setText(QStringLiteral(" X X X X"));
    form_.timer(2).setEnabled(false);
    state.ReceiveBuffer.clear();
    state.SendPending = 0;
}

void Exchange::timer4Tick()
{
    sentLine_->setText(QString());
    receivedLine_->setText(QString());
    statusLine_->setText(QString());
    form_.timer(4).setEnabled(false);
}

void Exchange::onComm()
{
    SerialControl &comm = form_.comm();
    if (comm.commEvent() != SerialControl::kCommEventReceive)
        return;
    const QString arrived = comm.input();
    PanelState &state = form_.state();
    // The rendering counts in 16 bits: what does not fit is dropped until
    // the buffer is next emptied, so a streaming device cannot grow memory.
    const qsizetype room = kReceiveBufferLimit - state.ReceiveBuffer.size();
    if (room > 0)
        state.ReceiveBuffer += QStringView(arrived).left(room);
    state.SendPending = 0;
    hyouji(state.ReceiveBuffer, kReceived);
}
