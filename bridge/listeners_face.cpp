// SPDX-License-Identifier: GPL-3.0-or-later
#include "bridge/listeners_face.h"

#include "bridge/projector_service.h"

ListenersFace::ListenersFace(const FaceContext &context, const ListenerKind &kind)
    : context_(context), kind_(kind)
{
    ProjectorService &projectors = context_.projectors;
    for (ProjectorLink *projector : projectors.projectors())
        add(projector, *projectors.endpoint(projector->id()));
    connect(&projectors, &ProjectorService::projectorAdded, this, &ListenersFace::add);
    connect(&projectors, &ProjectorService::projectorRemoved, this, &ListenersFace::remove);
    connect(&projectors, &ProjectorService::projectorChanged, this, &ListenersFace::change);
}

ListenersFace::~ListenersFace() = default;

bool ListenersFace::start(QString *error)
{
    started_ = true;
    for (const auto &[projector, listener] : listeners_)
        if (!listener->listen(error))
            return false;
    return true;
}

void ListenersFace::stopTaking()
{
    for (const auto &[projector, listener] : listeners_)
        listener->stopTaking();
}

void ListenersFace::stop()
{
    started_ = false;
    for (const auto &[projector, listener] : listeners_)
        delete listener;
    listeners_.clear();
}

void ListenersFace::add(ProjectorLink *projector, const ProjectorEndpoint &endpoint)
{
    if (!kind_.addressOf(endpoint))
        return;
    ProjectorListener *listener = kind_.make(*projector, endpoint, context_);
    listener->setParent(this);
    connect(listener, &ProjectorListener::log, this, &ListenersFace::log);
    listeners_[projector] = listener;
    // Added by a reload: the address was free a moment ago, or it was
    // another's; either way the bridge runs on for the others.
    QString error;
    if (started_ && !listener->listen(&error))
        emit log(error);
}

void ListenersFace::remove(ProjectorLink *projector)
{
    const auto found = listeners_.find(projector);
    if (found == listeners_.end())
        return;
    delete found->second;
    listeners_.erase(found);
}

void ListenersFace::change(ProjectorLink *projector, const ProjectorEndpoint &before,
                           const ProjectorEndpoint &now)
{
    if (!kind_.differ(before, now))
        return;
    remove(projector);
    add(projector, now);
}
