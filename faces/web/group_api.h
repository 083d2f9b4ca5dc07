// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The groups on the JSON API: GET /api/groups lists each group with its
// members and how many are on, off and offline; POST /api/groups/ID/command
// takes the body a projector's command takes and answers once every member
// has ended, with "members" as on the broker.

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <functional>

class ProjectorService;

// [{"id": "east", "members": ["hall", ...], "summary": {"on": 1, "off": 2, "offline": 0, "unknown": 0}}]
QJsonArray groupList(const ProjectorService &projectors);

struct GroupApiRequest {
    QString method; // "GET", "POST"...
    QString rest;   // the path after /api/groups/: "" for the list, "east/command"
    QByteArray body;
};

struct GroupApiAnswer {
    int status = 200;
    QJsonDocument json; // the list, a group's reply, or {"error": ...}
    QByteArray allow;   // set: the method is not allowed, these are
};

// A request under /api/groups, answered once: the list at once; a posted
// command once every member has ended. Its status: when every member's
// outcome has the status one projector's command would have
// (faces/web/command_status.h), that one (200 when all ran); 207 when they
// differ; 400 for a request the group does not take; 404 for no such group.
using GroupApiHandler = std::function<void(const GroupApiAnswer &answer)>;
void groupApiRequest(ProjectorService &projectors, const QString &bridgeName, const GroupApiRequest &request,
                     const GroupApiHandler &done);
