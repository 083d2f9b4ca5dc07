// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The PJLink Class 1 conversation, without a socket: reading a request
// line, the greeting and its digest check, the replies, and what each
// request means for a projector of ours (the commands a setting runs, the
// status queries an answer needs, the answer read from typed values).

#include "protocol/projector_values.h"
#include "protocol/status_values.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>
#include <variant>

namespace pjlink {

inline constexpr int kMaxRequestBytes = 136; // the longest line the protocol allows, CR included
inline constexpr int kIdleMs = 30000;        // a session this quiet is closed
inline constexpr int kMaxSessions = 4;       // per projector; more are closed at once
inline constexpr int kRandomLength = 8;      // the greeting's random characters
inline constexpr int kDigestLength = 32;     // MD5 in hex, ahead of the first command

enum class Error { Undefined, OutOfParameter, UnavailableTime, ProjectorFailure };
QByteArray errorWord(Error error); // "ERR1"...

struct Request {
    char classDigit = '1';
    QByteArray command;   // "POWR", upper case
    QByteArray parameter; // "1", "?"
    bool isQuery() const { return parameter == "?"; }
};
// A line without its CR ("%1POWR 1"); nothing when it is not shaped as a
// request at all (no header, no separator).
std::optional<Request> parseRequest(const QByteArray &line);

// "PJLINK 0\r" without a password, "PJLINK 1 <random>\r" with one.
QByteArray greeting(const QByteArray &random, bool authenticated);
QByteArray authenticationFailure(); // "PJLINK ERRA\r"
QByteArray randomText();            // kRandomLength hex digits
QByteArray digest(const QByteArray &random, const QByteArray &password);
// The first line of an authenticated session: its digest checked and taken
// off; nothing when it is missing or wrong.
std::optional<QByteArray> checkDigest(const QByteArray &line, const QByteArray &random,
                                      const QByteArray &password);

// "%1POWR=OK\r": the command in upper case, the request's class digit.
QByteArray reply(const Request &request, const QByteArray &value);
QByteArray reply(const Request &request, Error error);

// A setting request: the bridge's commands to run in order, or the error
// to answer at once.
struct SetPlan {
    QStringList commands;
    std::optional<Error> refused;
};
// power: as the bridge last knew it (Unknown when it does not).
SetPlan planSet(const Request &request, PowerState power);

// What an answer is read from; each filled from fresh state or a query.
struct Facts {
    std::optional<OperatingState> operating;
    std::optional<SelectedInput> input;
    std::optional<MuteAndSignal> mute;
    std::optional<LampHours> lampHours;
    std::optional<ModelInfo> model;
    QString name;
};
// The status queries to ask for what the request needs and the facts lack
// ("lamp-time", "status"): a query's answer, or a setting's power state.
QStringList missingQueries(const Request &request, const Facts &facts);
// Fills the fact a query's typed value gives.
void takeValue(Facts &facts, const StatusValue &value);
// The answer to a query request, or its error (a fact still missing is a
// projector failure).
std::variant<QByteArray, Error> answer(const Request &request, const Facts &facts);

} // namespace pjlink
