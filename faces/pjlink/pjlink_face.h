// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The bridge's PJLink face: each projector with `pjlink = HOST:PORT` is a
// PJLink Class 1 device on its own listener, following the projectors a
// reload adds, changes and removes. A few sessions at a time per
// projector: a new one makes the oldest that has not logged in yield, and
// is closed at once only when every session has logged in. Every refusal
// is logged, throttled, and each limit's bites counted.

#include "bridge/bridge_face.h"

#include <memory>

std::unique_ptr<BridgeFace> makePjlinkFace(const FaceContext &context);
