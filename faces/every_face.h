// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The faces velno-bridge serves its projectors through, in the order they
// start: the one place that knows them all.

class BridgeService;

void addEveryFace(BridgeService &bridge);
