// SPDX-License-Identifier: GPL-3.0-or-later
#include "venue_traffic.h"

#include "sim/projector_model.h"

#include <QJsonDocument>

namespace {

// Status queries (two with the slower queries' 2 s window) and commands
// that change nothing a query reports, so every reply is known beforehand.
constexpr const char *kMix[] = {"status", "lamp-time",     "temp",     "input",      "mute",
                                "info",   "display-clear", "menu-off", "freeze-off", "sound-mute-off"};

const QString kIdStem = QStringLiteral("venue-");

} // namespace

VenueTraffic::VenueTraffic(MqttLink &link, const QString &topicPrefix, const QStringList &projectorIds,
                           unsigned seed)
    : link_(link), prefix_(topicPrefix), ids_(projectorIds), random_(seed)
{
    for (const char *name : kMix)
        mix_.push_back(findCommand(QString::fromLatin1(name)));
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, &link_, [this] { publishDue(); });
    QObject::connect(&link_, &MqttLink::messageReceived, &link_,
                     [this](const QString &topic, const QByteArray &payload) { arrived(topic, payload); });
    link_.subscribe(prefix_ + QStringLiteral("/+/reply"));
}

void VenueTraffic::start(int periodMs)
{
    periodMs_ = periodMs;
    startedAt_ = Clock::now();
    publishDue();
    timer_.start(periodMs);
}

void VenueTraffic::stop()
{
    timer_.stop();
}

QString VenueTraffic::expectedReply(const Command &command)
{
    sim::ProjectorModel projector;
    QString reply;
    for (const sim::Output &out : projector.feed(std::string(command.code) + '\r', 0).outputs)
        reply += QString::fromLatin1(out.bytes.data(), qsizetype(out.bytes.size()));
    return reply;
}

void VenueTraffic::publishDue()
{
    const auto due = std::size_t(millisBetween(startedAt_, Clock::now()) / periodMs_) + 1;
    std::uniform_int_distribution<std::size_t> projector(0, std::size_t(ids_.size()) - 1);
    std::uniform_int_distribution<std::size_t> command(0, mix_.size() - 1);
    while (sent_.size() < due) {
        Sent s{projector(random_), mix_[command(random_)], {}};
        const QJsonObject request{{QStringLiteral("command"), QLatin1String(s.command->name)},
                                  {QStringLiteral("id"), kIdStem + QString::number(sent_.size())}};
        s.at = Clock::now();
        link_.publish(prefix_ + QLatin1Char('/') + ids_[qsizetype(s.projector)] + QStringLiteral("/command"),
                      QJsonDocument(request).toJson(QJsonDocument::Compact), false, 1);
        sent_.push_back(s);
        replies_.emplace_back();
        ++withoutReply_;
    }
}

void VenueTraffic::arrived(const QString &topic, const QByteArray &payload)
{
    const QStringList levels = topic.split(QLatin1Char('/'));
    if (levels.size() != 3 || levels[0] != prefix_ || levels[2] != QLatin1String("reply"))
        return;
    const Reply reply{Clock::now(), levels[1], QJsonDocument::fromJson(payload).object()};
    const QString id = reply.body.value(QStringLiteral("id")).toString();
    bool isNumber = false;
    const std::size_t index = id.startsWith(kIdStem) ? id.mid(kIdStem.size()).toULongLong(&isNumber) : 0;
    if (!isNumber || index >= sent_.size()) {
        ++strangers_;
        return;
    }
    if (replies_[index].empty())
        --withoutReply_;
    replies_[index].push_back(reply);
}
