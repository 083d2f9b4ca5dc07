// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The bridge's PJLink face: each projector with `pjlink = HOST:PORT` is a
// PJLink Class 1 device on its own listener, following the projectors a
// reload adds, changes and removes. A few sessions at a time per
// projector; more are closed at once, and every refusal is logged,
// throttled.

#include "bridge/bridge_face.h"

#include <memory>

std::unique_ptr<BridgeFace> makePjlinkFace(const FaceContext &context);
