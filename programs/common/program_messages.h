// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a program says about itself, said the same way by every program: its
// help and version on stdout; usage errors and log lines on stderr, each
// after the program's name.

#include <QString>

// A usage error's exit status, in every program.
inline constexpr int kUsageErrorStatus = 2;

// Names the program (for the lines below and for Qt) and gives it the
// build's one version. First thing in main; needs no application object.
void identifyProgram(const QString &name);

// TEXT on stdout as it stands: a help text or a listing ends its own lines.
void printText(const QString &text);

// "NAME VERSION" on stdout.
void printVersion();

// "NAME: PROBLEM", then the usage, on stderr; returns kUsageErrorStatus.
int reportUsageError(const QString &problem, const QString &usage);

// LINE with its C0 and C1 control characters and DEL spelled out: CR and
// LF as \r and \n, the others as \xNN (two lower-case hex digits).
QString escapedControls(const QString &line);

// "NAME: LINE" on stderr at once, its control characters escaped: a line
// of the program's log, or why it failed.
void logLine(const QString &line);
