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
//   pjlink = 0.0.0.0:4352
//
//   [group east]
//   projectors = hall, lab
//
//   [web]
//   listen = 127.0.0.1:8080
//
// One "key = value" a line; "#" or ";" starts a comment line; a value is
// taken as it stands, blanks at either end removed. Read strictly: an
// unknown section or key, a key given twice or a line that is none of
// these is an error that names the file and the line. A file over 1 MB,
// or holding a NUL or bytes that are not UTF-8, is refused whole.

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
    QString where;                           // "FILE:LINE: [projector ID]"
    std::map<QString, ConfigValue> settings; // by key; "port" always there
    std::optional<ConfigValue> get(const QString &key) const
    {
        const auto found = settings.find(key);
        return found == settings.end() ? std::nullopt : std::optional<ConfigValue>(found->second);
    }
};

struct ConfigFile {
    QString path;
    std::map<QString, ConfigValue> broker; // by key
    std::map<QString, ConfigValue> web;    // by key
    std::vector<ConfigProjector> projectors;
    std::vector<ConfigProjector> groups; // [group ID]: a section like a projector's
};

// The keys each section may hold.
struct ConfigKeys {
    QStringList broker;
    QStringList projector; // "port" among them
    QStringList web;
    QStringList group;
};

// Larger files are refused before they are read: a settings file is a few
// kilobytes, and /dev/zero is not one.
constexpr qint64 kLargestConfigFile = 1024 * 1024;

struct ConfigRead {
    std::optional<ConfigFile> file;
    QString error; // when there is no file: what is wrong, and where
};

ConfigRead readConfigFile(const QString &path, const ConfigKeys &keys);

// A file holding one secret (the broker password, the web token, a PJLink
// password) on its first line, read as strictly as the settings file: at
// most kLargestSecretFile bytes (a device that never ends is not read on),
// UTF-8 without NUL; each refusal names the file.
struct SecretRead {
    QByteArray firstLine;          // its line end taken off; empty: the line was empty
    QString error;                 // when it is refused
    bool readableByOthers = false; // group or world may read the file
};

SecretRead readSecretFile(const QString &path);
