// SPDX-License-Identifier: GPL-3.0-or-later
// Port names: every name either gives an address that writes back to a
// name reading as the same address, or a reason for a usage error; a device
// name from the environment is taken as it stands, whatever it holds.
//
// Input: one byte choosing the port number, then the text (UTF-8), tried as
// a port name as it stands and with the socket:// scheme put before it, and
// as the value of VELNO_COMn.

#include "fuzz_check.h"

#include "session/port_address.h"

namespace {

void checkName(const QString &name, PortAddressParse (*parse)(const QString &))
{
    const PortAddressParse parsed = parse(name);
    if (!parsed.address) {
        FUZZ_CHECK(!parsed.problem.trimmed().isEmpty());
        return;
    }
    const PortAddress &address = *parsed.address;
    if (address.isSocket()) {
        FUZZ_CHECK(!address.host.isEmpty());
        FUZZ_CHECK(address.port >= 1); // a quint16 cannot pass 65535
    }
    const QString written = address.toString();
    const PortAddressParse again = parse(written);
    FUZZ_CHECK(again.address && *again.address == address);
    FUZZ_CHECK(again.address->toString() == written);
}

void checkDeviceName(int portNumber, const QString &value)
{
    QString asked;
    const QString device = portDeviceName(portNumber, [&](const QString &name) {
        asked = name;
        return value;
    });
    FUZZ_CHECK(asked == QStringLiteral("VELNO_COM%1").arg(portNumber));
    FUZZ_CHECK(!device.isEmpty());
    if (!value.isEmpty())
        FUZZ_CHECK(device == value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const int portNumber = kLowestPortNumber + data[0] % (kHighestPortNumber - kLowestPortNumber + 1);
    const QString text = QString::fromUtf8(fuzz::bytes(data + 1, size - 1));
    for (auto parse : {parsePortAddress, parseDeviceAddress}) {
        checkName(text, parse);
        checkName(QStringLiteral("socket://") + text, parse);
    }
    checkDeviceName(portNumber, text);
    return 0;
}
