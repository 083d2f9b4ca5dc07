// SPDX-License-Identifier: GPL-3.0-or-later
#include "faces/line/line_face.h"

#include "bridge/projector_service.h"
#include "faces/line/line_listener.h"

LineFace::LineFace(const FaceContext &context) : makeTimer_(context.clock.makeTimer)
{
    ProjectorService &projectors = context.projectors;
    for (ProjectorLink *projector : projectors.projectors())
        addProjector(projector, *projectors.endpoint(projector->id()));
    connect(&projectors, &ProjectorService::projectorAdded, this, &LineFace::addProjector);
    connect(&projectors, &ProjectorService::projectorRemoved, this, &LineFace::removeProjector);
}

LineFace::~LineFace()
{
    stop();
}

bool LineFace::start(QString *error)
{
    started_ = true;
    for (const auto &[projector, listener] : listeners_)
        if (!listener->listen(error))
            return false;
    return true;
}

void LineFace::stop()
{
    started_ = false;
    for (const auto &[projector, listener] : listeners_)
        delete listener;
    listeners_.clear();
}

void LineFace::addProjector(ProjectorLink *projector, const ProjectorEndpoint &endpoint)
{
    if (!endpoint.line)
        return;
    auto *listener = new LineListener(*projector, *endpoint.line, this, makeTimer_);
    connect(listener, &LineListener::log, this, &LineFace::log);
    listeners_[projector] = listener;
    // Added by a reload: the address was free a moment ago, or it was
    // another's; either way the bridge runs on for the others.
    QString error;
    if (started_ && !listener->listen(&error))
        emit log(error);
}

void LineFace::removeProjector(ProjectorLink *projector)
{
    const auto found = listeners_.find(projector);
    if (found == listeners_.end())
        return;
    delete found->second;
    listeners_.erase(found);
}
