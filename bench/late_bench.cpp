// SPDX-License-Identifier: GPL-3.0-or-later
// Which reply each exchange is credited with, when the projector's replies
// come late, in pieces, or with garbage between them: CommandExchange on a
// pseudo-terminal, a simulated projector on the other end, a mix of status
// queries asked back to back. The reply each query should get is the
// simulated projector's own for that query, asked of its model without the
// delay. An exchange is answered (its own reply, whole), incomplete (a
// beginning of its own reply), unanswered, or wrongly credited (anything
// else: another query's reply, or garbage where a reply was due).
// Exit status 1 if any exchange was wrongly credited.
//
// Usage: late_bench

#include "protocol/commands.h"
#include "session/command_exchange.h"
#include "session/port_connection.h"
#include "sim/projector_model.h"
#include "sim/pty_server.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <cstdio>
#include <functional>
#include <string>

namespace {

constexpr int kWindowMs = 500; // the normal reply window: the unit of lateness
constexpr int kStuckMs = 60000;
const char *const kQueries[] = {"status", "mute",     "lamp-time", "info",     "input",
                                "temp",   "pressure", "setting",   "lamp-mode"};

sim::FaultSettings late(double windows)
{
    sim::FaultSettings f;
    f.mode = sim::Fault::Late;
    f.lateDelayMs = sim::Millis(windows * kWindowMs);
    return f;
}

sim::FaultSettings split()
{
    sim::FaultSettings f;
    f.mode = sim::Fault::Split;
    f.pieceSize = 1;
    f.pieceGapMs = 100; // replies of 2 to 17 bytes: 0.1 to 1.6 s
    return f;
}

sim::FaultSettings garbage()
{
    sim::FaultSettings f;
    f.mode = sim::Fault::Garbage;
    return f;
}

struct Row {
    const char *name;
    int exchanges;
    // The fault the projector has while exchange i is asked.
    std::function<sim::FaultSettings(int i)> fault;
};

// What the projector sends for this query under this fault, up to the first
// carriage return: the reply the exchange should be credited with.
QString expectedReply(const Command &query, const sim::FaultSettings &fault)
{
    sim::ProjectorModel model;
    model.setFault(fault);
    std::string bytes;
    for (const sim::Output &o : model.feed(std::string(query.code) + '\r', 0).outputs)
        bytes += o.bytes;
    return QString::fromLatin1(QByteArray::fromStdString(bytes.substr(0, bytes.find('\r') + 1)));
}

struct Counts {
    int answered = 0, incomplete = 0, unanswered = 0, wrong = 0;
    qint64 ms = 0;
};

bool runRow(const Row &row, Counts &counts)
{
    sim::PtyServer projector;
    std::string error;
    if (!projector.start(&error)) {
        std::fprintf(stderr, "simulator: %s\n", error.c_str());
        return false;
    }
    PortConnection line;
    if (const SerialError e =
            line.open(PortAddress::serialDevice(QString::fromStdString(projector.devicePath())),
                      port_settings::kFast)) {
        std::fprintf(stderr, "port: %s\n", qPrintable(e.description));
        return false;
    }
    CommandExchange exchange(line);
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < row.exchanges; ++i) {
        const Command &query = *findCommand(QString::fromLatin1(kQueries[i % std::size(kQueries)]));
        const sim::FaultSettings fault = row.fault(i);
        projector.setFault(fault);
        QEventLoop loop;
        ExchangeResult result;
        QObject::connect(&exchange, &CommandExchange::finished, &loop, [&](const ExchangeResult &r) {
            result = r;
            loop.quit();
        });
        QTimer::singleShot(kStuckMs, &loop, [&] { loop.exit(1); });
        exchange.start(query);
        if (loop.exec() != 0) {
            std::fprintf(stderr, "%s: exchange %d never finished\n", row.name, i);
            return false;
        }
        const QString expected = expectedReply(query, fault);
        if (!result.answered)
            ++counts.unanswered;
        else if (result.reply == expected)
            ++counts.answered;
        else if (!result.reply.endsWith(QLatin1Char('\r')) && expected.startsWith(result.reply))
            ++counts.incomplete;
        else {
            ++counts.wrong;
            std::fprintf(stderr, "%s: %s credited with \"%s\", its own is \"%s\"\n", row.name, query.name,
                         qPrintable(result.reply.toUtf8().toPercentEncoding()),
                         qPrintable(expected.toUtf8().toPercentEncoding()));
        }
    }
    counts.ms = clock.elapsed();
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const Row rows[] = {
        {"late 0.5 windows", 27, [](int) { return late(0.5); }},
        {"late 1.5 windows", 18, [](int) { return late(1.5); }},
        {"late 3 windows", 12, [](int) { return late(3); }},
        {"late 10 windows", 5, [](int) { return late(10); }},
        {"split 1 B/100 ms", 18, [](int) { return split(); }},
        // Every third answer is garbage (one CR among 256 bytes), between
        // answers 1.5 windows late.
        {"late 1.5 + garbage", 18, [](int i) { return i % 3 == 2 ? garbage() : late(1.5); }},
    };
    std::printf("%-20s %9s %11s %11s %17s %8s\n", "projector", "answered", "incomplete", "unanswered",
                "wrongly credited", "time s");
    int wrong = 0;
    for (const Row &row : rows) {
        Counts c;
        if (!runRow(row, c))
            return 2;
        wrong += c.wrong;
        std::printf("%-20s %9d %11d %11d %17d %8.1f\n", row.name, c.answered, c.incomplete, c.unanswered,
                    c.wrong, double(c.ms) / 1000.0);
        std::fflush(stdout);
    }
    return wrong > 0 ? 1 : 0;
}
