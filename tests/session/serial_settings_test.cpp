#include "session/port_naming.h"
#include "session/serial_settings.h"
#include "support/test_names.h"

#include <gtest/gtest.h>

namespace {

struct SettingsCase {
    const char *text;
    bool valid;
    int baud, dataBits, stopBits;
    char parity;
};

class SerialSettingsTest : public ::testing::TestWithParam<SettingsCase> {};

TEST_P(SerialSettingsTest, Parses)
{
    const SettingsCase &c = GetParam();
    const auto parsed = parseSerialSettings(QString::fromLatin1(c.text));
    ASSERT_EQ(parsed.has_value(), c.valid) << c.text;
    if (!c.valid)
        return;
    EXPECT_EQ(parsed->baud, c.baud);
    EXPECT_EQ(parsed->parity, c.parity);
    EXPECT_EQ(parsed->dataBits, c.dataBits);
    EXPECT_EQ(parsed->stopBits, c.stopBits);
}

INSTANTIATE_TEST_SUITE_P(
    Strings, SerialSettingsTest,
    ::testing::Values(
        SettingsCase{"19200,N,8,1", true, 19200, 8, 1, 'N'},
        SettingsCase{"9600,N,8,1", true, 9600, 8, 1, 'N'}, SettingsCase{"4800,e,7,2", true, 4800, 7, 2, 'E'},
        SettingsCase{"110,O,5,1.5", true, 110, 5, 15, 'O'}, SettingsCase{"", false, 0, 0, 0, 0},
        SettingsCase{"19200,N,8", false, 0, 0, 0, 0}, SettingsCase{"19200,N,8,1,1", false, 0, 0, 0, 0},
        SettingsCase{"fast,N,8,1", false, 0, 0, 0, 0}, SettingsCase{"0,N,8,1", false, 0, 0, 0, 0},
        SettingsCase{"19200,X,8,1", false, 0, 0, 0, 0}, SettingsCase{"19200,NN,8,1", false, 0, 0, 0, 0},
        SettingsCase{"19200,N,9,1", false, 0, 0, 0, 0}, SettingsCase{"19200,N,4,1", false, 0, 0, 0, 0},
        SettingsCase{"19200,N,8,3", false, 0, 0, 0, 0}),
    [](const ::testing::TestParamInfo<SettingsCase> &info) {
        return (info.param.valid ? "" : "Refused_") + test_names::identifier(QLatin1String(info.param.text));
    });

TEST(PortNaming, EnvironmentNamesTheDeviceElseTheSerialLine)
{
    const auto env = [](const QString &name) {
        return name == QLatin1String("VELNO_COM2") ? QStringLiteral("/dev/ttyUSB0") : QString();
    };
#ifdef Q_OS_WIN
    EXPECT_EQ(portDeviceName(1, env), QStringLiteral("COM1"));
    EXPECT_EQ(portDeviceName(2, env), QStringLiteral("COM2"));
#else
    EXPECT_EQ(portDeviceName(1, env), QStringLiteral("/dev/ttyS0"));
    EXPECT_EQ(portDeviceName(2, env), QStringLiteral("/dev/ttyUSB0"));
    EXPECT_EQ(portDeviceName(3, env), QStringLiteral("/dev/ttyS2"));
#endif
}

} // namespace
