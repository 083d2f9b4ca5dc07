// SPDX-License-Identifier: GPL-3.0-or-later
#include "api/command_payload.h"

#include <gtest/gtest.h>

namespace {

struct PayloadCase {
    const char *label;
    QByteArray payload;
    const char *name;  // accepted: the command name; refused: nullptr
    QByteArray detail; // accepted: the typed line, if any; refused: part of the reason
};

void PrintTo(const PayloadCase &c, std::ostream *out)
{
    *out << c.label;
}

class PayloadCheck : public ::testing::TestWithParam<PayloadCase> {};

TEST_P(PayloadCheck, AcceptsOneCleanLineOnlyAndWritesItBackAsItWasRead)
{
    const PayloadCase &c = GetParam();
    const PayloadVerdict verdict = checkCommandPayload(c.payload);
    if (!c.name) {
        EXPECT_FALSE(verdict.accepted());
        EXPECT_TRUE(verdict.refusal.contains(QString::fromUtf8(c.detail))) << verdict.refusal.toStdString();
        return;
    }
    ASSERT_TRUE(verdict.accepted()) << verdict.refusal.toStdString();
    EXPECT_EQ(verdict.request->name(), QString::fromUtf8(c.name));
    EXPECT_EQ(verdict.request->typedLine, QString::fromUtf8(c.detail));

    const PayloadVerdict again = checkCommandPayload(commandPayload(*verdict.request, verdict.id));
    ASSERT_TRUE(again.accepted()) << again.refusal.toStdString();
    EXPECT_EQ(again.request->command, verdict.request->command);
    EXPECT_EQ(again.request->typedLine, verdict.request->typedLine);
    EXPECT_EQ(again.id, verdict.id);
}

INSTANTIATE_TEST_SUITE_P(
    Table, PayloadCheck,
    ::testing::Values(
        PayloadCase{"power_on", "power-on", "power-on", ""},
        PayloadCase{"send_a_command_code_is_that_command", "send CR0", "status", ""},
        PayloadCase{"send_keeps_inner_spaces", "send CF LAMP ON", "send", "CF LAMP ON"},
        PayloadCase{"send_more_than_a_code", "send CR0 ", "send", "CR0 "},
        PayloadCase{"send_latin1", "send C\xc3\xa9", "send", "C\u00e9"},
        PayloadCase{"send_at_the_size_limit", "send " + QByteArray(251, 'A'), "send", QByteArray(251, 'A')},
        PayloadCase{"empty", "", nullptr, "empty"}, PayloadCase{"send_without_text", "send", nullptr, "send"},
        PayloadCase{"send_with_empty_text", "send ", nullptr, "send"},
        PayloadCase{"unknown_name", "power-up", nullptr, "unknown command 'power-up'"},
        PayloadCase{"trailing_cr", "send C00\r", nullptr, "line break"},
        PayloadCase{"embedded_lf", "send C00\nC01", nullptr, "line break"},
        PayloadCase{"second_command_after_cr", "power-on\rC01", nullptr, "line break"},
        PayloadCase{"other_control_character", QByteArray("send C0\0", 8), nullptr, "U+0000"},
        PayloadCase{"outside_latin1", "send C00\xe3\x81\x82", nullptr, "U+3042"},
        PayloadCase{"byte_order_mark", "\xef\xbb\xbfpower-on", nullptr, "U+FEFF"},
        PayloadCase{"invalid_utf8", "send C\xe9", nullptr, "UTF-8"},
        PayloadCase{"over_the_size_limit", "send " + QByteArray(252, 'A'), nullptr, "257 bytes"},
        PayloadCase{"ten_kilobytes", "send " + QByteArray(10240, 'A'), nullptr, "at most 256"},
        PayloadCase{"json", R"({"command": "power-on", "id": "a-1"})", "power-on", ""},
        PayloadCase{"json_send", R"({"command": "send CR PRESSURE"})", "pressure", ""},
        PayloadCase{"json_send_with_a_number_id", R"({"command": "send C\u00e9", "id": 7.5})", "send",
                    "C\u00e9"},
        PayloadCase{"json_with_a_line_break", R"({"command": "send C00\rC01"})", nullptr, "line break"},
        PayloadCase{"json_unknown_name", R"({"command": "power-up"})", nullptr, "unknown command"},
        PayloadCase{"json_without_command", R"({"id": 7})", nullptr, "\"command\""},
        PayloadCase{"json_id_of_the_wrong_kind", R"({"command": "pc1", "id": [1]})", nullptr, "\"id\""},
        PayloadCase{"json_not_an_object", "{power-on}", nullptr, "JSON"},
        PayloadCase{"json_repeated_key", R"({"command": "power-off", "command": "power-on"})", nullptr,
                    "\"command\" given twice"},
        PayloadCase{"json_repeated_key_spelled_otherwise", R"({"id": 1, "\u0069d": 2, "command": "pc1"})",
                    nullptr, "\"id\" given twice"},
        PayloadCase{"json_nested_keys_may_repeat", R"({"command": "pc1", "id": "{\"a\":1,\"a\":2}"})", "pc1",
                    ""}),
    [](const auto &info) { return std::string(info.param.label); });

TEST(PayloadCheckJson, TheIdComesBackWhetherTheCommandIsTakenOrNot)
{
    EXPECT_EQ(checkCommandPayload(R"({"command": "pc1", "id": "cron-0755"})").id, QJsonValue("cron-0755"));
    EXPECT_EQ(checkCommandPayload(R"({"command": "pc1", "id": 42})").id, QJsonValue(42));
    const PayloadVerdict refused = checkCommandPayload(R"({"command": "send \u0007", "id": "x"})");
    EXPECT_FALSE(refused.accepted());
    EXPECT_EQ(refused.id, QJsonValue("x"));
    EXPECT_TRUE(checkCommandPayload("pc1").id.isUndefined());
}

} // namespace
