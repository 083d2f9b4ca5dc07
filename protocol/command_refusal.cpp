// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/command_refusal.h"

#include "protocol/commands.h"

namespace {

constexpr QChar kAck(0x06);

} // namespace

bool refusesCommand(const Command *command, const QString &reply)
{
    // A carriage return that has not come yet does not make the reply another.
    const QString text = reply.endsWith(QLatin1Char('\r')) ? reply.chopped(1) : reply;
    if (text.trimmed() == QLatin1String("?"))
        return true;
    const bool expectsAck = command && !command->statusQuery;
    return expectsAck && text != QString(kAck);
}
