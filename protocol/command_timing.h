// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How a command times the monitor when it is sent: the shapes of the
// panel's senders.

enum class CommandTiming {
    Plain,       // sends under the intervals in force
    Short,       // image modes and typed queries: the short reply window first
    Long,        // input terminals and signals: the long reply window first
    ArrowArming, // after the send, the direction pad repeats every 200 ms
    Hold,        // repeats while held
};
