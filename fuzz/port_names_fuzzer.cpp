// Port names: a socket:// name that is accepted names a real endpoint and
// writes back to a name that reads as the same address; a device name from
// the environment is taken as it stands, whatever it holds.
//
// Input: one byte choosing the port number, then the text (UTF-8), tried as
// a socket:// name as it stands and with the scheme put before it, and as
// the value of VELNO_COMn.

#include "fuzz_check.h"

#include "session/port_naming.h"
#include "session/socket_address.h"

namespace {

void checkSocketName(const QString &name)
{
    const std::optional<SocketAddress> address = parseSocketAddress(name);
    if (!address)
        return;
    FUZZ_CHECK(isSocketPortName(name));
    FUZZ_CHECK(!address->host.isEmpty());
    FUZZ_CHECK(address->port >= 1); // a quint16 cannot pass 65535
    const QString written = socketPortName(*address);
    FUZZ_CHECK(isSocketPortName(written));
    const std::optional<SocketAddress> again = parseSocketAddress(written);
    FUZZ_CHECK(again && again->host == address->host && again->port == address->port);
    FUZZ_CHECK(socketPortName(*again) == written);
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
    checkSocketName(text);
    checkSocketName(QStringLiteral("socket://") + text);
    checkDeviceName(portNumber, text);
    return 0;
}
