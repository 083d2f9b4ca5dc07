// SPDX-License-Identifier: GPL-3.0-or-later
#include "pjlink/pjlink_protocol.h"

#include <QCryptographicHash>
#include <QRandomGenerator>

namespace pjlink {

namespace {

constexpr char kManufacturer[] = "VELNO";
constexpr int kMaxNameBytes = 64;
constexpr int kMaxInfoBytes = 32;

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

// Cut to a byte count without splitting a UTF-8 character.
QByteArray capped(const QString &text, int maxBytes)
{
    QString kept = text.trimmed();
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
    case OperatingState::TemperatureWarning:
    case OperatingState::TemperatureWarningCoolingDown: digits[2] = '2'; break;
    case OperatingState::TemperatureWarningRecovered: digits[2] = '1'; break;
    case OperatingState::CoolingDownAllLampsFailed:
    case OperatingState::CoolingDownStandByAllLampsFailed: digits[1] = '2'; break;
    case OperatingState::PowerFail: digits[5] = '2'; break;
    default: break;
    }
    return digits;
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
    return '%' + QByteArray(1, request.classDigit) + request.command + '=' + value + '\r';
}

QByteArray reply(const Request &request, Error error)
{
    return reply(request, errorWord(error));
}

SetPlan planSet(const Request &request, PowerState power)
{
    if (!isDefined(request))
        return {{}, Error::Undefined};
    if (!isSettable(request.command))
        return {{}, Error::OutOfParameter};
    const QByteArray &p = request.parameter;
    QStringList commands;
    if (request.command == "POWR") {
        if (p == "1")
            commands = {QStringLiteral("power-on")};
        else if (p == "0")
            commands = {QStringLiteral("power-off")};
        else
            return {{}, Error::OutOfParameter};
        // The projector takes no power command while warming up or cooling.
        if (power == PowerState::Warming || power == PowerState::Cooling)
            return {{}, Error::UnavailableTime};
        return {commands, std::nullopt};
    }
    if (request.command == "INPT") {
        if (p == "11")
            commands = {QStringLiteral("pc1")};
        else if (p == "12")
            commands = {QStringLiteral("pc2")};
        else if (p == "21")
            commands = {QStringLiteral("video")};
        else
            return {{}, Error::OutOfParameter};
    } else {
        const QString videoOn = QStringLiteral("no-show-on"), videoOff = QStringLiteral("no-show-off");
        const QString audioOn = QStringLiteral("sound-mute-on"), audioOff = QStringLiteral("sound-mute-off");
        if (p == "10")
            commands = {videoOff};
        else if (p == "11")
            commands = {videoOn};
        else if (p == "20")
            commands = {audioOff};
        else if (p == "21")
            commands = {audioOn};
        else if (p == "30")
            commands = {videoOff, audioOff};
        else if (p == "31")
            commands = {videoOn, audioOn};
        else
            return {{}, Error::OutOfParameter};
    }
    // Inputs and mutes need the lamp lit, or on its way.
    if (power == PowerState::Off || power == PowerState::Cooling)
        return {{}, Error::UnavailableTime};
    return {commands, std::nullopt};
}

QStringList missingQueries(const Request &request, const Facts &facts)
{
    if (!isDefined(request))
        return {};
    const QByteArray &c = request.command;
    QStringList queries;
    const auto need = [&queries](bool missing, const char *query) {
        if (missing)
            queries << QString::fromLatin1(query);
    };
    if (!request.isQuery()) {
        // A setting that is wrong whatever the state needs none.
        if (!planSet(request, PowerState::Unknown).refused)
            need(!facts.operating, "status");
        return queries;
    }
    need((c == "POWR" || c == "ERST") && !facts.operating, "status");
    need(c == "INPT" && !facts.input, "input");
    need(c == "AVMT" && !facts.mute, "mute");
    need(c == "LAMP" && !facts.lampHours, "lamp-time");
    need(c == "LAMP" && !facts.operating, "status");
    need((c == "INF2" || c == "INFO") && !facts.model, "info");
    return queries;
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
        return QByteArray::number(facts.lampHours->hours) + ' ' +
               (isSwitchedOn(powerStateOf(*facts.operating)) ? '1' : '0');
    if (c == "INF2" && facts.model)
        return capped(facts.model->text, kMaxInfoBytes);
    if (c == "INFO" && facts.model)
        return capped(QString::fromLatin1(kManufacturer) + QLatin1Char(' ') + facts.model->text,
                      kMaxInfoBytes);
    return Error::ProjectorFailure;
}

} // namespace pjlink
