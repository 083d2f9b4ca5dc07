// SPDX-License-Identifier: GPL-3.0-or-later
#include "faces/web/web_metrics.h"

#include "bridge/limit_counters.h"
#include "bridge/projector_link.h"

#include <QDateTime>
#include <QFile>
#include <functional>
#include <unistd.h>

namespace {

QByteArray labelValue(const QString &text)
{
    QByteArray out = text.toUtf8();
    out.replace('\\', "\\\\").replace('"', "\\\"").replace('\n', "\\n");
    return out;
}

QByteArray number(double value)
{
    if (value >= 1e300)
        return "+Inf";
    return QByteArray::number(value, 'g', 15);
}

// One metric family: its HELP and TYPE once, then a sample per projector
// (or per projector and label) as sample() writes them.
class Family {
public:
    Family(QByteArray &out, const char *name, const char *type, const char *help) : out_(out), name_(name)
    {
        out_ += "# HELP " + name_ + ' ' + help + "\n# TYPE " + name_ + ' ' + type + '\n';
    }
    void sample(const ProjectorLink &projector, double value, const QByteArray &suffix = {},
                const QByteArray &moreLabels = {})
    {
        out_ += name_ + suffix + "{projector=\"" + labelValue(projector.id()) + '"' + moreLabels + "} " +
                number(value) + '\n';
    }

private:
    QByteArray &out_;
    QByteArray name_;
};

} // namespace

void ExchangeHistogram::add(qint64 elapsedMs)
{
    const double seconds = double(elapsedMs) / 1000;
    secondsSum += seconds;
    for (std::size_t i = 0; i < buckets.size(); ++i)
        buckets[i] += seconds <= kBucketBounds[i] ? 1 : 0;
}

double residentMemoryBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toDouble() * double(sysconf(_SC_PAGESIZE)) : 0;
}

