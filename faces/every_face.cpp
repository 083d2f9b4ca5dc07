// SPDX-License-Identifier: GPL-3.0-or-later
#include "faces/every_face.h"

#include "bridge/bridge_service.h"
#include "faces/line/line_face.h"
#include "faces/mqtt/mqtt_face.h"
#include "faces/pjlink/pjlink_face.h"
#include "faces/web/web_face.h"

void addEveryFace(BridgeService &bridge)
{
    bridge.addFace(makeLineFace(bridge.faceContext()));
    bridge.addFace(std::make_unique<MqttFace>(bridge.faceContext()));
    bridge.addFace(std::make_unique<WebFace>(bridge.faceContext()));
    bridge.addFace(makePjlinkFace(bridge.faceContext()));
}
