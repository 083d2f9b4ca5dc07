// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The bridge's face for clients of the projectors' own protocol: a shared
// line for each projector whose settings name one, opened and closed as
// projectors come and go with the settings.

#include "bridge/bridge_face.h"

#include <memory>

std::unique_ptr<BridgeFace> makeLineFace(const FaceContext &context);
