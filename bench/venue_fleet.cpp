// SPDX-License-Identifier: GPL-3.0-or-later
#include "venue_fleet.h"

#include "protocol/commands.h"
#include "protocol/monitor_timing.h"
#include "session/command_exchange.h"

#include <algorithm>

namespace {

// The window most commands get, and the quiet the bridge keeps after one
// that closed empty.
constexpr int kWindowMs = monitor_timing::kNormal.replyWindowMs;
constexpr int kQuietAfterEmptyWindowMs = kWindowMs + CommandExchange::kQuietGapMs;

struct KindSetup {
    ProjectorKind kind;
    const char *idStem; // in the projector's ID
    int count;
    sim::FaultSettings fault;
};

sim::FaultSettings fault(sim::Fault mode)
{
    sim::FaultSettings settings;
    settings.mode = mode;
    return settings;
}

sim::FaultSettings late(int delayMs)
{
    sim::FaultSettings settings = fault(sim::Fault::Late);
    settings.lateDelayMs = delayMs;
    return settings;
}

// A device server that forwards in small packets: the longest reply (18
// bytes) in 9 pieces over 80 ms, well within the window.
sim::FaultSettings splitInPieces()
{
    sim::FaultSettings settings = fault(sim::Fault::Split);
    settings.pieceSize = 2;
    settings.pieceGapMs = 10;
    return settings;
}

const std::vector<KindSetup> &kindSetups()
{
    static const std::vector<KindSetup> all{
        {ProjectorKind::Prompt, "ok", 38, fault(sim::Fault::None)},
        {ProjectorKind::Split, "split", 4, splitInPieces()},
        // Half the window: every command answered, each one slowly.
        {ProjectorKind::LateInWindow, "late-in", 3, late(kWindowMs / 2)},
        // Past the 500 ms window (the 2 s of the slower queries still catch
        // it), and halfway into the quiet the bridge then keeps: discarded,
        // never taken for the next command's reply.
        {ProjectorKind::LatePastWindow, "late-past", 3, late(kWindowMs + kQuietAfterEmptyWindowMs / 2)},
        {ProjectorKind::Silent, "silent", 2, fault(sim::Fault::Silent)},
    };
    return all;
}

const KindSetup &setupOf(ProjectorKind kind)
{
    return *std::find_if(kindSetups().begin(), kindSetups().end(),
                         [kind](const KindSetup &s) { return s.kind == kind; });
}

} // namespace

const std::vector<ProjectorKind> &projectorKinds()
{
    static const std::vector<ProjectorKind> kinds = [] {
        std::vector<ProjectorKind> all;
        for (const KindSetup &s : kindSetups())
            all.push_back(s.kind);
        return all;
    }();
    return kinds;
}

QString kindName(ProjectorKind kind)
{
    const sim::FaultSettings &f = setupOf(kind).fault;
    switch (f.mode) {
    case sim::Fault::Late: return QStringLiteral("late %1 ms").arg(f.lateDelayMs);
    case sim::Fault::Split: return QStringLiteral("split %1 B/%2 ms").arg(f.pieceSize).arg(f.pieceGapMs);
    case sim::Fault::Silent: return QStringLiteral("silent");
    default: return QStringLiteral("none");
    }
}

bool answersPromptly(ProjectorKind kind)
{
    return kind == ProjectorKind::Prompt || kind == ProjectorKind::Split;
}

VenueFleet::VenueFleet()
{
    for (const KindSetup &s : kindSetups()) {
        for (int n = 1; n <= s.count; ++n) {
            Projector p{s.kind,
                        QStringLiteral("%1-%2").arg(QLatin1String(s.idStem)).arg(n, 2, 10, QLatin1Char('0')),
                        std::make_unique<sim::PtyServer>(), nullptr};
            p.lines = std::make_unique<LineLog>(*p.server);
            p.server->setFault(s.fault);
            projectors_.push_back(std::move(p));
        }
    }
}

VenueFleet::~VenueFleet()
{
    for (Projector &p : projectors_)
        p.server->vanish();
}

bool VenueFleet::listen(std::string *error)
{
    for (Projector &p : projectors_)
        if (!p.server->listen("127.0.0.1", 0, error))
            return false;
    return true;
}

std::size_t VenueFleet::count(ProjectorKind kind) const
{
    return std::size_t(std::count_if(projectors_.begin(), projectors_.end(),
                                     [kind](const Projector &p) { return p.kind == kind; }));
}

QStringList VenueFleet::ids() const
{
    QStringList all;
    for (const Projector &p : projectors_)
        all << p.id;
    return all;
}

QString VenueFleet::configFile(quint16 brokerPort, int pollSeconds) const
{
    QString text =
        QStringLiteral("[broker]\nurl = mqtt://127.0.0.1:%1\npoll = %2\n").arg(brokerPort).arg(pollSeconds);
    for (const Projector &p : projectors_)
        text += QStringLiteral("\n[projector %1]\nport = %2\n")
                    .arg(p.id, QString::fromStdString(p.server->devicePath()));
    return text;
}

PollRounds VenueFleet::rounds(std::size_t index, Clock::time_point from) const
{
    static const std::vector<std::string> codes = queryCodes();
    const LineLog &lines = *projectors_[index].lines;
    PollRounds rounds;
    const std::size_t total = lines.size();
    for (std::size_t first = 0; first + codes.size() <= total; ++first) {
        const LineLog::Line start = lines.at(first);
        if (start.at < from || start.text != codes.front())
            continue;
        std::size_t q = 1;
        while (q < codes.size() && lines.at(first + q).text == codes[q])
            ++q;
        if (q < codes.size())
            continue;
        rounds.firstToLastMs.push_back(millisBetween(start.at, lines.at(first + q - 1).at));
        first += q - 1;
    }
    return rounds;
}
