// SPDX-License-Identifier: GPL-3.0-or-later
#include "bridge/config_file.h"

#include <QFile>

namespace {

const QString kBrokerSection = QStringLiteral("broker");
const QString kProjectorSection = QStringLiteral("projector");
const QString kPortKey = QStringLiteral("port");

struct Reader {
    const QString &path;
    const QStringList &brokerKeys;
    ConfigFile file;
    QString section; // "broker", "projector", or empty before the first
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
        if (words.size() == 1 && words[0] == kBrokerSection) {
            if (section == kBrokerSection || !file.broker.empty())
                return fail(line, QStringLiteral("[broker] is given twice"));
            section = kBrokerSection;
            return true;
        }
        if (words.size() == 2 && words[0] == kProjectorSection) {
            for (const ConfigProjector &earlier : file.projectors)
                if (earlier.id == words[1])
                    return fail(line, QStringLiteral("[projector %1] is given twice").arg(words[1]));
            section = kProjectorSection;
            file.projectors.push_back(
                {words[1], QStringLiteral("%1: [projector %2]").arg(at(line), words[1]), std::nullopt});
            return true;
        }
        return fail(line, QStringLiteral("[%1]: expected [broker] or [projector ID]").arg(inside));
    }

    bool keyLine(int line, const QString &key, const QString &value)
    {
        if (section.isEmpty())
            return fail(
                line,
                QStringLiteral("'%1' before any section; start with [broker] or [projector ID]").arg(key));
        if (section == kBrokerSection) {
            const QString where = QStringLiteral("%1: [broker] %2").arg(at(line), key);
            if (!brokerKeys.contains(key))
                return fail(line, QStringLiteral("[broker] %1: unknown key (known: %2)")
                                      .arg(key, brokerKeys.join(QStringLiteral(", "))));
            if (file.broker.count(key))
                return fail(line, QStringLiteral("[broker] %1 is given twice").arg(key));
            file.broker[key] = {value, where};
            return true;
        }
        ConfigProjector &projector = file.projectors.back();
        if (key != kPortKey)
            return fail(
                line, QStringLiteral("[projector %1] %2: unknown key (known: port)").arg(projector.id, key));
        if (projector.port)
            return fail(line, QStringLiteral("[projector %1] port is given twice").arg(projector.id));
        projector.port =
            ConfigValue{value, QStringLiteral("%1: [projector %2] port").arg(at(line), projector.id)};
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
            const QString text = QString::fromUtf8(raw).trimmed();
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
            if (!projector.port) {
                error = QStringLiteral("%1: no port = ... in it").arg(projector.where);
                return false;
            }
        return true;
    }
};

} // namespace

ConfigRead readConfigFile(const QString &path, const QStringList &brokerKeys)
{
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly))
        return {std::nullopt, QStringLiteral("%1: cannot read it: %2").arg(path, in.errorString())};
    Reader reader{path, brokerKeys, {}, {}, {}};
    reader.file.path = path;
    if (!reader.read(in.readAll()))
        return {std::nullopt, reader.error};
    return {reader.file, {}};
}
