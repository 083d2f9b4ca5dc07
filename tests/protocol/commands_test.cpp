// SPDX-License-Identifier: GPL-3.0-or-later
// The command table's own form: what scripts type and what goes on the wire.

#include "protocol/commands.h"

#include <QRegularExpression>
#include <gtest/gtest.h>
#include <set>
#include <string>

namespace {

TEST(CommandTable, CodesAreThreeCharactersOrSingleBlankedWords)
{
    static const QRegularExpression wellFormed(QStringLiteral("^(C[0-9A-Z]{2}|C[FR]( [A-Z]+)+)$"));
    for (const Command &c : commandTable())
        EXPECT_TRUE(wellFormed.match(QLatin1String(c.code)).hasMatch()) << c.name << " \"" << c.code << '"';
}

TEST(CommandTable, NamesAreLowerCaseWordsEachOnceAndEveryCommandSaysWhatItDoes)
{
    static const QRegularExpression wellFormed(QStringLiteral("^[a-z0-9]+(-[a-z0-9]+)*$"));
    std::set<std::string> names;
    for (const Command &c : commandTable()) {
        EXPECT_TRUE(wellFormed.match(QLatin1String(c.name)).hasMatch()) << c.name;
        EXPECT_TRUE(names.insert(c.name).second) << c.name << " twice";
        EXPECT_NE(QLatin1String(c.description).trimmed(), QString()) << c.name;
    }
}

} // namespace
