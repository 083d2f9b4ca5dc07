// SPDX-License-Identifier: GPL-3.0-or-later
#include "bridge/config_file.h"

#include "bridge/listener_limits.h"

#include <QFile>
#include <QStringDecoder>

namespace {

const QString kBrokerSection = QStringLiteral("broker");
const QString kWebSection = QStringLiteral("web");
const QString kProjectorSection = QStringLiteral("projector");
const QString kGroupSection = QStringLiteral("group");
const QString kPortKey = QStringLiteral("port");

struct Reader {
    const QString &path;
    const ConfigKeys &keys;
    ConfigFile file;
    QString section;  // "broker", "projector", "group", "web", or empty before the first
    QStringList seen; // the sections that may come once
    QString error;

    QString at(int line) const { return QStringLiteral("%1:%2").arg(path).arg(line); }

    bool fail(int line, const QString &what)
    {
        error = QStringLiteral("%1: %2").arg(at(line), what);
        return false;
    }

    bool sectionLine(int line, const QString &inside)
    {
        const QStringList words = inside.simplified().split(QLatin1Char(' '));
        if (words.size() == 1 && (words[0] == kBrokerSection || words[0] == kWebSection)) {
            if (seen.contains(words[0]))
                return fail(line, QStringLiteral("[%1] is given twice").arg(words[0]));
            seen << words[0];
            section = words[0];
            return true;
        }
        if (words.size() == 2 && (words[0] == kProjectorSection || words[0] == kGroupSection)) {
            std::vector<ConfigProjector> &list = words[0] == kGroupSection ? file.groups : file.projectors;
            for (const ConfigProjector &earlier : list)
                if (earlier.id == words[1])
                    return fail(line, QStringLiteral("[%1 %2] is given twice").arg(words[0], words[1]));
            section = words[0];
            list.push_back({words[1], QStringLiteral("%1: [%2 %3]").arg(at(line), words[0], words[1]), {}});
            return true;
        }
        return fail(
            line, QStringLiteral("[%1]: expected [broker], [projector ID], [group ID] or [web]").arg(inside));
    }

    bool keyLine(int line, const QString &key, const QString &value)
    {
        if (section.isEmpty())
            return fail(
                line,
                QStringLiteral("'%1' before any section; start with [broker] or [projector ID]").arg(key));
        if (section == kBrokerSection)
            return setting(line, QStringLiteral("[broker]"), keys.broker, file.broker, key, value);
        if (section == kWebSection)
            return setting(line, QStringLiteral("[web]"), keys.web, file.web, key, value);
        if (section == kGroupSection) {
            ConfigProjector &group = file.groups.back();
            return setting(line, QStringLiteral("[group %1]").arg(group.id), keys.group, group.settings, key,
                           value);
        }
        ConfigProjector &projector = file.projectors.back();
        return setting(line, QStringLiteral("[projector %1]").arg(projector.id), keys.projector,
                       projector.settings, key, value);
    }

    bool setting(int line, const QString &heading, const QStringList &known,
                 std::map<QString, ConfigValue> &into, const QString &key, const QString &value)
    {
        if (!known.contains(key))
            return fail(line, QStringLiteral("%1 %2: unknown key (known: %3)")
                                  .arg(heading, key, known.join(QStringLiteral(", "))));
        if (into.count(key))
            return fail(line, QStringLiteral("%1 %2 is given twice").arg(heading, key));
        into[key] = {value, QStringLiteral("%1: %2 %3").arg(at(line), heading, key)};
        return true;
    }

    bool read(const QByteArray &bytes)
    {
        const QList<QByteArray> lines = bytes.split('\n');
        for (int index = 0; index < lines.size(); ++index) {
            const int line = index + 1;
            QByteArray raw = lines[index];
            if (raw.endsWith('\r'))
                raw.chop(1);
            if (raw.contains('\0'))
                return fail(line, QStringLiteral("a NUL byte: not a text file"));
            QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
            const QString text = QString(utf8.decode(raw)).trimmed();
            if (utf8.hasError())
                return fail(line, QStringLiteral("bytes that are not UTF-8"));
            if (text.isEmpty() || text.startsWith(QLatin1Char('#')) || text.startsWith(QLatin1Char(';')))
                continue;
            if (text.startsWith(QLatin1Char('['))) {
                if (!text.endsWith(QLatin1Char(']')))
                    return fail(line, QStringLiteral("a section line ends with ']'"));
                if (!sectionLine(line, text.mid(1, text.size() - 2)))
                    return false;
                continue;
            }
            const qsizetype equals = text.indexOf(QLatin1Char('='));
            if (equals < 1)
                return fail(line, QStringLiteral("expected 'key = value', a [section] or a # comment"));
            if (!keyLine(line, text.left(equals).trimmed(), text.mid(equals + 1).trimmed()))
                return false;
        }
        for (const ConfigProjector &projector : file.projectors)
            if (!projector.get(kPortKey)) {
                error = QStringLiteral("%1: no port = ... in it").arg(projector.where);
                return false;
            }
        return true;
    }
};

} // namespace

namespace {

// The whole of a file of at most `largest` bytes; nothing, with why, for
// one that cannot be read or is larger.
std::optional<QByteArray> readAtMost(QFile &in, qint64 largest, const QString &kind, QString *error)
{
    const QString path = in.fileName();
    if (!in.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1: cannot read it: %2").arg(path, in.errorString());
        return std::nullopt;
    }
    // Read one byte past the limit: a device or a pipe has no size to ask.
    const QByteArray bytes = in.read(largest + 1);
    if (bytes.size() > largest) {
        *error = largest >= 1024
                     ? QStringLiteral("%1: larger than %2 kB: not %3").arg(path).arg(largest / 1024).arg(kind)
                     : QStringLiteral("%1: larger than %2 bytes: not %3").arg(path).arg(largest).arg(kind);
        return std::nullopt;
    }
    return bytes;
}

} // namespace

SecretRead readSecretFile(const QString &path)
{
    SecretRead read;
    QFile in(path);
    const std::optional<QByteArray> bytes = readAtMost(in, listener_limits::kLargestSecretFile,
                                                       QStringLiteral("a password or token"), &read.error);
    if (!bytes)
        return read;
    if (bytes->contains('\0')) {
        read.error = QStringLiteral("%1: a NUL byte: not a password or token").arg(path);
        return read;
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(*bytes); // decoded only when made a string
    if (utf8.hasError()) {
        read.error = QStringLiteral("%1: bytes that are not UTF-8").arg(path);
        return read;
    }
    read.firstLine = bytes->left(bytes->indexOf('\n'));
    while (read.firstLine.endsWith('\r'))
        read.firstLine.chop(1);
    read.readableByOthers = in.permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther);
    return read;
}

ConfigRead readConfigFile(const QString &path, const ConfigKeys &keys)
{
    QFile in(path);
    QString error;
    const std::optional<QByteArray> bytes =
        readAtMost(in, kLargestConfigFile, QStringLiteral("a settings file"), &error);
    if (!bytes)
        return {std::nullopt, error};
    Reader reader{path, keys, {}, {}, {}, {}};
    reader.file.path = path;
    if (!reader.read(*bytes))
        return {std::nullopt, reader.error};
    return {reader.file, {}};
}
