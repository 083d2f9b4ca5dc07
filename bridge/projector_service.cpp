// SPDX-License-Identifier: GPL-3.0-or-later
#include "bridge/projector_service.h"

#include "bridge/group_settings.h"

#include <utility>

ProjectorService::ProjectorService(QObject *parent, const SessionClock &clock)
    : QObject(parent), clock_(clock)
{
}

void ProjectorService::apply(const BridgeOptions &options)
{
    ProjectorLink::Settings settings;
    settings.pollMs = options.pollSeconds * 1000;
    settings.queueLimit = options.queueLimit;
    std::map<QString, const ProjectorEndpoint *> wanted;
    for (const ProjectorEndpoint &endpoint : options.projectors)
        wanted[endpoint.id] = &endpoint;
    std::vector<QString> gone;
    std::vector<std::pair<QString, const ProjectorEndpoint *>> changed;
    for (const auto &[id, held] : held_) {
        const auto found = wanted.find(id);
        if (found == wanted.end() || found->second->port != held.endpoint.port ||
            !(settings == held.settings))
            gone.push_back(id);
        else if (*found->second != held.endpoint)
            changed.emplace_back(id, found->second);
    }
    for (const QString &id : gone)
        remove(id);
    for (const auto &[id, endpoint] : changed) {
        Held &held = held_.at(id);
        const ProjectorEndpoint before = std::exchange(held.endpoint, *endpoint);
        emit projectorChanged(held.link, before, held.endpoint);
    }
    for (const auto &[id, endpoint] : wanted)
        if (!held_.count(id))
            add(*endpoint, settings);
    QStringList ids;
    for (const auto &[id, held] : held_)
        ids << id;
    std::vector<ProjectorGroup> groups = groupsInForce(options.groups, ids);
    if (groups != groups_) {
        groups_ = std::move(groups);
        emit groupsChanged();
    }
}

const ProjectorGroup *ProjectorService::group(const QString &id) const
{
    const auto found =
        std::find_if(groups_.begin(), groups_.end(), [&](const ProjectorGroup &g) { return g.id == id; });
    return found == groups_.end() ? nullptr : &*found;
}

void ProjectorService::add(const ProjectorEndpoint &endpoint, const ProjectorLink::Settings &settings)
{
    auto *link = new ProjectorLink(endpoint.id, endpoint.port, settings, this, clock_);
    connect(link, &ProjectorLink::log, this, &ProjectorService::log);
    held_[endpoint.id] = {link, endpoint, settings};
    emit projectorAdded(link, endpoint);
    if (started_)
        link->start();
}

void ProjectorService::remove(const QString &id)
{
    const auto found = held_.find(id);
    if (found == held_.end())
        return;
    ProjectorLink *link = found->second.link;
    held_.erase(found);
    emit projectorRemoved(link);
    link->stop(RefusalKind::Removed);
    link->deleteLater();
}

void ProjectorService::start()
{
    started_ = true;
    for (const auto &[id, held] : held_)
        held.link->start();
}

void ProjectorService::stop(RefusalKind why)
{
    started_ = false;
    for (const auto &[id, held] : held_)
        held.link->stop(why);
}

ProjectorLink *ProjectorService::projector(const QString &id) const
{
    const auto found = held_.find(id);
    return found == held_.end() ? nullptr : found->second.link;
}

const ProjectorEndpoint *ProjectorService::endpoint(const QString &id) const
{
    const auto found = held_.find(id);
    return found == held_.end() ? nullptr : &found->second.endpoint;
}

std::vector<ProjectorLink *> ProjectorService::projectors() const
{
    std::vector<ProjectorLink *> all;
    for (const auto &[id, held] : held_)
        all.push_back(held.link);
    return all;
}
