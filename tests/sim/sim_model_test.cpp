// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/status_decoding.h"
#include "sim/projector_model.h"
#include "support/test_names.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

using namespace sim;

namespace {

const std::string kAckCr{ProjectorModel::kAck, '\r'};

// Everything the model sends in answer to bytes, concatenated.
std::string answer(ProjectorModel &model, const std::string &bytes, Millis nowMs = 0)
{
    std::string out;
    for (const Output &output : model.feed(bytes, nowMs).outputs)
        out += output.bytes;
    return out;
}

// The panel's commands (the status queries are tested by their replies),
// listed independently of the model.
const char *const kAcceptedCodes[] = {
    // one-shot buttons
    "C00", "C01", "C05", "C06", "C07", "C1C", "C1D", "C0B", "C0C", "C0D", "C0E", "C43", "C44", "C0F", "C10",
    "C89", "C27", "C8A", "C1E", "CF KEYDIS NONE", "CF KEYDIS RC", "CF KEYDIS KEY", "C11", "C12", "C13", "C14",
    "C15", "C16", "C17", "C50", "C52", "C53", "C25", "C24", "C26", "CF TERMINAL COMPUTER",
    "CF TERMINAL MONITOR", "C32", "C33", "C34", "CF FANSPEED MAX", "CF FANSPEED NOR", "CF LOGOCAPTURE START",
    "CF LOGO OFF", "CF LOGO DEFAULT", "CF LOGO USER",
    // press-and-hold buttons
    "C09", "C0A", "C20", "C21", "C30", "C31", "C8E", "C8F", "C3F", "C3C", "C3D", "C3B", "C3A"};

class AcceptedCode : public ::testing::TestWithParam<const char *> {};

TEST_P(AcceptedCode, IsAcknowledged)
{
    ProjectorModel model;
    const auto reaction = model.feed(std::string(GetParam()) + '\r', 0);
    ASSERT_EQ(reaction.lines, std::vector<std::string>{GetParam()});
    ASSERT_EQ(reaction.outputs.size(), 1u);
    EXPECT_EQ(reaction.outputs[0].bytes, kAckCr);
    EXPECT_EQ(reaction.outputs[0].dueMs, 0);
}

std::string lineName(const ::testing::TestParamInfo<const char *> &info)
{
    return test_names::spelled(QString::fromLatin1(info.param));
}

INSTANTIATE_TEST_SUITE_P(ButtonCodes, AcceptedCode, ::testing::ValuesIn(kAcceptedCodes), lineName);

class UnknownLine : public ::testing::TestWithParam<const char *> {};

TEST_P(UnknownLine, IsAnsweredWithQuestionMark)
{
    ProjectorModel model;
    EXPECT_EQ(answer(model, std::string(GetParam()) + '\r'), "?\r");
}

INSTANTIATE_TEST_SUITE_P(Lines, UnknownLine,
                         ::testing::Values("", "C99", "c00", "cr0", "C00 ", " C00", "C0", "C000", "CR",
                                           "CRPRESSURE", "CR  PRESSURE", "CF LOGO", "CF  LOGO OFF", "C00\n",
                                           "\x06",
                                           "C\x80"
                                           "0"),
                         lineName);

struct Step {
    Millis at;
    const char *line;
    std::string reply;
};

void runSteps(ProjectorModel &model, const std::vector<Step> &steps)
{
    for (const Step &step : steps)
        EXPECT_EQ(answer(model, std::string(step.line) + '\r', step.at), step.reply)
            << step.line << " at " << step.at << " ms";
}

TEST(ProjectorModelPower, CountsDownThenCoolsDownOnTime)
{
    ProjectorModel model(PowerTimings{1000, 2000});
    // clang-format off
    runSteps(model, {
        {0, "CR0", "80\r"},
        {0, "C01", kAckCr}, // off while in standby changes nothing
        {10, "CR0", "80\r"},
        {100, "C00", kAckCr},
        {101, "CR0", "40\r"},
        {1099, "CR0", "40\r"},
        {1100, "CR0", "00\r"},
        {1200, "C00", kAckCr}, // on while on does not count down again
        {1201, "CR0", "00\r"},
        {5000, "C01", kAckCr},
        {5000, "CR0", "20\r"},
        {6000, "C00", kAckCr}, // on while cooling is ignored
        {6999, "CR0", "20\r"},
        {7000, "CR0", "80\r"},
        {8000, "C00", kAckCr},
        {8200, "C01", kAckCr}, // off while counting down cools down
        {8300, "CR0", "20\r"},
        {10199, "CR0", "20\r"},
        {10200, "CR0", "80\r"},
    });
    // clang-format on
}

TEST(ProjectorModelState, MuteAndNoShowReportedWhilePowered)
{
    ProjectorModel model(PowerTimings{10, 10});
    runSteps(model, {
                        {0, "CRA", "FF\r"},
                        {0, "C0B", kAckCr}, // accepted in standby, still reported as standby
                        {0, "CRA", "FF\r"},
                        {0, "C00", kAckCr},
                        {5, "CRA", "FF\r"}, // counting down
                        {10, "CRA", "02\r"},
                        {10, "C0D", kAckCr},
                        {10, "CRA", "03\r"},
                        {10, "C0C", kAckCr},
                        {10, "CRA", "01\r"},
                        {10, "C0E", kAckCr},
                        {10, "CRA", "00\r"},
                        {10, "C0D", kAckCr},
                        {10, "C01", kAckCr}, // power off ends the mutes
                        {10, "CRA", "FF\r"},
                        {30, "C00", kAckCr},
                        {40, "CRA", "00\r"},
                    });
    Readings noSignal;
    noSignal.signalPresent = false;
    model.setReadings(noSignal);
    runSteps(model, {{40, "CRA", "80\r"}});
}

TEST(ProjectorModelQueries, ReadingsAnsweredAsSet)
{
    ProjectorModel model;
    Readings readings;
    readings.lampHours = 20345;
    readings.pressure = 1023;
    readings.infoText = "ABC 1.2";
    model.setReadings(readings);
    runSteps(
        model,
        {{0, "CR3", "20345\r"}, {0, "CR PRESSURE", "1023\r"}, {0, "CR9", "ABC 1.2\r"}, {0, "CR4", "11\r"}});
}

struct TemperatureCase {
    double s1, s2, s3;
    const char *shown1, *shown2, *shown3; // reply characters 1-5, 8-11 and 13-17
};

class TemperatureReply : public ::testing::TestWithParam<TemperatureCase> {};

TEST_P(TemperatureReply, FieldsSitWhereThePanelReadsThem)
{
    const TemperatureCase &c = GetParam();
    ProjectorModel model;
    Readings readings;
    readings.temperatures[0] = c.s1;
    readings.temperatures[1] = c.s2;
    readings.temperatures[2] = c.s3;
    model.setReadings(readings);
    const std::string reply = answer(model, "CR6\r");
    ASSERT_EQ(reply.size(), 18u) << reply;
    EXPECT_EQ(reply.back(), '\r');
    EXPECT_EQ(reply.substr(0, 5), c.shown1);
    EXPECT_EQ(reply.substr(7, 4), c.shown2);
    EXPECT_EQ(reply.substr(12, 5), c.shown3);
}

INSTANTIATE_TEST_SUITE_P(Values, TemperatureReply,
                         ::testing::Values(TemperatureCase{35.5, 40.0, 41.5, " 35.5", "40.0", " 41.5"},
                                           TemperatureCase{0.0, 9.5, 99.9, "  0.0", " 9.5", " 99.9"},
                                           TemperatureCase{-5.2, -9.9, 7.3, " -5.2", "-9.9", "  7.3"},
                                           // out of range is held at the edge, so the widths never shift
                                           TemperatureCase{150.0, 123.4, -40.0, " 99.9", "99.9", " -9.9"}),
                         [](const ::testing::TestParamInfo<TemperatureCase> &info) {
                             const TemperatureCase &c = info.param;
                             return test_names::spelled(QStringLiteral("S1 %1 S2 %2 S3 %3")
                                                            .arg(c.s1, 0, 'f', 1)
                                                            .arg(c.s2, 0, 'f', 1)
                                                            .arg(c.s3, 0, 'f', 1));
                         });

// The replies as the panel itself renders and decodes them.
TEST(ProjectorModelQueries, RepliesDecodeOnThePanel)
{
    ProjectorModel model(PowerTimings{100, 100});
    const struct {
        Millis at;
        const char *line;
        const char *decoded; // nullptr: a command, only acknowledged
    } steps[] = {
        {0, "CR0", " Stand by"},
        {0, "CRA", " Stand by"},
        {0, "CR1", " Computer 1"},
        {0, "CR4", " Normally"},
        {0, "CR7", " All OFF : 2 Lamp mode"},
        {0, "CR3", " 1 2 3 4 CR  Hour Use"},
        {0, "CR6", "  S1=   3 5 . 5 C  ,   S2=  4 0 . 0 C , S3=   4 1 . 5 C"},
        {0, "CR PRESSURE", "650 hPa"},
        {0, "C00", nullptr},
        {50, "CR0", " Count down"},
        {100, "CR0", " Power ON"},
        {100, "CR7", " No1,2 ON  : 2 Lamp mode"},
        {100, "CRA", " Video & Audio mute OFF"},
        {100, "C0D", nullptr},
        {100, "CRA", " Video mute ON"},
        {100, "C06", nullptr},
        {100, "CR1", " Computer 2"},
        {100, "C07", nullptr},
        {100, "CR1", " Video"},
        {100, "C01", nullptr},
        {150, "CR0", " Cooling down"},
    };
    for (const auto &step : steps) {
        const QString line = QString::fromLatin1(step.line) + QLatin1Char('\r');
        const std::string reply = answer(model, line.toStdString(), step.at);
        const std::optional<QString> decoded =
            decodeStatusReply(line, QString::fromLatin1(reply.data(), int(reply.size())));
        if (!step.decoded) {
            EXPECT_EQ(reply, kAckCr) << step.line;
            continue;
        }
        ASSERT_TRUE(decoded.has_value()) << step.line << " answered " << reply;
        EXPECT_EQ(decoded->toStdString(), step.decoded) << step.line;
    }
}

TEST(ProjectorModelLines, LinesSplitAcrossPiecesAndLfAfterCrIgnored)
{
    ProjectorModel model;
    EXPECT_EQ(answer(model, "C"), "");
    EXPECT_EQ(answer(model, "R"), "");
    EXPECT_EQ(answer(model, "0\r"), "80\r");
    // LF right after CR, even in the next piece, belongs to no line.
    EXPECT_EQ(answer(model, "\n"), "");
    const auto reaction = model.feed("CR1\r\nC05\r\n\nCR1\r", 0);
    EXPECT_EQ(reaction.lines, (std::vector<std::string>{"CR1", "C05", "\nCR1"}));
    std::string all;
    for (const Output &o : reaction.outputs)
        all += o.bytes;
    EXPECT_EQ(all, "1\r" + kAckCr + "?\r");
}

TEST(ProjectorModelLines, OverLongLineIsCutAndRefused)
{
    ProjectorModel model;
    const std::string longLine = "CR0" + std::string(100000, 'x');
    EXPECT_EQ(answer(model, longLine), "");
    const auto reaction = model.feed("\r", 0);
    ASSERT_EQ(reaction.lines.size(), 1u);
    EXPECT_EQ(reaction.lines[0].size(), ProjectorModel::kMaxLineLength);
    ASSERT_EQ(reaction.outputs.size(), 1u);
    EXPECT_EQ(reaction.outputs[0].bytes, "?\r");
    EXPECT_EQ(answer(model, "CR0\r"), "80\r");
}

TEST(ProjectorModelLines, RecoversAfterGarbageOfEveryByteValue)
{
    ProjectorModel model;
    std::string garbage;
    for (int i = 0; i < 256; ++i)
        garbage += char(i);
    const auto reaction = model.feed(garbage + garbage, 0);
    // Every CR ends a line, none of them known.
    EXPECT_EQ(reaction.lines.size(), 2u);
    for (const Output &o : reaction.outputs)
        EXPECT_EQ(o.bytes, "?\r");
    EXPECT_EQ(answer(model, "\rCR0\r"), "?\r80\r");
}

TEST(ProjectorModelFaults, SilentAnswersNothingButActs)
{
    ProjectorModel model(PowerTimings{0, 0});
    model.setFault({Fault::Silent});
    const auto reaction = model.feed("C00\rCR0\r", 0);
    EXPECT_EQ(reaction.lines.size(), 2u);
    EXPECT_TRUE(reaction.outputs.empty());
    EXPECT_EQ(model.power(0), Power::On);
}

TEST(ProjectorModelFaults, SplitSendsPiecesWithGaps)
{
    ProjectorModel model;
    FaultSettings fault;
    fault.mode = Fault::Split;
    fault.pieceSize = 2;
    fault.pieceGapMs = 30;
    model.setFault(fault);
    Readings readings;
    readings.lampHours = 12345;
    model.setReadings(readings);
    const auto outputs = model.feed("CR3\r", 1000).outputs;
    ASSERT_EQ(outputs.size(), 3u);
    EXPECT_EQ(outputs[0].bytes, "12");
    EXPECT_EQ(outputs[1].bytes, "34");
    EXPECT_EQ(outputs[2].bytes, "5\r");
    EXPECT_EQ(outputs[0].dueMs, 1000);
    EXPECT_EQ(outputs[1].dueMs, 1030);
    EXPECT_EQ(outputs[2].dueMs, 1060);
}

TEST(ProjectorModelFaults, LaterAnswerNeverOvertakesAnEarlierOne)
{
    ProjectorModel model;
    FaultSettings fault;
    fault.mode = Fault::Split;
    fault.pieceGapMs = 100;
    model.setFault(fault);
    const auto first = model.feed("CR0\r", 0).outputs; // pieces at 0, 100, 200
    const auto second = model.feed("CR1\r", 50).outputs;
    ASSERT_EQ(first.size(), 3u);
    ASSERT_EQ(second.size(), 2u);
    EXPECT_GE(second.front().dueMs, first.back().dueMs);
    EXPECT_EQ(second.front().bytes, "1");
}

TEST(ProjectorModelFaults, LateAnswersWholeAfterTheDelay)
{
    ProjectorModel model;
    FaultSettings fault;
    fault.mode = Fault::Late;
    fault.lateDelayMs = 2500;
    model.setFault(fault);
    const auto outputs = model.feed("CR0\r", 400).outputs;
    ASSERT_EQ(outputs.size(), 1u);
    EXPECT_EQ(outputs[0].bytes, "80\r");
    EXPECT_EQ(outputs[0].dueMs, 2900);
}

TEST(ProjectorModelFaults, GarbageCarriesEveryByteValueAndStillActs)
{
    ProjectorModel model(PowerTimings{0, 0});
    model.setFault({Fault::Garbage});
    const auto outputs = model.feed("C00\r", 0).outputs;
    ASSERT_EQ(outputs.size(), 1u);
    const std::string &bytes = outputs[0].bytes;
    EXPECT_EQ(bytes.size(), 256u);
    EXPECT_EQ(std::set<char>(bytes.begin(), bytes.end()).size(), 256u);
    EXPECT_EQ(model.power(0), Power::On);
}

TEST(ProjectorModelFaults, StreamFlowsAtItsPeriodBesideTheAnswers)
{
    ProjectorModel model;
    EXPECT_TRUE(model.idle(0).empty()); // no stream unless switched on
    FaultSettings fault;
    fault.mode = Fault::Stream;
    fault.streamPeriodMs = 10;
    fault.streamChunk = 50;
    model.setFault(fault);

    std::string streamed;
    int chunks = 0;
    for (Millis t = 0; t < 100; ++t) {
        for (const Output &o : model.idle(t)) {
            EXPECT_EQ(o.dueMs, t);
            EXPECT_EQ(o.bytes.size(), 50u);
            streamed += o.bytes;
            ++chunks;
        }
    }
    EXPECT_EQ(chunks, 10);
    // One rolling sequence: no chunk starts over.
    for (std::size_t i = 1; i < streamed.size(); ++i) {
        const bool wraps = streamed[i - 1] == 'z' && streamed[i] == '!';
        ASSERT_TRUE(wraps || streamed[i] == streamed[i - 1] + 1) << "at " << i;
    }
    EXPECT_EQ(answer(model, "CR0\r", 100), "80\r");
}

} // namespace
