// SPDX-License-Identifier: GPL-3.0-or-later
// velno-cmd's command line: any arguments give an answer, a usage error
// always says what is wrong, and a run it accepts has something to send on
// a port it can open.
//
// Input: the arguments after the program's name, separated by NUL bytes.

#include "fuzz_check.h"

#include "cmd_options.h"

#include "protocol/command_line.h"
#include "protocol/commands.h"
#include "session/serial_settings.h"

#include <limits>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::startCoreApplication("velno-cmd");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const CmdOptions options = parseCmdOptions(fuzz::arguments("velno-cmd", data, size));
    using Action = CmdOptions::Action;
    switch (options.action) {
    case Action::UsageError: FUZZ_CHECK(!options.text.trimmed().isEmpty()); break;
    case Action::Help: FUZZ_CHECK(!options.text.isEmpty()); break;
    case Action::Run:
    case Action::Watch: {
        // One of the two: a command from the table, or a typed line with text on it.
        if (options.command)
            FUZZ_CHECK(findCommand(QString::fromLatin1(options.command->name)) == options.command);
        else
            FUZZ_CHECK(!firstLineOf(options.typedText).isEmpty());
        FUZZ_CHECK(options.settings == port_settings::kFast || options.settings == port_settings::kSlow);
        // The port reads back as itself: what a script names is what is opened.
        const PortAddressParse again = parsePortAddress(options.port.toString());
        FUZZ_CHECK(again.address && *again.address == options.port);
        FUZZ_CHECK(!options.timeoutMs || *options.timeoutMs > 0);
        if (options.action == Action::Watch) {
            FUZZ_CHECK(options.command && options.command->statusQuery);
            // The period goes to a timer in milliseconds.
            FUZZ_CHECK(options.watchSeconds > 0 &&
                       options.watchSeconds <= std::numeric_limits<int>::max() / 1000);
        }
        break;
    }
    case Action::List:
    case Action::Version: break;
    }
    return 0;
}
