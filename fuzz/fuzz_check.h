// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What every fuzz target shares: a check that stops the run with a readable
// reason (libFuzzer then saves the input), the input's text forms, and a
// Qt application for the parsers that need one.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                                                \
    do {                                                                                                     \
        if (!(condition)) {                                                                                  \
            std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #condition);            \
            std::abort();                                                                                    \
        }                                                                                                    \
    } while (false)

namespace fuzz {

inline QByteArray bytes(const std::uint8_t *data, std::size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), qsizetype(size));
}

// Command-line arguments as a program receives them: the input cut at NUL
// bytes, decoded as the locale (UTF-8) would, after the program's own name.
QStringList arguments(const char *program, const std::uint8_t *data, std::size_t size);

// A QCoreApplication for the whole run; QCommandLineParser needs one.
void startCoreApplication(const char *program);

} // namespace fuzz
