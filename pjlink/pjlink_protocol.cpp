// SPDX-License-Identifier: GPL-3.0-or-later
#include "pjlink/pjlink_protocol.h"

#include <QCryptographicHash>
#include <QRandomGenerator>
#include <algorithm>
#include <variant>

namespace pjlink {

namespace {

constexpr char kManufacturer[] = "VELNO";
constexpr int kMaxNameBytes = 64;
constexpr int kMaxInfoBytes = 32;
constexpr qint64 kMaxLampHours = 99999; // five digits, the most a LAMP answer carries

bool isDefined(const Request &request)
{
    static const QByteArray kCommands[] = {"POWR", "INPT", "AVMT", "ERST", "LAMP", "INST",
                                           "NAME", "INF1", "INF2", "INFO", "CLSS"};
    if (request.classDigit != '1')
        return false;
    for (const QByteArray &command : kCommands)
        if (request.command == command)
            return true;
    return false;
}

bool isSettable(const QByteArray &command)
{
    return command == "POWR" || command == "INPT" || command == "AVMT";
}

// Cut to a byte count without splitting a UTF-8 character; a control
// character (a CR would end the answer early) goes as a blank.
QByteArray capped(const QString &text, int maxBytes)
{
    QString kept = text;
    for (QChar &c : kept)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            c = QLatin1Char(' ');
    kept = kept.trimmed();
    while (kept.toUtf8().size() > maxBytes)
        kept.chop(1);
    return kept.toUtf8();
}

std::optional<QByteArray> inputCode(SelectedInput input)
{
    switch (input) {
    case SelectedInput::Computer1: return QByteArray("11");
    case SelectedInput::Computer2: return QByteArray("12");
    case SelectedInput::Video: return QByteArray("21");
    case SelectedInput::InputMode4: break; // none of PJLink's inputs
    }
    return std::nullopt;
}

QByteArray powerCode(OperatingState state)
{
    switch (powerStateOf(state)) {
    case PowerState::On: return "1";
    case PowerState::Warming: return "3";
    case PowerState::Cooling: return "2";
    case PowerState::Off:
    case PowerState::Unknown: return "0";
    case PowerState::Error: break;
    }
    // Failed lamps still cool down; a power failure leaves the lamp off.
    return state == OperatingState::CoolingDownAllLampsFailed ? "2" : "0";
}

std::optional<QByteArray> muteCode(MuteAndSignal mute)
{
    switch (mute) {
    case MuteAndSignal::NoMute: return QByteArray("30");
    case MuteAndSignal::VideoMute: return QByteArray("11");
    case MuteAndSignal::AudioMute: return QByteArray("21");
    case MuteAndSignal::VideoAndAudioMute: return QByteArray("31");
    case MuteAndSignal::NoSignal:
    case MuteAndSignal::StandBy: break; // the projector does not say its mutes then
    }
    return std::nullopt;
}

// Fan, lamp, temperature, cover, filter, other: 0 fine, 1 warning, 2 error.
QByteArray errorStatus(OperatingState state)
{
    QByteArray digits("000000");
    switch (state) {
    // Too hot is a warning; too hot to stay on, an error.
    case OperatingState::TemperatureWarning:
    case OperatingState::TemperatureWarningRecovered: digits[2] = '1'; break;
    case OperatingState::TemperatureWarningCoolingDown: digits[2] = '2'; break;
    case OperatingState::CoolingDownAllLampsFailed:
    case OperatingState::CoolingDownStandByAllLampsFailed: digits[1] = '2'; break;
    case OperatingState::PowerFail: digits[5] = '2'; break;
    default: break;
    }
    return digits;
}

// The rows of the command table PJLink runs and asks, found once by name;
// a name the table lacks stops the program at the first request.
const Command &row(const char *name, bool statusQuery = false)
{
    const Command *command = findCommand(QString::fromLatin1(name));
    if (!command || (statusQuery && !command->statusQuery))
        qFatal("PJLink: the command table has no %s %s", statusQuery ? "status query" : "command", name);
    return *command;
}

struct Rows {
    const Command &powerOn = row("power-on"), &powerOff = row("power-off");
    const Command &pc1 = row("pc1"), &pc2 = row("pc2"), &video = row("video");
    const Command &videoMuteOn = row("no-show-on"), &videoMuteOff = row("no-show-off");
    const Command &audioMuteOn = row("sound-mute-on"), &audioMuteOff = row("sound-mute-off");
    const Command &status = row("status", true), &input = row("input", true), &mute = row("mute", true);
    const Command &lampTime = row("lamp-time", true), &info = row("info", true);
};

const Rows &rows()
{
    static const Rows kRows;
    return kRows;
}

} // namespace

QByteArray errorWord(Error error)
{
    switch (error) {
    case Error::Undefined: return "ERR1";
    case Error::OutOfParameter: return "ERR2";
    case Error::UnavailableTime: return "ERR3";
    case Error::ProjectorFailure: break;
    }
    return "ERR4";
}

std::optional<Request> parseRequest(const QByteArray &line)
{
    // "%", the class digit, four characters of command.
    if (line.size() < 6 || line[0] != '%')
        return std::nullopt;
    Request request;
    request.header = line.left(6);
    request.classDigit = line[1];
    request.command = line.mid(2, 4).toUpper();
    if (line.size() > 7 && line[6] == ' ')
        request.parameter = line.mid(7);
    return request;
}

QByteArray greeting(const QByteArray &random, bool authenticated)
{
    return authenticated ? "PJLINK 1 " + random + '\r' : QByteArray("PJLINK 0\r");
}

QByteArray authenticationFailure()
{
    return "PJLINK ERRA\r";
}

QByteArray randomText()
{
    return QByteArray::number(QRandomGenerator::system()->generate(), 16).rightJustified(kRandomLength, '0');
}

QByteArray digest(const QByteArray &random, const QByteArray &password)
{
    return QCryptographicHash::hash(random + password, QCryptographicHash::Md5).toHex();
}

std::optional<QByteArray> checkDigest(const QByteArray &line, const QByteArray &random,
                                      const QByteArray &password)
{
    if (line.size() < kDigestLength || line.left(kDigestLength).toLower() != digest(random, password))
        return std::nullopt;
    return line.mid(kDigestLength);
}

QByteArray reply(const Request &request, const QByteArray &value)
{
    return request.header + '=' + value + '\r';
}

QByteArray reply(const Request &request, Error error)
{
    return reply(request, errorWord(error));
}

namespace {

// A setting request: the commands to run in order, or the error to answer
// at once. power: as last known (Unknown when it is not).
std::variant<Commands, Error> planSet(const Request &request, PowerState power)
{
    if (!isDefined(request))
        return Error::Undefined;
    if (!isSettable(request.command))
        return Error::OutOfParameter;
    const Rows &r = rows();
    const QByteArray &p = request.parameter;
    Commands commands;
    if (request.command == "POWR") {
        if (p == "1")
            commands = {&r.powerOn};
        else if (p == "0")
            commands = {&r.powerOff};
        else
            return Error::OutOfParameter;
        // The projector takes no power command while warming up or cooling.
        if (power == PowerState::Warming || power == PowerState::Cooling)
            return Error::UnavailableTime;
        return commands;
    }
    if (request.command == "INPT") {
        if (p == "11")
            commands = {&r.pc1};
        else if (p == "12")
            commands = {&r.pc2};
        else if (p == "21")
            commands = {&r.video};
        else
            return Error::OutOfParameter;
    } else {
        if (p == "10")
            commands = {&r.videoMuteOff};
        else if (p == "11")
            commands = {&r.videoMuteOn};
        else if (p == "20")
            commands = {&r.audioMuteOff};
        else if (p == "21")
            commands = {&r.audioMuteOn};
        else if (p == "30")
            commands = {&r.videoMuteOff, &r.audioMuteOff};
        else if (p == "31")
            commands = {&r.videoMuteOn, &r.audioMuteOn};
        else
            return Error::OutOfParameter;
    }
    // Inputs and mutes need the lamp lit, or on its way.
    if (power == PowerState::Off || power == PowerState::Cooling)
        return Error::UnavailableTime;
    return commands;
}

// The status queries to ask for what the request needs and the facts lack:
// a query's answer, or a setting's power state.
Commands missingQueries(const Request &request, const Facts &facts)
{
    if (!isDefined(request))
        return {};
    const Rows &r = rows();
    const QByteArray &c = request.command;
    Commands queries;
    const auto need = [&queries](bool missing, const Command &query) {
        if (missing)
            queries.push_back(&query);
    };
    if (!request.isQuery()) {
        // A setting that is wrong whatever the state needs none.
        if (std::holds_alternative<Commands>(planSet(request, PowerState::Unknown)))
            need(!facts.operating, r.status);
        return queries;
    }
    need((c == "POWR" || c == "ERST") && !facts.operating, r.status);
    need(c == "INPT" && !facts.input, r.input);
    need(c == "AVMT" && !facts.mute, r.mute);
    need(c == "LAMP" && !facts.lampHours, r.lampTime);
    need(c == "LAMP" && !facts.operating, r.status);
    need((c == "INF2" || c == "INFO") && !facts.model, r.info);
    return queries;
}

// The answer to a query request, or its error (a fact still missing is a
// projector failure).
std::variant<QByteArray, Error> answer(const Request &request, const Facts &facts)
{
    if (!isDefined(request))
        return Error::Undefined;
    if (!request.isQuery())
        return Error::OutOfParameter;
    const QByteArray &c = request.command;
    if (c == "NAME")
        return capped(facts.name, kMaxNameBytes);
    if (c == "INF1")
        return QByteArray(kManufacturer);
    if (c == "CLSS")
        return QByteArray("1");
    if (c == "INST")
        return QByteArray("11 12 21");
    if (c == "POWR" && facts.operating)
        return powerCode(*facts.operating);
    if (c == "ERST" && facts.operating)
        return errorStatus(*facts.operating);
    if (c == "INPT" && facts.input) {
        if (const auto code = inputCode(*facts.input))
            return *code;
        return Error::UnavailableTime;
    }
    if (c == "AVMT" && facts.mute) {
        if (const auto code = muteCode(*facts.mute))
            return *code;
        return Error::UnavailableTime;
    }
    if (c == "LAMP" && facts.lampHours && facts.operating)
        return QByteArray::number(std::min(facts.lampHours->hours, kMaxLampHours)) + ' ' +
               (isSwitchedOn(powerStateOf(*facts.operating)) ? '1' : '0');
    if (c == "INF2" && facts.model)
        return capped(facts.model->text, kMaxInfoBytes);
    if (c == "INFO" && facts.model)
        return capped(QString::fromLatin1(kManufacturer) + QLatin1Char(' ') + facts.model->text,
                      kMaxInfoBytes);
    return Error::ProjectorFailure;
}

Step answered(const Request &request, const std::variant<QByteArray, Error> &value)
{
    Step step{Step::Kind::Answer, request, {}, {}, {}, {}};
    if (const auto *error = std::get_if<Error>(&value)) {
        step.error = *error;
        step.bytes = reply(request, *error);
    } else {
        step.bytes = reply(request, std::get<QByteArray>(value));
    }
    return step;
}

Step closed(const QString &why, const QByteArray &lastWords = {})
{
    return {Step::Kind::Close, {}, lastWords, {}, {}, why};
}

} // namespace

Step next(const Request &request, const Facts &facts)
{
    if (!facts.asked) {
        Commands queries = missingQueries(request, facts);
        if (!queries.empty())
            return {Step::Kind::Ask, request, {}, std::move(queries), {}, {}};
    }
    if (request.isQuery())
        return answered(request, answer(request, facts));
    const auto plan =
        planSet(request, facts.operating ? powerStateOf(*facts.operating) : PowerState::Unknown);
    if (const auto *error = std::get_if<Error>(&plan))
        return answered(request, *error);
    return {Step::Kind::Run, request, reply(request, QByteArray("OK")), std::get<Commands>(plan), {}, {}};
}

Error refusalError(const Request &request)
{
    return request.command == "INPT" && !request.isQuery() ? Error::OutOfParameter : Error::UnavailableTime;
}

Conversation::Conversation(const QByteArray &password, const QByteArray &random)
    : password_(password), random_(password.isEmpty() ? QByteArray() : random),
      authenticated_(password.isEmpty())
{
}

QByteArray Conversation::greeting() const
{
    return pjlink::greeting(random_, !password_.isEmpty());
}

int Conversation::longestLine() const
{
    return kMaxRequestBytes + (authenticated_ ? 0 : kDigestLength);
}

Step Conversation::take(const QByteArray &line, const Facts &facts)
{
    if (line.trimmed().isEmpty())
        return {Step::Kind::Ignore, {}, {}, {}, {}, {}};
    QByteArray request = line;
    if (!authenticated_) {
        const std::optional<QByteArray> rest = checkDigest(line, random_, password_);
        if (!rest)
            return closed(QStringLiteral("session closed for a wrong or missing password"),
                          authenticationFailure());
        authenticated_ = true;
        request = *rest;
    }
    const std::optional<Request> parsed = parseRequest(request);
    if (!parsed)
        return closed(QStringLiteral("session closed for a line that is not PJLink"));
    return next(*parsed, facts);
}

void takeValue(Facts &facts, const StatusValue &value)
{
    if (const auto *v = std::get_if<OperatingState>(&value))
        facts.operating = *v;
    else if (const auto *v = std::get_if<SelectedInput>(&value))
        facts.input = *v;
    else if (const auto *v = std::get_if<MuteAndSignal>(&value))
        facts.mute = *v;
    else if (const auto *v = std::get_if<LampHours>(&value))
        facts.lampHours = *v;
    else if (const auto *v = std::get_if<ModelInfo>(&value))
        facts.model = *v;
}

} // namespace pjlink