QByteArray prometheusMetrics(const std::vector<ProjectorLink *> &projectors, const HistogramOf &histogramOf,
                             const ProcessFigures &process)
{
    QByteArray out;
    using Each = std::function<void(Family &, const ProjectorLink &)>;
    const auto family = [&](const char *name, const char *type, const char *help, const Each &each) {
        Family f(out, name, type, help);
        for (const ProjectorLink *projector : projectors)
            each(f, *projector);
    };
    // A value not reported yet has no sample: a gap in the graph, not a zero.
    const auto gauge = [&](const char *name, const char *help,
                           const std::function<std::optional<double>(const ProjectorState &)> &read) {
        family(name, "gauge", help, [&](Family &f, const ProjectorLink &p) {
            if (const std::optional<double> v = read(p.state()))
                f.sample(p, *v);
        });
    };

    family("velno_projector_online", "gauge", "1 while the projector's line is open and it answers.",
           [](Family &f, const ProjectorLink &p) { f.sample(p, p.isOnline() ? 1 : 0); });
    family("velno_projector_last_answer_timestamp_seconds", "gauge",
           "When the projector last answered anything, in seconds since the Unix epoch.",
           [wallNow = QDateTime::currentMSecsSinceEpoch()](Family &f, const ProjectorLink &p) {
               if (const qint64 age = p.lastAnswerAgeMs(); age >= 0)
                   f.sample(p, double(wallNow - age) / 1000);
           });
    family("velno_projector_power_state", "gauge",
           "1 for the power state the projector is in, 0 for the others.",
           [](Family &f, const ProjectorLink &p) {
               for (PowerState state : kPowerStates)
                   f.sample(p, p.state().power() == state ? 1 : 0, {},
                            ",state=\"" + powerWord(state).toLatin1() + '"');
           });
    gauge("velno_projector_lamp_usage_seconds", "Lamp time the projector counts (its hours times 3600).",
          [](const ProjectorState &s) -> std::optional<double> {
              if (const auto hours = s.value<LampHours>())
                  return double(hours->hours) * 3600;
              return std::nullopt;
          });
    family("velno_projector_temperature_celsius", "gauge", "The projector's three temperature sensors.",
           [](Family &f, const ProjectorLink &p) {
               if (const auto t = p.state().value<Temperatures>())
                   for (std::size_t i = 0; i < t->celsius.size(); ++i)
                       f.sample(p, t->celsius[i], {}, ",sensor=\"" + QByteArray::number(int(i) + 1) + '"');
           });
    gauge("velno_projector_air_pressure_hectopascals", "The air pressure the projector works with.",
          [](const ProjectorState &s) -> std::optional<double> {
              if (const auto pressure = s.value<AirPressure>())
                  return double(pressure->hectopascals);
              return std::nullopt;
          });
    gauge("velno_projector_signal", "1 while a signal comes in, 0 while none does; none in stand-by.",
          [](const ProjectorState &s) -> std::optional<double> {
              const auto mute = s.value<MuteAndSignal>();
              const std::optional<bool> signal = mute ? hasSignal(*mute) : std::nullopt;
              return signal ? std::optional<double>(*signal ? 1 : 0) : std::nullopt;
          });
    family("velno_projector_muted", "gauge", "1 while the picture (no show) or the sound is muted.",
           [](Family &f, const ProjectorLink &p) {
               const auto mute = p.state().value<MuteAndSignal>();
               const std::optional<QString> word = mute ? muteWord(*mute) : std::nullopt;
               if (!word)
                   return; // the projector does not say, in stand-by or without a signal
               const QString both = QStringLiteral("both");
               for (const QString &what : {QStringLiteral("picture"), QStringLiteral("sound")})
                   f.sample(p, *word == what || *word == both ? 1 : 0, {},
                            ",what=\"" + what.toLatin1() + '"');
           });
    const auto counter = [&](const char *name, const char *help, quint64 ProjectorCounters::*field) {
        family(name, "counter", help,
               [field](Family &f, const ProjectorLink &p) { f.sample(p, double(p.counters().*field)); });
    };
    counter("velno_projector_exchanges_total", "Commands and status queries sent.",
            &ProjectorCounters::exchanges);
    counter("velno_projector_exchange_timeouts_total", "Exchanges whose reply window closed with no answer.",
            &ProjectorCounters::unanswered);
    counter("velno_projector_replies_rejected_total",
            "Answers to status queries that carried no value for their query, and changed nothing.",
            &ProjectorCounters::rejected);
    counter("velno_projector_reconnects_total", "Openings of the line after the first.",
            &ProjectorCounters::reconnects);
    counter(
        "velno_projector_commands_refused_total",
        "Commands that reached the projector's queue and were not run (busy, offline, stopping, removed).",
        &ProjectorCounters::refusals);
    family("velno_projector_exchange_duration_seconds", "histogram",
           "Time from a line sent to its reply's end.", [&histogramOf](Family &f, const ProjectorLink &p) {
               static const ExchangeHistogram kNone;
               const ExchangeHistogram *found = histogramOf(p.id());
               const ExchangeHistogram &h = found ? *found : kNone;
               for (std::size_t i = 0; i < h.buckets.size(); ++i)
                   f.sample(p, double(h.buckets[i]), "_bucket",
                            ",le=\"" + number(ExchangeHistogram::kBucketBounds[i]) + '"');
               f.sample(p, h.secondsSum, "_sum");
               f.sample(p, double(h.buckets.back()), "_count");
           });

    const auto processGauge = [&](const char *name, const char *help, double value) {
        out += QByteArray("# HELP ") + name + ' ' + help + "\n# TYPE " + name + " gauge\n" + name + ' ' +
               number(value) + '\n';
    };
    processGauge("velno_bridge_uptime_seconds", "Time since the bridge started.", process.uptimeSeconds);
    processGauge("process_start_time_seconds", "Start time of the process since the Unix epoch.",
                 process.startTimeSeconds);
    processGauge("process_resident_memory_bytes", "Resident memory size.", process.residentBytes);
    return out;
}

QByteArray limitMetrics(const LimitCounters &limits)
{
    QByteArray out =
        "# HELP velno_listener_limit_hits_total Times a listener's limit turned a client away, cut it "
        "off or held it back.\n# TYPE velno_listener_limit_hits_total counter\n";
    for (const auto &[key, count] : limits.counts())
        out += "velno_listener_limit_hits_total{listener=\"" + key.first.toUtf8() + "\",limit=\"" +
               key.second.toUtf8() + "\"} " + QByteArray::number(count) + '\n';
    return out;
}
