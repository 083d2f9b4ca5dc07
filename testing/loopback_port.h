// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A TCP port on 127.0.0.1 that nothing listens on just now, for a program
// under test to listen on (0 when none could be found). Another process may
// take it meanwhile: the caller retries or fails clearly.

#include <QtGlobal>

quint16 unusedLoopbackPort();
