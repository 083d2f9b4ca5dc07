// SPDX-License-Identifier: GPL-3.0-or-later
#include "bridge/bridge_options.h"
#include "bridge/config_file.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string_view>

namespace {

class BridgeOptionsTest : public ::testing::Test {
protected:
    // A file in a private directory; returns its path.
    QString writeFile(const QString &name, const QByteArray &content)
    {
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        return file.fileName();
    }

    // Whatever this machine has in /etc, a test reads only its own files.
    BridgeOptionsParse parse(const QStringList &arguments) const
    {
        return parseBridgeOptions(QStringList{QStringLiteral("velno-bridge")} + arguments,
                                  dir.filePath(QStringLiteral("no-default.conf")));
    }
    BridgeOptionsParse parse(const QString &line) const
    {
        return parse(line.split(QLatin1Char(' '), Qt::SkipEmptyParts));
    }

    QTemporaryDir dir;
};

TEST_F(BridgeOptionsTest, FullLineIsReadIntoTheOptions)
{
    const QString passwordFile = writeFile(QStringLiteral("password"), "s3cret pass\r\nsecond line\n");
    const QString caFile = writeFile(QStringLiteral("ca.pem"), "-----BEGIN CERTIFICATE-----\n");
    const BridgeOptionsParse result = parse(
        QStringList{QStringLiteral("--broker"), QStringLiteral("mqtt://broker.example:8883"),
                    QStringLiteral("--username"), QStringLiteral("panel"), QStringLiteral("--password-file"),
                    passwordFile, QStringLiteral("--cafile"), caFile, QStringLiteral("--topic-prefix"),
                    QStringLiteral("site/av"), QStringLiteral("--poll"), QStringLiteral("0"),
                    QStringLiteral("--projector"), QStringLiteral("hall=COM1"), QStringLiteral("--projector"),
                    QStringLiteral("foyer_2=socket://127.0.0.1:4001"), QStringLiteral("--projector"),
                    QStringLiteral("lab-3=/dev/ttyUSB0")});
    ASSERT_EQ(result.outcome, BridgeOptionsParse::Outcome::Run) << result.error.toStdString();
    const BridgeOptions &options = result.options;
    EXPECT_EQ(options.brokerHost, QStringLiteral("broker.example"));
    EXPECT_EQ(options.brokerPort, 8883);
    EXPECT_EQ(options.username, QStringLiteral("panel"));
    EXPECT_EQ(options.password, QByteArray("s3cret pass"));
    EXPECT_EQ(options.caFile, caFile);
    EXPECT_EQ(options.topicPrefix, QStringLiteral("site/av"));
    EXPECT_EQ(options.pollSeconds, 0);
    ASSERT_EQ(options.projectors.size(), 3u);
    EXPECT_EQ(options.projectors[1].id, QStringLiteral("foyer_2"));
    EXPECT_EQ(options.projectors[1].port.toString(), QStringLiteral("socket://127.0.0.1:4001"));
    EXPECT_EQ(options.projectors[2].port.toString(), QStringLiteral("/dev/ttyUSB0"));
}

TEST_F(BridgeOptionsTest, ShortLineGetsTheDefaults)
{
    const BridgeOptionsParse result = parse(QStringLiteral("--broker mqtt://[::1] --projector hall=COM2"));
    ASSERT_EQ(result.outcome, BridgeOptionsParse::Outcome::Run) << result.error.toStdString();
    EXPECT_EQ(result.options.brokerHost, QStringLiteral("::1"));
    EXPECT_EQ(result.options.brokerPort, 1883); // also with TLS: 8883 is never implied
    EXPECT_EQ(result.options.topicPrefix, QStringLiteral("velno"));
    EXPECT_TRUE(result.options.username.isEmpty());
    EXPECT_TRUE(result.options.password.isEmpty());
}

TEST_F(BridgeOptionsTest, HelpIsNotAnError)
{
    const BridgeOptionsParse result = parse(QStringLiteral("--help"));
    EXPECT_EQ(result.outcome, BridgeOptionsParse::Outcome::ShowHelp);
    EXPECT_TRUE(result.help.contains(QLatin1String("--projector")));
}

struct BadLine {
    const char *line;     // after the program name; {dir} is the test's directory
    const char *mentions; // the error names the option at fault
};

void PrintTo(const BadLine &bad, std::ostream *out)
{
    *out << bad.line;
}

class BadBridgeOptions : public BridgeOptionsTest, public ::testing::WithParamInterface<BadLine> {};

TEST_P(BadBridgeOptions, AreRefusedNamingTheOption)
{
    writeFile(QStringLiteral("empty"), "");
    // Two names of one device: its path, and a link to it by a path that walks about.
    QFile::link(writeFile(QStringLiteral("tty"), "x\n"), dir.filePath(QStringLiteral("link-to-tty")));
    const QString line = QString::fromUtf8(GetParam().line)
                             .replace(QLatin1String("{dir}"), dir.path())
                             .replace(QLatin1String("{dirname}"), QFileInfo(dir.path()).fileName())
                             .replace(QLatin1String("{long}"), QString(70000, QLatin1Char('v')));
    const QStringList arguments = line.split(QLatin1Char('|'));
    const BridgeOptionsParse result = parse(arguments);
    EXPECT_EQ(result.outcome, BridgeOptionsParse::Outcome::Error);
    EXPECT_TRUE(result.error.contains(QLatin1String(GetParam().mentions))) << result.error.toStdString();
    EXPECT_FALSE(result.usage.isEmpty());
}

// Arguments are separated by '|' so that IDs with spaces stay one argument.
const BadLine kBadLines[] = {
    {"--broker|mqtt://h|--projector|Hall A=COM1", "--projector Hall A=COM1"},
    {"--broker|mqtt://h|--projector|hall/a=COM1", "--projector hall/a=COM1"},
    {"--broker|mqtt://h|--projector|HALL=COM1", "--projector HALL=COM1"},
    {"--broker|mqtt://h|--projector|hall+=COM1", "--projector hall+=COM1"},
    {"--broker|mqtt://h|--projector|=COM1", "--projector =COM1"},
    {"--broker|mqtt://h|--projector|bridge=COM1", "--projector bridge=COM1"},
    {"--broker|mqtt://h|--projector|hall\n=COM1", "the ID may hold only"},
    {"--broker|mqtt://h|--projector|hall", "--projector hall"},
    {"--broker|mqtt://h|--projector|hall=COM9", "--projector hall=COM9"},
    {"--broker|mqtt://h|--projector|hall=socket://127.0.0.1", "--projector hall=socket"},
    {"--broker|mqtt://h|--projector|hall=COM1|--projector|hall=COM2", "'hall' is given twice"},
    {"--broker|mqtt://h|--projector|hall=COM1|--projector|foyer=COM1", "both use COM1"},
    {"--broker|mqtt://h", "--projector"},
    {"--projector|hall=COM1", "--broker"},
    {"--broker|http://h|--projector|hall=COM1", "--broker"},
    {"--broker|h:1883|--projector|hall=COM1", "--broker"},
    {"--broker|mqtt://|--projector|hall=COM1", "--broker"},
    {"--broker|mqtt://h:0|--projector|hall=COM1", "--broker"},
    {"--broker|mqtt://h:70000|--projector|hall=COM1", "--broker"},
    {"--broker|mqtt://h/path|--projector|hall=COM1", "--broker"},
    {"--broker|mqtt://h|--broker|mqtt://g|--projector|hall=COM1", "--broker"},
    {"--broker|mqtt://h|--username|u|--password-file|{dir}/missing|--projector|hall=COM1", "--password-file"},
    {"--broker|mqtt://h|--username|u|--password-file|{dir}|--projector|hall=COM1", "--password-file"},
    {"--broker|mqtt://h|--username|u|--password-file|{dir}/empty|--projector|hall=COM1", "--password-file"},
    {"--broker|mqtt://h|--password-file|{dir}/tty|--projector|hall=COM1", "--username"},
    {"--broker|mqtt://h|--cafile|{dir}/missing.pem|--projector|hall=COM1", "--cafile"},
    {"--broker|mqtt://h|--topic-prefix|velno/#|--projector|hall=COM1", "--topic-prefix"},
    {"--broker|mqtt://h|--topic-prefix|a/+/b|--projector|hall=COM1", "--topic-prefix"},
    {"--broker|mqtt://h|--topic-prefix|/velno|--projector|hall=COM1", "--topic-prefix"},
    {"--broker|mqtt://h|--topic-prefix|velno/|--projector|hall=COM1", "--topic-prefix"},
    {"--broker|mqtt://h|--topic-prefix|a//b|--projector|hall=COM1", "--topic-prefix"},
    {"--broker|mqtt://h|--topic-prefix||--projector|hall=COM1", "--topic-prefix"},
    {"--broker|mqtt://h|--topic-prefix|$SYS|--projector|hall=COM1", "--topic-prefix"},
    {"--broker|mqtt://h|--topic-prefix|velno\x01|--projector|hall=COM1", "--topic-prefix"},
    {"--broker|mqtt://h|--topic-prefix|{long}|--projector|hall=COM1", "--topic-prefix"},
    {"--broker|mqtt://h|--projector|hall={dir}/tty|--projector|lab={dir}/../{dirname}/link-to-tty",
     "both use"},
    {"--broker|mqtt://h|--client-id||--projector|hall=COM1", "--client-id"},
    {"--broker|mqtt://h|--ha-status-topic|ha/#/x|--projector|hall=COM1", "--ha-status-topic"},
    {"--broker|mqtt://h|--queue-limit|0|--projector|hall=COM1", "--queue-limit"},
    {"--broker|mqtt://"
     "h|--projector|x0123456789012345678901234567890123456789012345678901234567890123456789=COM1",
     "at most"},
    {"--broker|mqtt://h|--poll|-1|--projector|hall=COM1", "--poll"},
    {"--broker|mqtt://h|--poll|often|--projector|hall=COM1", "--poll"},
    {"--broker|mqtt://h|--projector|hall=COM1|--frobnicate", "frobnicate"},
    {"--broker|mqtt://h|--projector|hall=COM1|stray", "stray"},
};
INSTANTIATE_TEST_SUITE_P(Table, BadBridgeOptions, ::testing::ValuesIn(kBadLines));

TEST_F(BridgeOptionsTest, PasswordIsKeptByteForByteAndItsRisksAreWarnedOf)
{
    const QString passwordFile = writeFile(QStringLiteral("password"), "s3cr\xc3\xa9t \xe2\x82\xac\n");
    QFile::setPermissions(passwordFile,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther);
    const BridgeOptionsParse result =
        parse(QStringLiteral("--broker mqtt://h --username u --password-file %1 --projector hall=COM1")
                  .arg(passwordFile));
    ASSERT_EQ(result.outcome, BridgeOptionsParse::Outcome::Run) << result.error.toStdString();
    EXPECT_EQ(result.options.password, QByteArray("s3cr\xc3\xa9t \xe2\x82\xac"));
    ASSERT_EQ(result.warnings.size(), 2) << result.warnings.join('\n').toStdString();
    EXPECT_TRUE(result.warnings.filter(QStringLiteral("other users")).size() == 1);
    EXPECT_TRUE(result.warnings.filter(QStringLiteral("unencrypted")).size() == 1);
    EXPECT_FALSE(result.warnings.join(' ').contains(QLatin1String("s3cr")));

    writeFile(QStringLiteral("nul"), QByteArray("pass\0word\n", 10));
    const BridgeOptionsParse withNul =
        parse(QStringLiteral("--broker mqtt://h --username u --password-file %1 --projector hall=COM1")
                  .arg(dir.filePath("nul")));
    EXPECT_EQ(withNul.outcome, BridgeOptionsParse::Outcome::Error);
    EXPECT_TRUE(withNul.error.contains(QLatin1String("NUL"))) << withNul.error.toStdString();
}

TEST_F(BridgeOptionsTest, AnEmptyPasswordLineMeansNoLoginUnlessAUserIsNamed)
{
    // What the service manager hands over when no password file is configured.
    const QString empty = writeFile(QStringLiteral("credential"), "\n");
    const BridgeOptionsParse anonymous =
        parse(QStringLiteral("--broker mqtt://h --password-file %1 --projector hall=COM1").arg(empty));
    ASSERT_EQ(anonymous.outcome, BridgeOptionsParse::Outcome::Run) << anonymous.error.toStdString();
    EXPECT_TRUE(anonymous.options.password.isEmpty());
    EXPECT_TRUE(anonymous.warnings.isEmpty());
    const BridgeOptionsParse named = parse(
        QStringLiteral("--broker mqtt://h --username u --password-file %1 --projector hall=COM1").arg(empty));
    EXPECT_EQ(named.outcome, BridgeOptionsParse::Outcome::Error);
    EXPECT_TRUE(named.error.contains(QLatin1String("no password"))) << named.error.toStdString();
}

TEST_F(BridgeOptionsTest, ClientIdIsStableShortAndDiffersPerPrefixAndHost)
{
    const QString id = defaultClientId(QStringLiteral("av-server"), QStringLiteral("velno"));
    EXPECT_EQ(id, defaultClientId(QStringLiteral("av-server"), QStringLiteral("velno")));
    EXPECT_LE(id.toUtf8().size(), 23) << "what every MQTT 3.1.1 broker must accept";
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^[0-9a-zA-Z]+$")).match(id).hasMatch())
        << id.toStdString();
    EXPECT_NE(id, defaultClientId(QStringLiteral("av-server"), QStringLiteral("site/b")));
    EXPECT_NE(id, defaultClientId(QStringLiteral("other-server"), QStringLiteral("velno")));
    EXPECT_EQ(parse(QStringLiteral("--broker mqtt://h --client-id hall-bridge --projector hall=COM1"))
                  .options.clientId,
              QStringLiteral("hall-bridge"));
}

TEST_F(BridgeOptionsTest, BrokerErrorsNeverRepeatAPasswordFromTheUrl)
{
    const BridgeOptionsParse result =
        parse(QStringLiteral("--broker mqtt://user:hunter2@h --projector hall=COM1"));
    ASSERT_EQ(result.outcome, BridgeOptionsParse::Outcome::Error);
    EXPECT_TRUE(result.error.contains(QLatin1String("--username")));
    EXPECT_FALSE(result.error.contains(QLatin1String("hunter2"))) << result.error.toStdString();
}

} // namespace

