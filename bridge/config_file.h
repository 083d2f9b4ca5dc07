// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The bridge's configuration file, as a technician writes it by hand:
//
//   [broker]
//   url = mqtt://broker.example
//   username = velno
//
//   [projector hall]
//   port = /dev/ttyUSB0
//
// One "key = value" a line; "#" or ";" starts a comment line; a value is
// taken as it stands, blanks at either end removed. Read strictly: an
// unknown section or key, a key given twice or a line that is none of
// these is an error that names the file and the line.

#include <QString>
#include <QStringList>

#include <map>
#include <optional>
#include <vector>

struct ConfigValue {
    QString text;
    QString where; // "FILE:LINE: [section] key", for messages
};

struct ConfigProjector {
    QString id;
    QString where; // "FILE:LINE: [projector ID]"
    std::optional<ConfigValue> port;
};

struct ConfigFile {
    QString path;
    std::map<QString, ConfigValue> broker; // by key
    std::vector<ConfigProjector> projectors;
};

struct ConfigRead {
    std::optional<ConfigFile> file;
    QString error; // when there is no file: what is wrong, and where
};

// brokerKeys: the keys the [broker] section may hold.
ConfigRead readConfigFile(const QString &path, const QStringList &brokerKeys);
