// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a session reported, in order, one line per signal: "sent| C 1 E CR ",
// "received| 0 0 CR ", "status| Power ON", "no reply", "monitor cleared",
// "traffic cleared", "error|...", "port opened", "port closed", "port lost|...".

#include "protocol/traffic_rendering.h"
#include "session/panel_session.h"

#include <QObject>
#include <QStringList>

class SessionLog {
public:
    explicit SessionLog(PanelSession &session)
    {
        using S = PanelSession;
        auto line = [this](const char *what) { return [this, what] { lines_ << QLatin1String(what); }; };
        auto with = [this](const char *what) {
            return [this, what](const QString &text) {
                lines_ << QLatin1String(what) + QLatin1Char('|') + text;
            };
        };
        QObject::connect(
            &session, &S::lineSent, &context_,
            [this](const QString &, const QString &rendering) { lines_ << "sent|" + rendering; });
        QObject::connect(&session, &S::received, &context_,
                         [this](const QString &text) { lines_ << "received|" + trafficRendering(text); });
        QObject::connect(&session, &S::statusDecoded, &context_, with("status"));
        QObject::connect(&session, &S::noReply, &context_, line("no reply"));
        QObject::connect(&session, &S::monitorCleared, &context_, line("monitor cleared"));
        QObject::connect(&session, &S::trafficCleared, &context_, line("traffic cleared"));
        QObject::connect(&session, &S::error, &context_, with("error"));
        QObject::connect(&session, &S::portOpened, &context_, line("port opened"));
        QObject::connect(&session, &S::portClosed, &context_, line("port closed"));
        QObject::connect(&session, &S::portLost, &context_, with("port lost"));
    }

    // The lines since the last take, which forgets them.
    QStringList take()
    {
        QStringList out;
        out.swap(lines_);
        return out;
    }
    const QStringList &lines() const { return lines_; }

private:
    QObject context_;
    QStringList lines_;
};
