// SPDX-License-Identifier: GPL-3.0-or-later
#include "faces/line/line_face.h"

#include "bridge/bridge_options.h"
#include "faces/line/line_listener.h"

LineFace::LineFace(const FaceContext &context) : ListenersFace(context)
{
    followProjectors();
}

std::optional<ListenAddress> LineFace::addressOf(const ProjectorEndpoint &endpoint) const
{
    return endpoint.line;
}

bool LineFace::differ(const ProjectorEndpoint &a, const ProjectorEndpoint &b) const
{
    return a.line != b.line;
}

ProjectorListener *LineFace::makeListener(ProjectorLink &projector, const ProjectorEndpoint &endpoint)
{
    return new LineListener(projector, *endpoint.line, clock().makeTimer);
}
