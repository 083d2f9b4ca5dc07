// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The bridge's face for clients of the projectors' own protocol: a shared
// line for each projector whose settings name one, opened and closed as
// projectors come and go with the settings.

#include "bridge/listeners_face.h"

class LineFace : public ListenersFace {
    Q_OBJECT
public:
    explicit LineFace(const FaceContext &context);

protected:
    std::optional<ListenAddress> addressOf(const ProjectorEndpoint &endpoint) const override;
    bool differ(const ProjectorEndpoint &a, const ProjectorEndpoint &b) const override;
    ProjectorListener *makeListener(ProjectorLink &projector, const ProjectorEndpoint &endpoint) override;
};
