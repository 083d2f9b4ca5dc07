// SPDX-License-Identifier: GPL-3.0-or-later
// velno-bridge's settings: any configuration file gives either settings a
// start can use, or an error that names the file and the line; and any
// command payload is either one clean line for the projector, or refused
// with a reason.
//
// Input: the configuration file's bytes; the same bytes are then tried as
// a command payload.

#include "fuzz_check.h"

#include "api/command_payload.h"
#include "bridge/bridge_options.h"

#include <QFile>
#include <QTemporaryDir>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::startCoreApplication("velno-bridge");
    return 0;
}

namespace {

void checkConfigFile(const QByteArray &content)
{
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bridge.conf"));
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
    file.close();
    const BridgeOptionsParse parsed = parseBridgeOptions(
        {QStringLiteral("velno-bridge"), QStringLiteral("--config"), path, QStringLiteral("--check-config")},
        QString());
    if (parsed.outcome == BridgeOptionsParse::Outcome::Error) {
        FUZZ_CHECK(!parsed.error.trimmed().isEmpty());
        // A mistake of the file is placed in it; only a missing setting is not.
        FUZZ_CHECK(parsed.error.startsWith(path + QLatin1Char(':')) ||
                   parsed.error.startsWith(QLatin1String("--")));
        return;
    }
    FUZZ_CHECK(parsed.outcome == BridgeOptionsParse::Outcome::CheckConfig);
    FUZZ_CHECK(!parsed.options.projectors.empty());
    FUZZ_CHECK(!parsed.options.brokerHost.isEmpty());
    FUZZ_CHECK(parsed.effective.startsWith(QLatin1String("[broker]\n")));
}

void checkPayload(const QByteArray &payload)
{
    const PayloadVerdict verdict = checkCommandPayload(payload);
    if (!verdict.accepted()) {
        FUZZ_CHECK(!verdict.refusal.isEmpty());
        return;
    }
    const QString line = verdict.request->command ? verdict.request->name() : verdict.request->typedLine;
    FUZZ_CHECK(!line.isEmpty());
    FUZZ_CHECK(payload.size() <= kLongestCommandPayload);
    for (const QChar c : line)
        FUZZ_CHECK(c.unicode() >= 0x20 && c.unicode() <= 0xff &&
                   !(c.unicode() >= 0x7f && c.unicode() <= 0x9f));
    FUZZ_CHECK(verdict.id.isUndefined() || verdict.id.isString() || verdict.id.isDouble());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray input = fuzz::bytes(data, size);
    checkConfigFile(input);
    checkPayload(input);
    return 0;
}
