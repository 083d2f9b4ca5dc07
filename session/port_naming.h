// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QString>
#include <functional>

// The device behind a port number. On Windows "COMn"; elsewhere the
// environment variable VELNO_COMn names the device when set (a USB adapter, a
// pseudo-terminal, a socket:// device server), otherwise /dev/ttyS(n-1).
using EnvironmentLookup = std::function<QString(const QString &name)>;

QString portDeviceName(int portNumber, const EnvironmentLookup &environment);

// The process environment, as an EnvironmentLookup.
EnvironmentLookup processEnvironment();

// The panel's two numbered ports.
constexpr int kLowestPortNumber = 1;
constexpr int kHighestPortNumber = 2;
