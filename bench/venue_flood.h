// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// venue_bench --flood: what anyone allowed to publish can throw at a running
// bridge, second after second: Home Assistant's birth message, stray wills
// on the bridge's own availability, retained messages far larger than the
// bridge takes on its projectors' command topics. Reports the bridge's
// resident memory and the messages it published in answer, before and after.

class BridgeRun;
class Gate;
class MessageCollector;
class MosquittoBroker;
class VenueFleet;

// Prints the goals, each a check of the gate (every one holds on any
// machine); 0 when the run went through, 3 when the rig did not come up.
int runFlood(const MosquittoBroker &broker, MessageCollector &client, const VenueFleet &fleet,
             const BridgeRun &bridge, int seconds, Gate &gate);
