// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/command_line.h"
#include "protocol/commands.h"
#include "protocol/status_decoding.h"
#include "support/printers.h"
#include "support/test_names.h"

#include <gtest/gtest.h>

#include <iterator>
#include <limits>

namespace {

using test_names::replyName;

// The projector's reply (raw characters) to a query, decoded as the session
// decodes what it received.
std::optional<QString> replyTo(const char *query, const QString &reply)
{
    return decodeStatusReply(commandLine(QLatin1String(query)), reply);
}

// ---- Every row of the five state tables, text exactly as shown ----

struct Row {
    const char *query;
    const char *reply;
    const char *text;
};

const Row kRows[] = {
    {"CR0", "00\r", " Power ON"},
    {"CR0", "80\r", " Stand by"},
    {"CR0", "40\r", " Count down"},
    {"CR0", "20\r", " Cooling down"},
    {"CR0", "10\r", " Power Fail"},
    {"CR0", "08\r", " Temperature Warning"},
    {"CR0", "02\r", " NO Key input "},
    {"CR0", "04\r", " Lamp OFF by PWR Management"},
    {"CR0", "28\r", " Temperature Warning & cooling down"},
    {"CR0", "24\r", "Cooling down  PWR Management"},
    {"CR0", "88\r", " Temperature Warning and recoverd"},
    {"CR0", "21\r", " Cooling down (All Lamp FAIL)"},
    {"CR0", "81\r", " Cooling down & sutandby (All Lamp FAIL)"},
    {"CR0", "00", " Power ON"},
    {"CR1", "1\r", " Computer 1"},
    {"CR1", "2\r", " Computer 2"},
    {"CR1", "3\r", " Video"},
    {"CR1", "4\r", " Input mode 4"},
    {"CR1", "12\r", " Computer 1"},
    {"CR1", "4", " Input mode 4"},
    {"CR4", "11\r", " Normally"},
    {"CR4", "10\r", " Top/Bottom reversal"},
    {"CR4", "01\r", " Left/Right reversal"},
    {"CR4", "00\r", " Top/Bottom , Left/Right reversal"},
    {"CRA", "00\r", " Video & Audio mute OFF"},
    {"CRA", "01\r", " Video mute ON"},
    {"CRA", "02\r", " Audio mute ON"},
    {"CRA", "03\r", " Video & Audio mute ON"},
    {"CRA", "80\r", " No signal"},
    {"CRA", "FF\r", " Stand by"},
    {"CR7", "00\r", " All OFF : 2 Lamp mode"},
    {"CR7", "01\r", " No1 ON  : 2 Lamp mode"},
    {"CR7", "02\r", " No2 ON  : 2 Lamp mode"},
    {"CR7", "03\r", " No1,2 ON  : 2 Lamp mode"},
    {"CR7", "10\r", " All OFF : 1 Lamp mode(No1 USE)"},
    {"CR7", "11\r", " No1 ON  : 1 Lamp mode(No1 USE)"},
    {"CR7", "20\r", " All OFF : 1 Lamp mode(No2 USE)"},
    {"CR7", "22\r", " No2 ON  : 1 Lamp mode(No2 USE)"},
};

class StateRowTest : public ::testing::TestWithParam<size_t> {};

TEST_P(StateRowTest, ShowsTheRowText)
{
    const Row &row = kRows[GetParam()];
    const std::optional<QString> decoded = replyTo(row.query, QLatin1String(row.reply));
    ASSERT_TRUE(decoded.has_value()) << row.query << " " << row.reply;
    EXPECT_EQ(*decoded, QLatin1String(row.text)) << row.query;
}

INSTANTIATE_TEST_SUITE_P(AllRows, StateRowTest, ::testing::Range<size_t>(0, std::size(kRows)),
                         [](const ::testing::TestParamInfo<size_t> &info) {
                             const Row &row = kRows[info.param];
                             return std::string(row.query) + '_' + replyName(QLatin1String(row.reply)) + '_' +
                                    test_names::camelCase(QLatin1String(row.text));
                         });

// ---- The values: what each reply reports, read from the same table as its words ----

TEST(StatusValues, EveryStateOfTheTablesReadsAsTheValueItsWordsName)
{
    using O = OperatingState;
    const std::pair<O, const char *> operating[] = {
        {O::PowerOn, "00"},
        {O::StandBy, "80"},
        {O::CountDown, "40"},
        {O::CoolingDown, "20"},
        {O::PowerFail, "10"},
        {O::TemperatureWarning, "08"},
        {O::NoKeyInput, "02"},
        {O::LampOffByPowerManagement, "04"},
        {O::TemperatureWarningCoolingDown, "28"},
        {O::CoolingDownPowerManagement, "24"},
        {O::TemperatureWarningRecovered, "88"},
        {O::CoolingDownAllLampsFailed, "21"},
        {O::CoolingDownStandByAllLampsFailed, "81"},
    };
    const StatusQuery &status = *findStatusQuery(u"status");
    for (const auto &[state, reply] : operating) {
        const StatusReading reading = readStatusReply(status, QLatin1String(reply) + QLatin1Char('\r'));
        EXPECT_EQ(reading.words, operatingStateText(state)) << reply;
        EXPECT_EQ(reading.value, StatusValue(state)) << reply;
    }
    using I = SelectedInput;
    const std::pair<I, const char *> inputs[] = {
        {I::Computer1, "1"}, {I::Computer2, "2"}, {I::Video, "3"}, {I::InputMode4, "4"}};
    for (const auto &[input, reply] : inputs) {
        const StatusReading reading = readStatusReply(*findStatusQuery(u"input"), QLatin1String(reply));
        EXPECT_EQ(reading.words, selectedInputText(input)) << reply;
        EXPECT_EQ(reading.value, StatusValue(input)) << reply;
    }
}

TEST(StatusValues, ReadingsAndTheOtherTablesReadAsValues)
{
    struct Case {
        const char *query;
        const char *reply;
        std::optional<StatusValue> value;
    };
    const Case cases[] = {
        {"setting", "10\r", ImageReversal::TopBottom},
        {"mute", "03\r", MuteAndSignal::VideoAndAudioMute},
        {"mute", "FF\r", MuteAndSignal::StandBy},
        {"lamp-mode", "03\r", LampMode{2, 0, true, true}},
        {"lamp-mode", "22\r", LampMode{1, 2, false, true}},
        {"lamp-time", "1234\r", LampHours{1234}},
        {"lamp-time", "12x4\r", std::nullopt},
        {"temp", "  35.5,  40.0,  41.5\r", Temperatures{{35.5, 40.0, 41.5}}},
        {"temp", "35.5,40.0\r", std::nullopt},
        {"info", "KT70 PV70 PV75\r", ModelInfo{QStringLiteral("KT70 PV70 PV75")}},
        {"pressure", "512\r", AirPressure{650}},
        {"status", "99\r", std::nullopt},
        {"lamp-time", "99\r", LampHours{99}},
        {"lamp-time", "999999\r", LampHours{999999}},
        {"pressure", "930\r", AirPressure{1095}},
    };
    for (const Case &c : cases) {
        const StatusQuery *query = findStatusQuery(QString::fromLatin1(c.query));
        ASSERT_NE(query, nullptr) << c.query;
        EXPECT_EQ(readStatusReply(*query, QLatin1String(c.reply)).value, c.value)
            << c.query << " " << c.reply;
    }
}

// A reply that is not of its query's shape reports nothing (the caller
// rejects it), while the panel's words still show what arrived.
TEST(StatusValues, RepliesNotShapedForTheirQueryReportNothing)
{
    std::vector<std::pair<QString, QString>> cases;
    for (const StatusQuery &query : statusQueries())
        for (const char *refusalOrAck : {"?\r", "\x06\r"})
            cases.emplace_back(QLatin1String(query.name), QLatin1String(refusalOrAck));
    // Another query's reply, a sign, more than a lamp burns, a sensor out of
    // range, a step past the sensor's 1023 or a pressure no building has.
    // clang-format off
    const std::pair<const char *, const char *> shapes[] = {
        {"status", "800\r"}, {"input", "11\r"}, {"setting", "1\r"}, {"lamp-mode", "033\r"},
        {"lamp-time", "80\r"}, {"lamp-time", "-5\r"}, {"lamp-time", "1000000\r"},
        {"temp", "35.5,40.0,999\r"}, {"temp", "nan,40.0,41.5\r"},
        {"info", "FF\r"}, {"info", "11\r"}, {"info", "1\r"}, {"info", "KT70\x06\r"},
        {"pressure", "80\r"}, {"pressure", "1024\r"}, {"pressure", "12.5\r"},
    };
    // clang-format on
    for (const auto &[name, reply] : shapes)
        cases.emplace_back(QLatin1String(name), QLatin1String(reply));
    for (const auto &[name, reply] : cases)
        EXPECT_FALSE(readStatusReply(*findStatusQuery(name), reply).value.has_value())
            << name.toStdString() << " " << replyName(reply);
    EXPECT_EQ(readStatusReply(*findStatusQuery(u"pressure"), QStringLiteral("?\r")).words,
              QStringLiteral("106 hPa"));
}

TEST(StatusValues, TheCommandTableAsksTheNineQueriesOfTheStatusTable)
{
    std::size_t queries = 0;
    for (const Command &command : commandTable()) {
        if (!command.statusQuery)
            continue;
        ++queries;
        EXPECT_STREQ(command.code, command.statusQuery->code);
        EXPECT_EQ(statusQueryForLine(commandLine(QLatin1String(command.code))), command.statusQuery);
    }
    EXPECT_EQ(queries, statusQueries().size());
    EXPECT_EQ(statusQueries().size(), 9u);
}

// ---- Replies that leave the status line as it is ----

struct Unchanged {
    const char *lastCommand;
    const char *reply;
};

const Unchanged kUnchanged[] = {
    // Keys no row has.
    {"CR0\r", "99\r"},
    {"CR0\r", "0\r"},
    {"CR0\r", ""},
    {"CR0\r", "\r"},
    {"CR0\r", "0 0\r"},
    {"CR1\r", "5\r"},
    {"CR1\r", ""},
    {"CR4\r", "22\r"},
    {"CRA\r", "ff\r"},
    {"CRA\r", "F\r"},
    {"CR7\r", "12\r"},
    {"CR7\r", "\x06"},
    // Lines that are not exactly a query line.
    {"cr0\r", "00\r"},
    {"CR0 \r", "00\r"},
    {" CR0\r", "00\r"},
    {"CR0", "00\r"},
    {"CR0\r\n", "00\r"},
    {"CR0\n", "00\r"},
    {"XCR0\r", "00\r"},
    {"xCR0\r", "00\r"},
    {"CR  PRESSURE\r", "512\r"},
    {"Cr PRESSURE\r", "512\r"},
    {"CR9 \r", "00\r"},
    {"CR3\n", "00\r"},
    {"C00\r", "00\r"},
    {"", "00\r"},
};

class UnchangedTest : public ::testing::TestWithParam<size_t> {};

TEST_P(UnchangedTest, DecodesToNothing)
{
    const Unchanged &c = kUnchanged[GetParam()];
    const std::optional<QString> decoded =
        decodeStatusReply(QLatin1String(c.lastCommand), QString::fromLatin1(c.reply));
    EXPECT_FALSE(decoded.has_value()) << decoded->toStdString();
}

INSTANTIATE_TEST_SUITE_P(NoDecoding, UnchangedTest, ::testing::Range<size_t>(0, std::size(kUnchanged)),
                         [](const ::testing::TestParamInfo<size_t> &info) {
                             const Unchanged &c = kUnchanged[info.param];
                             return test_names::spelled(QLatin1String(c.lastCommand)) + "_Reply_" +
                                    replyName(QLatin1String(c.reply));
                         });

// ---- A reply in pieces: the whole buffer is rendered again each time ----

TEST(StatusReplyInPieces, FourCharacterKeyWaitsForTheSecondCharacter)
{
    const struct {
        const char *query;
        const char *text;
    } queries[] = {{"CR0", " Power ON"},
                   {"CR4", " Top/Bottom , Left/Right reversal"},
                   {"CRA", " Video & Audio mute OFF"},
                   {"CR7", " All OFF : 2 Lamp mode"}};
    for (const auto &q : queries) {
        EXPECT_FALSE(replyTo(q.query, QStringLiteral("0")).has_value()) << q.query;
        EXPECT_EQ(replyTo(q.query, QStringLiteral("00\r")), QLatin1String(q.text)) << q.query;
    }
}

TEST(StatusReplyInPieces, InputDecodesFromTheFirstCharacter)
{
    EXPECT_EQ(replyTo("CR1", QStringLiteral("3")), QStringLiteral(" Video"));
    EXPECT_EQ(replyTo("CR1", QStringLiteral("3\r")), QStringLiteral(" Video"));
}

// ---- Texts built from the rendering ----

struct Built {
    const char *query;
    const char *reply;
    const char *text;
};

const Built kBuilt[] = {
    {"CR3", "01234\r", " 0 1 2 3 4 CR  Hour Use"},
    {"CR3", "ABCDEFGHIJKLMNOPQRSTUVWXYZ\r", " A B C D E F G H I J K L M N O P Q R S Hour Use"},
    {"CR3", "ABCDEFGHIJKLMNOPQRS", " A B C D E F G H I J K L M N O P Q R S Hour Use"},
    {"CR3", "", "  Hour Use"},
    {"CR3", "\x06", " ACK  Hour Use"},
    {"CR6", "ABCDEFGHIJKLMNOPQ", "  S1= A B C D E C  ,   S2=  H I J K C , S3= M N O P Q C"},
    {"CR6", "ABCDEFGHIJKLMNOPQRSTU\r", "  S1= A B C D E C  ,   S2=  H I J K C , S3= M N O P Q C"},
    {"CR6", "0123456789", "  S1= 0 1 2 3 4 C  ,   S2=  7 8 9  C , S3= C"},
    {"CR6", "12\r", "  S1= 1 2 CR  C  ,   S2=  C , S3= C"},
    {"CR6", "", "  S1=  C  ,   S2=  C , S3= C"},
    {"CR9", "00\r", " 0 0 CR "},
    {"CR9", "a{\x06\x14Z\n", " a ? ACK &Z LF "},
    {"CR9", "", " "},
};

class BuiltTextTest : public ::testing::TestWithParam<size_t> {};

TEST_P(BuiltTextTest, ShowsTheText)
{
    const Built &c = kBuilt[GetParam()];
    const std::optional<QString> decoded = replyTo(c.query, QLatin1String(c.reply));
    ASSERT_TRUE(decoded.has_value()) << c.query << " " << c.reply;
    EXPECT_EQ(*decoded, QLatin1String(c.text)) << c.query << " " << c.reply;
}

INSTANTIATE_TEST_SUITE_P(Readings, BuiltTextTest, ::testing::Range<size_t>(0, std::size(kBuilt)),
                         [](const ::testing::TestParamInfo<size_t> &info) {
                             const Built &c = kBuilt[info.param];
                             return std::string(c.query) + '_' + replyName(QLatin1String(c.reply));
                         });

// ---- Pressure ----

struct Pressure {
    const char *reply;
    qint32 hectopascals;
};

const Pressure kPressures[] = {
    {"512\r", 650},
    {"0\r", 106},
    {"\r", 106},
    {"OK\r", 106},
    {"1023\r", 1194},
    {"-100\r", -1},
    {"5", 111},
    {"1E3\r", 1169},
    {"2D2\r", 318},
    // Only upper-case "E" and "D" mark an exponent: a lower-case one ends the number.
    {"1E2\r", 212},
    {"1e2\r", 107},
    {"2d2\r", 108},
    // The reading rounds halves to even: 12.5 -> 12, -12.5 -> -12, 2.5 -> 2, 1.5 -> 2.
    {"12.5\r", 118},
    {"-12.5\r", 93},
    {"2.5\r", 108},
    {"1.5\r", 108},
    {"0.5\r", 106},
    {"6553\r", 7077},
    {"-6553\r", -6865},
    // Past the old 16-bit limit: the true figure.
    {"6554\r", 7078},
    {"-6554\r", -6867},
    {"100000\r", 106485},
    {"2000000000\r", 2127587252},
    {"-2000000000\r", -2127587040},
    // Computed pressures that fall exactly on a half round to even.
    {"13872\r", 14862},
    {"116688\r", 124238},
    {"-2233392\r", -2375762},
};

class PressureTest : public ::testing::TestWithParam<size_t> {};

TEST_P(PressureTest, ShowsHectopascals)
{
    const Pressure &c = kPressures[GetParam()];
    EXPECT_EQ(replyTo("CR PRESSURE", QLatin1String(c.reply)),
              QString::number(c.hectopascals) + QStringLiteral(" hPa"))
        << c.reply;
}

INSTANTIATE_TEST_SUITE_P(Figures, PressureTest, ::testing::Range<size_t>(0, std::size(kPressures)),
                         [](const ::testing::TestParamInfo<size_t> &info) {
                             return replyName(QLatin1String(kPressures[info.param].reply));
                         });

TEST(PressureDecoding, TwoPiecesShowTheFirstThenTheWholeReading)
{
    EXPECT_EQ(replyTo("CR PRESSURE", QStringLiteral("5")), QStringLiteral("111 hPa"));
    EXPECT_EQ(replyTo("CR PRESSURE", QStringLiteral("512")), QStringLiteral("650 hPa"));
}

TEST(PressureDecoding, ReadingsThatCannotGiveAFigureLeaveTheLabel)
{
    for (const char *reply : {"3000000000\r", "-3000000000\r", "1E19\r", "-9E18\r", "1E999\r", "-1D999\r",
                              "123456789012345678901234567890\r",
                              // Five times this is 1024 past 2^64: a 64-bit product wraps.
                              "3689348814741910528\r"}) {
        const std::optional<QString> decoded = replyTo("CR PRESSURE", QLatin1String(reply));
        EXPECT_FALSE(decoded.has_value()) << reply << " gave " << decoded->toStdString();
    }
}

// ---- Numeric reading ----

struct Reading {
    const char *text;
    double value;
};

const double kInfinity = std::numeric_limits<double>::infinity();

const Reading kReadings[] = {
    {"", 0},
    {" 5 1 2 CR ", 512},
    {"1 2\t3\n4", 1234},
    {"  - 4 2", -42},
    {"+7", 7},
    {"+", 0},
    {"-", 0},
    {".", 0},
    {".E5", 0},
    {"-.5", -0.5},
    {".5", 0.5},
    {"1.2.3", 1.2},
    {"0.1", 0.1},
    {"123.456E1", 1234.56},
    {"1.5E2", 150},
    {"25D-1", 2.5},
    // Lower-case letters are no exponent marks: the reading stops there.
    {"123.456e1", 123.456},
    {"1.5e2", 1.5},
    {"25d+1", 25},
    {" 1 E - 2", 0.01},
    {"3E", 3},
    {"3E+", 3},
    {"3E X5", 3},
    {"5-3", 5},
    {"1,5", 1},
    {"--5", 0},
    {"+-5", 0},
    {"0x1F", 0},
    {"x5", 0},
    {"\r5", 0},
    {"C R 5", 0},
    {"12345678901234567890", 12345678901234567890.0},
    {"1E999", kInfinity},
    {"-1E999", -kInfinity},
    {"1E-999", 0},
    {"1E99999999999999999999", kInfinity},
};

class NumericReadingTest : public ::testing::TestWithParam<size_t> {};

TEST_P(NumericReadingTest, ReadsTheLeadingNumber)
{
    const Reading &c = kReadings[GetParam()];
    EXPECT_DOUBLE_EQ(numericReading(QString::fromLatin1(c.text)), c.value) << '"' << c.text << '"';
}

INSTANTIATE_TEST_SUITE_P(Texts, NumericReadingTest, ::testing::Range<size_t>(0, std::size(kReadings)),
                         [](const ::testing::TestParamInfo<size_t> &info) {
                             return test_names::spelled(QLatin1String(kReadings[info.param].text));
                         });

} // namespace
