// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The PJLink Class 1 conversation, without a socket: reading a request
// line, the greeting and its digest check, the replies, and what each
// request means for a projector of ours (the commands a setting runs, the
// status queries an answer needs, the answer read from typed values), said
// as the next step to take.

#include "protocol/commands.h"
#include "protocol/projector_values.h"
#include "protocol/status_values.h"

#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

namespace pjlink {

inline constexpr int kMaxRequestBytes = 136; // the longest line the protocol allows, CR included
inline constexpr int kIdleMs = 30000;        // a session this quiet is closed
inline constexpr int kMaxSessions = 4;       // per projector; more are closed at once
inline constexpr int kRandomLength = 8;      // the greeting's random characters
inline constexpr int kDigestLength = 32;     // MD5 in hex, ahead of the first command

enum class Error { Undefined, OutOfParameter, UnavailableTime, ProjectorFailure };
QByteArray errorWord(Error error); // "ERR1"...

struct Request {
    QByteArray header; // "%1powr": as the client sent it, for its reply to echo
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

// "%1POWR=OK\r": the request's header as it came.
QByteArray reply(const Request &request, const QByteArray &value);
QByteArray reply(const Request &request, Error error);

// What an answer is read from; each filled from fresh state or a query.
struct Facts {
    std::optional<OperatingState> operating;
    std::optional<SelectedInput> input;
    std::optional<MuteAndSignal> mute;
    std::optional<LampHours> lampHours;
    std::optional<ModelInfo> model;
    QString name;
    // The projector has been asked: what is still missing is not to be had.
    bool asked = false;
};
// Fills the fact a query's typed value gives.
void takeValue(Facts &facts, const StatusValue &value);

// Rows of the command table, never null.
using Commands = std::vector<const Command *>;

// What to do next about a client's line.
struct Step {
    enum class Kind {
        Answer, // write bytes; error says which when it is one
        Ask,    // ask the projector commands (status queries), take their values
                // into the facts, mark them asked, and call next() again
        Run,    // run commands in order, then write bytes; the first that
                // fails is answered with its error instead
        Close,  // write bytes (maybe none) and close the session, logging why
        Ignore, // nothing to write: a blank line, which some controllers send to keep the session
    };
    Kind kind = Kind::Answer;
    Request request;
    QByteArray bytes;
    Commands commands;
    std::optional<Error> error;
    QString why;
};

// What a request comes to against the facts known so far.
Step next(const Request &request, const Facts &facts);

// The error for a request whose command the projector refused: the
// parameter was ours to check, so what it will not do now is unavailable
// time; an input it will not take is one it does not have.
Error refusalError(const Request &request);

// One client's side of the conversation: the greeting, the digest ahead of
// the first request when there is a password, then requests.
class Conversation {
public:
    // password: empty for none; random: the greeting's, when there is one.
    explicit Conversation(const QByteArray &password, const QByteArray &random = randomText());

    QByteArray greeting() const;
    // The longest line taken now, CR included.
    int longestLine() const;
    // A line without its CR, and the facts known so far.
    Step take(const QByteArray &line, const Facts &facts);

private:
    QByteArray password_;
    QByteArray random_;
    bool authenticated_;
};

} // namespace pjlink
