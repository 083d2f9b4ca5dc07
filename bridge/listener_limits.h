// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What any one client of the bridge's listeners (the web page and API, the
// shared lines, PJLink) may take of it, in one place: whatever a client
// sends, or leaves unread, or holds open, it cannot exhaust the memory or
// the descriptors, nor lock the others out. Each limit, when it bites, is
// counted (LimitCounters) and said in the log at most once a minute.

#include <QtGlobal>

namespace listener_limits {

// Connections the kernel completes and holds for a listener before it takes
// them: with Qt's 50, a burst of connects has most handshakes dropped and
// retried for half a minute, and a real client is held up behind them.
inline constexpr int kListenBacklog = 1024;

// ---- Web ----
// Connections at once; the rest are refused at once ("503") and closed.
inline constexpr int kMostWebConnections = 64;
// Of which long-lived event streams (the page's live updates).
inline constexpr int kMostEventStreams = 16;
// A request's head (request line and headers) must be complete this soon
// after the connection opened or the previous answer went out.
inline constexpr int kRequestHeadMs = 5000;
// A kept-alive connection with no request under way is closed after this.
inline constexpr int kKeepAliveIdleMs = 15000;
inline constexpr qint64 kLargestRequestHead = 16 * 1024;
// A command is a few dozen bytes.
inline constexpr qint64 kLargestRequestBody = 4096;

// ---- Every client ----
// Answers written and not yet read by the client; beyond this it is let go.
inline constexpr qint64 kMostUnreadBytes = 64 * 1024;

// ---- Shared lines ----
// Clients at once per projector; more are told the port is in use.
inline constexpr int kMostLineClients = 8;
// Far longer than any command, short enough that a stream of junk costs
// nothing.
inline constexpr int kLongestLine = 256;
// A client that sends no line this long has been forgotten.
inline constexpr int kLineIdleMs = 10 * 60 * 1000;
// Commands of one client waiting or running on its projector at once, so
// that the projector's queue keeps room for the others and the poll.
inline constexpr int kMostCommandsPerLineClient = 4;

// ---- PJLink ----
// A session that has not logged in yields after this, or at once to a new
// connection when every session is taken.
inline constexpr int kPreLoginMs = 5000;
// After a wrong password, the next try from that address waits this long,
// doubling with each wrong one up to the cap; a right one clears it.
inline constexpr int kFirstGuessDelayMs = 250;
inline constexpr int kLongestGuessDelayMs = 8000;

// ---- Secret files (passwords, tokens) ----
inline constexpr qint64 kLargestSecretFile = 4096;

} // namespace listener_limits