namespace {

using namespace std::string_view_literals;

struct BrokenFile {
    std::string_view content; // NUL bytes included
    const char *says;         // after "FILE:"
};

void PrintTo(const BrokenFile &broken, std::ostream *out)
{
    *out << broken.content;
}

class BrokenConfigFile : public BridgeOptionsTest, public ::testing::WithParamInterface<BrokenFile> {};

TEST_P(BrokenConfigFile, IsRefusedNamingTheLineAndTheKey)
{
    const std::string_view content = GetParam().content;
    const QString path =
        writeFile(QStringLiteral("bridge.conf"), QByteArray(content.data(), qsizetype(content.size())));
    const BridgeOptionsParse result = parse(QStringLiteral("--config %1").arg(path));
    EXPECT_EQ(result.outcome, BridgeOptionsParse::Outcome::Error);
    EXPECT_TRUE(result.error.startsWith(path + QLatin1Char(':'))) << result.error.toStdString();
    EXPECT_TRUE(result.error.contains(QLatin1String(GetParam().says))) << result.error.toStdString();
}

const BrokenFile kBrokenFiles[] = {
    {"url = mqtt://h\n", ":1: 'url' before any section"},
    {"[broker]\nurl mqtt://h\n", ":2: expected 'key = value'"},
    {"[broker]\nurl = mqtt://h\nurl = mqtt://g\n", ":3: [broker] url is given twice"},
    {"[broker]\nurll = mqtt://h\n", ":2: [broker] urll: unknown key"},
    {"[brokers]\n", ":1: [brokers]: expected [broker], [projector ID], [group ID] or [web]"},
    {"[broker\nurl = mqtt://h\n", ":1: a section line ends with ']'"},
    {"[projector hall]\n", ":1: [projector hall]: no port"},
    {"[projector hall]\nport = COM1\nspeed = 9600\n", ":3: [projector hall] speed: unknown key"},
    {"[projector hall]\nport = COM1\n[projector hall]\nport = COM2\n", ":3: [projector hall] is given twice"},
    {"[broker]\nurl = http://h\n[projector hall]\nport = COM1\n", ":2: [broker] url: expected mqtt://"},
    {"[broker]\nurl = mqtt://h\npoll = soon\n[projector hall]\nport = COM1\n",
     ":3: [broker] poll: expected a whole number"},
    {"# hall\n[broker]\nurl = mqtt://h\n\n[projector Hall]\nport = COM1\n",
     ":5: [projector Hall]: the ID may hold"},
    {"[broker]\nurl = mqtt://h\n[projector hall]\nport = socket://x\n",
     ":4: [projector hall] port: 'socket://x'"},
    {"[broker]\nurl = mqtt://h\n[projector hall]\nport = COM1\n[projector lab]\nport = COM1\n",
     ":6: [projector lab] port: 'hall' and 'lab' both use COM1"},
    {"[broker]\nurl = mqtt://h\0\n"sv, ":2: a NUL byte"},
    {"[broker]\nurl = mqtt://h\n# caf\xe9\n", ":3: bytes that are not UTF-8"},
    {"[broker]\nurl = mqtt://h\n[projector hall\n]\nport = COM1\n", ":3: a section line ends with ']'"},
    // Groups: every member one of this bridge's projectors, the ID a free one.
    {"[broker]\nurl = mqtt://h\n[projector hall]\nport = COM1\n[group east]\nprojectors = hall, lab\n",
     ":6: [group east] projectors: 'lab' is no projector of this bridge"},
    {"[broker]\nurl = mqtt://h\n[projector hall]\nport = COM1\n[group east]\nprojectors = hall, hall\n",
     ":6: [group east] projectors: 'hall' is given twice"},
    {"[broker]\nurl = mqtt://h\n[projector hall]\nport = COM1\n[group hall]\nprojectors = hall\n",
     ":5: [group hall]: 'hall' is a projector's ID"},
    {"[broker]\nurl = mqtt://h\n[projector hall]\nport = COM1\n[group all]\nprojectors = hall\n",
     ":5: [group all]: the group 'all' is every projector already"},
    {"[broker]\nurl = mqtt://h\n[projector hall]\nport = COM1\n[group east]\n",
     ":5: [group east]: no projectors"},
    {"[broker]\nurl = mqtt://h\n[projector group]\nport = COM1\n",
     ":3: [projector group]: the ID 'group' is taken"},
    {"[broker]\nurl = mqtt://h\nbridge-name = North\n[projector hall]\nport = COM1\n",
     ":3: [broker] bridge-name: the ID may hold"},
    {"[broker]\nurl = mqtt://h\n[projector hall]\nport = COM1\n[web]\nhosts = av.example\n",
     ":6: [web] hosts: hosts needs listen"},
    {"[broker]\nurl = mqtt://h\n[projector hall]\nport = COM1\n[web]\nlisten = 127.0.0.1:8080\nhosts = a, "
     "evil:1\n",
     ":7: [web] hosts: 'evil:1' is not a host name"},
};
INSTANTIATE_TEST_SUITE_P(Table, BrokenConfigFile, ::testing::ValuesIn(kBrokenFiles));

TEST_F(BridgeOptionsTest, CheckConfigListsTheGroupsWithAllAndNamedBridgesGetTheirOwnClientId)
{
    const QString path =
        writeFile(QStringLiteral("bridge.conf"),
                  "[broker]\nurl = mqtt://h\nbridge-name = north\n[projector hall]\nport = COM1\n"
                  "[projector lab]\nport = COM2\n[group east]\nprojectors = lab, hall\n");
    const BridgeOptionsParse result = parse(QStringLiteral("--config %1 --check-config").arg(path));
    ASSERT_EQ(result.outcome, BridgeOptionsParse::Outcome::CheckConfig) << result.error.toStdString();
    EXPECT_TRUE(result.effective.contains(QLatin1String("# group all: every projector (2)")));
    EXPECT_TRUE(result.effective.contains(QLatin1String("[group east]\nprojectors = lab, hall\n")));
    EXPECT_EQ(result.options.bridgeName, QStringLiteral("north"));
    EXPECT_NE(defaultClientId(QStringLiteral("h"), QStringLiteral("velno"), QStringLiteral("north")),
              defaultClientId(QStringLiteral("h"), QStringLiteral("velno"), QStringLiteral("south")));
    EXPECT_EQ(defaultClientId(QStringLiteral("h"), QStringLiteral("velno")),
              defaultClientId(QStringLiteral("h"), QStringLiteral("velno"), {}))
        << "an unnamed bridge keeps the id it had";
}

// Read only as far as the limit: neither a huge file nor an endless device
// is taken into memory.
TEST_F(BridgeOptionsTest, AFileOverTheLimitOrAnEndlessDeviceIsRefused)
{
    const QString huge = writeFile(QStringLiteral("huge.conf"), QByteArray(kLargestConfigFile + 1, '#'));
    for (const QString &path : {huge, QStringLiteral("/dev/zero")}) {
        const BridgeOptionsParse result = parse(QStringLiteral("--config %1").arg(path));
        EXPECT_EQ(result.outcome, BridgeOptionsParse::Outcome::Error);
        EXPECT_TRUE(result.error.startsWith(path + QStringLiteral(": larger than")))
            << result.error.toStdString();
    }
}

TEST_F(BridgeOptionsTest, TheCommandLineOverridesTheFileAndCheckConfigShowsWhatIsInForce)
{
    const QString passwordFile = writeFile(QStringLiteral("password"), "hunter2\n");
    const QString path = writeFile(
        QStringLiteral("bridge.conf"),
        QStringLiteral("# The building's bridge\n[broker]\nurl = mqtt://broker.example\nusername = velno\n"
                       "password-file = %1\npoll = 5\ntopic-prefix = site/a\n\n"
                       "[projector hall]\nport = COM1\n[projector lab]\nport = COM2\n")
            .arg(passwordFile)
            .toUtf8());
    const BridgeOptionsParse result =
        parse(QStringLiteral("--config %1 --poll 7 --projector hall=/dev/ttyUSB0 --check-config").arg(path));
    ASSERT_EQ(result.outcome, BridgeOptionsParse::Outcome::CheckConfig) << result.error.toStdString();
    EXPECT_EQ(result.options.brokerHost, QStringLiteral("broker.example"));
    EXPECT_EQ(result.options.pollSeconds, 7);
    EXPECT_EQ(result.options.topicPrefix, QStringLiteral("site/a"));
    ASSERT_EQ(result.options.projectors.size(), 2u);
    EXPECT_EQ(result.options.projectors[0].port.toString(), QStringLiteral("/dev/ttyUSB0"));
    EXPECT_EQ(result.options.projectors[1].port.toString(), QStringLiteral("COM2"));
    EXPECT_EQ(result.options.password, QByteArray("hunter2"));

    const QString &shown = result.effective;
    EXPECT_FALSE(shown.contains(QLatin1String("hunter2"))) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QLatin1String("# password: ********"))) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QLatin1String("poll = 7    # --poll"))) << shown.toStdString();
    EXPECT_TRUE(
        shown.contains(QStringLiteral("topic-prefix = site/a    # %1:7: [broker] topic-prefix").arg(path)))
        << shown.toStdString();
    EXPECT_TRUE(shown.contains(QLatin1String("[projector hall]\nport = /dev/ttyUSB0")))
        << shown.toStdString();
}

TEST_F(BridgeOptionsTest, TheDefaultFileIsReadWhenItExists)
{
    const QString path = dir.filePath(QStringLiteral("bridge.conf"));
    EXPECT_EQ(parseBridgeOptions({QStringLiteral("velno-bridge")}, path).outcome,
              BridgeOptionsParse::Outcome::Error);
    writeFile(QStringLiteral("bridge.conf"), "[broker]\nurl = mqtt://h\n[projector hall]\nport = COM1\n");
    const BridgeOptionsParse result = parseBridgeOptions({QStringLiteral("velno-bridge")}, path);
    ASSERT_EQ(result.outcome, BridgeOptionsParse::Outcome::Run) << result.error.toStdString();
    EXPECT_EQ(result.options.projectors.front().id, QStringLiteral("hall"));
}

} // namespace
