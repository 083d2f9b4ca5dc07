// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What keeps other web sites out of the bridge's API: a page elsewhere
// that a technician happens to visit may make the browser send requests
// here, or a name of its own may be made to point here (DNS rebinding).
// Neither may read anything nor run a command.

#include "bridge/listen_address.h"

#include <QByteArray>
#include <QStringList>

struct HttpRequest;

// Whether the Host header names this bridge as its settings know it: the
// listen address, the loopback's names or one of [web] hosts, with the
// listen port. When it listens on every address, any address given as
// digits is its own (only a name can be made to point elsewhere).
bool hostServed(const QByteArray &host, const ListenAddress &listen, const QStringList &names);

// Why a POST is refused (a cross-site form or script: no JSON, or another
// page's Origin), as the status and text to answer; 0 when it may go on.
struct CrossSiteVerdict {
    int status = 0;
    QByteArray text;
};
CrossSiteVerdict crossSiteCheck(const HttpRequest &request);
