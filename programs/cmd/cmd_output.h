// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How velno-cmd prints: the monitor's three lines, or one JSON object a line.

#include <QString>

struct ExchangeResult;

QString plainLines(const ExchangeResult &result);
QString jsonLine(const ExchangeResult &result);
// One member of a group: "ID: answered", "ID: refused by the projector"...
QString memberLine(const QString &projectorId, const ExchangeResult &result);
// Every command: name, code and what it does, one a line.
QString commandListing();
