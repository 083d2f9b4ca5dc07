// SPDX-License-Identifier: GPL-3.0-or-later
// Port names as every program reads them: one parser, so a name one
// program takes no other refuses.

#include "session/port_address.h"
#include "support/printers.h"
#include "support/test_names.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct NameCase {
    const char *text;
    const char *reads; // the address written back, or nullptr when refused
    const char *why;   // a word the refusal gives
};

const NameCase kNames[] = {
    {"COM1", "COM1", nullptr},
    {"com2", "COM2", nullptr},
    {"/dev/ttyUSB0", "/dev/ttyUSB0", nullptr},
    {"socket://hall-a.example:4001", "socket://hall-a.example:4001", nullptr},
    {"socket://10.0.4.17:4001", "socket://10.0.4.17:4001", nullptr},
    {"SOCKET://[fd00::17]:4001", "socket://[fd00::17]:4001", nullptr},
    {"socket://host:04001", "socket://host:4001", nullptr},
    {"", nullptr, "empty"},
    {"socket://host", nullptr, ":PORT"},
    {"socket://:4001", nullptr, "no host"},
    {"socket://fd00::17:4001", nullptr, "brackets"},
    {"socket://[fd00::17:4001", nullptr, "closing"},
    {"socket://[fd00::17]", nullptr, ":PORT"},
    {"socket://[not-v6]:1", nullptr, "IPv6"},
    {"socket://host:0", nullptr, "1 to 65535"},
    {"socket://host:65536", nullptr, "1 to 65535"},
    {"socket://host:40x1", nullptr, "1 to 65535"},
    {"socket://ho st:4001", nullptr, "host name"},
    {"socket://host:4001/path", nullptr, "1 to 65535"},
#ifndef Q_OS_WIN
    {"COM3", nullptr, "COM1 and COM2"},
#endif
};

class PortNames : public ::testing::TestWithParam<NameCase> {};

TEST_P(PortNames, ReadAsAnAddressOrRefusedWithTheReason)
{
    const NameCase &c = GetParam();
    const PortAddressParse parsed = parsePortAddress(QString::fromUtf8(c.text));
    if (!c.reads) {
        ASSERT_FALSE(parsed.address) << parsed.address->toString().toStdString();
        EXPECT_TRUE(parsed.problem.contains(QLatin1String(c.why))) << parsed.problem.toStdString();
        return;
    }
    ASSERT_TRUE(parsed.address) << parsed.problem.toStdString();
    EXPECT_EQ(parsed.address->toString(), QString::fromUtf8(c.reads));
    EXPECT_EQ(parsePortAddress(parsed.address->toString()).address, parsed.address);
}

INSTANTIATE_TEST_SUITE_P(Table, PortNames, ::testing::ValuesIn(kNames), [](const auto &info) {
    // Two malformed names can read alike once reduced to letters and digits.
    return std::string(info.param.reads ? "" : "Refused_") +
           test_names::identifier(QString::fromUtf8(info.param.text)) + '_' + std::to_string(info.index);
});

TEST(PortAddresses, NumberedPortsResolveAsThePanelMapsThem)
{
    const auto env = [](const QString &name) {
        if (name == QLatin1String("VELNO_COM1"))
            return QStringLiteral("socket://[::1]:4001");
        if (name == QLatin1String("VELNO_COM2"))
            return QStringLiteral("socket://nowhere");
        return QString();
    };
    EXPECT_EQ(resolvePortAddress(PortAddress::numbered(1), env).address, PortAddress::socket("::1", 4001));
    const PortAddressParse bad = resolvePortAddress(PortAddress::numbered(2), env);
    EXPECT_FALSE(bad.address);
    EXPECT_TRUE(bad.problem.contains(QStringLiteral("socket://nowhere"))) << bad.problem.toStdString();
    const PortAddress path = PortAddress::serialDevice(QStringLiteral("/dev/ttyUSB3"));
    EXPECT_EQ(resolvePortAddress(path, env).address, path);
    // Behind a number, "COM2" is a device's own name, as on Windows.
    EXPECT_EQ(parseDeviceAddress(QStringLiteral("COM2")).address,
              PortAddress::serialDevice(QStringLiteral("COM2")));
#ifndef Q_OS_WIN
    const auto none = [](const QString &) { return QString(); };
    EXPECT_EQ(resolvePortAddress(PortAddress::numbered(2), none).address,
              PortAddress::serialDevice(QStringLiteral("/dev/ttyS1")));
#endif
}

TEST(PortAddresses, TwoNamesOfOneDeviceHaveOneIdentity)
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("ttyUSB0"));
    QFile(target).open(QIODevice::WriteOnly);
    const QString link = dir.filePath(QStringLiteral("by-id-adapter"));
    ASSERT_TRUE(QFile::link(target, link));
    EXPECT_EQ(deviceIdentity(PortAddress::serialDevice(link)),
              deviceIdentity(PortAddress::serialDevice(target)));
    EXPECT_EQ(deviceIdentity(PortAddress::socket(QStringLiteral("Hall.Example"), 4001)),
              deviceIdentity(PortAddress::socket(QStringLiteral("hall.example"), 4001)));
    EXPECT_NE(deviceIdentity(PortAddress::socket(QStringLiteral("hall.example"), 4001)),
              deviceIdentity(PortAddress::socket(QStringLiteral("hall.example"), 4002)));
}

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
#endif
}

} // namespace
