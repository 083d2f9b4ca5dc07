// The serial settings string: whatever is accepted is in range and formats
// back to a string that reads as the same settings.
//
// Input: the settings string, UTF-8.

#include "fuzz_check.h"

#include "session/serial_settings.h"

namespace {

bool sameSettings(const SerialSettings &a, const SerialSettings &b)
{
    return a.baud == b.baud && a.parity == b.parity && a.dataBits == b.dataBits && a.stopBits == b.stopBits;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::optional<SerialSettings> parsed =
        parseSerialSettings(QString::fromUtf8(fuzz::bytes(data, size)));
    if (!parsed)
        return 0;
    FUZZ_CHECK(parsed->baud > 0);
    FUZZ_CHECK(QByteArrayLiteral("NEOMS").contains(parsed->parity));
    FUZZ_CHECK(parsed->dataBits >= 5 && parsed->dataBits <= 8);
    FUZZ_CHECK(parsed->stopBits == 1 || parsed->stopBits == 15 || parsed->stopBits == 2);

    const QString formatted = formatSerialSettings(*parsed);
    const std::optional<SerialSettings> again = parseSerialSettings(formatted);
    FUZZ_CHECK(again && sameSettings(*again, *parsed));
    FUZZ_CHECK(formatSerialSettings(*again) == formatted);
    return 0;
}
