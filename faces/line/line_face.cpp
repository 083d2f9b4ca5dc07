// SPDX-License-Identifier: GPL-3.0-or-later
#include "faces/line/line_face.h"

#include "bridge/listeners_face.h"
#include "faces/line/line_listener.h"

std::unique_ptr<BridgeFace> makeLineFace(const FaceContext &context)
{
    ListenerKind kind;
    kind.addressOf = [](const ProjectorEndpoint &endpoint) { return endpoint.line; };
    kind.differ = [](const ProjectorEndpoint &a, const ProjectorEndpoint &b) { return a.line != b.line; };
    kind.make = [](ProjectorLink &projector, const ProjectorEndpoint &endpoint, const FaceContext &context) {
        return new LineListener(projector, *endpoint.line, context);
    };
    return std::make_unique<ListenersFace>(context, kind);
}
