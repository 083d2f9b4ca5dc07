// SPDX-License-Identifier: GPL-3.0-or-later
// velno-control's command line: any arguments give an answer, and a usage
// error always says what is wrong.
//
// Input: the arguments after the program's name, separated by NUL bytes.

#include "fuzz_check.h"

#include "control_options.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::startCoreApplication("velno-control");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QStringList arguments = fuzz::arguments("velno-control", data, size);
    const ControlOptions options = parseControlOptions(arguments);
    FUZZ_CHECK(!options.usage.isEmpty());
    using Action = ControlOptions::Action;
    switch (options.action) {
    case Action::UsageError: FUZZ_CHECK(!options.text.trimmed().isEmpty()); break;
    case Action::Help: FUZZ_CHECK(options.text.contains(QLatin1String("--com1"))); break;
    case Action::Run:
        // A device is taken from the arguments, not made up, and reads back as itself.
        for (const std::optional<PortAddress> &device : {options.com1, options.com2}) {
            if (!device)
                continue;
            const PortAddressParse again = parseDeviceAddress(device->toString());
            FUZZ_CHECK(again.address && *again.address == *device);
            if (!device->isSocket())
                FUZZ_CHECK(!arguments.filter(device->device).isEmpty());
        }
        break;
    case Action::Version:
    case Action::ListPorts: break;
    }
    return 0;
}
