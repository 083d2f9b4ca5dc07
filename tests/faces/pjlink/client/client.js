// SPDX-License-Identifier: GPL-3.0-or-later
// Drives the npm PJLink client against one PJLink device and prints one
// JSON line per step: {"step", "error", "value"}. The test decides what is
// right; this only reports what the client saw.
// Usage: node client.js HOST PORT PASSWORD WRONG_PASSWORD
'use strict';
const PJLink = require('pjlink');

const [host, portText, password, wrongPassword] = process.argv.slice(2);
const port = Number(portText);
const device = new PJLink(host, port, password);

// One client call as a promise: resolves with [error message or null, values].
function call(client, method, ...args) {
    return new Promise((resolve) => {
        client[method](...args, (error, ...values) => {
            resolve([error ? error.message : null, values.length <= 1 ? values[0] : values]);
        });
    });
}

async function step(name, client, method, ...args) {
    const [error, value] = await call(client, method, ...args);
    console.log(JSON.stringify({step: name, error, value: value === undefined ? null : value}));
    return [error, value];
}

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

async function main() {
    await step('class', device, 'getClass');
    await step('name', device, 'getName');
    await step('power before', device, 'getPowerState');
    await step('power on', device, 'powerOn');
    await step('power on while warming', device, 'powerOn');
    // Warm-up ends on its own; ask until it has (bounded by the test's timeout).
    let state = null;
    for (let i = 0; i < 100 && state !== 1; ++i) {
        [, state] = await call(device, 'getPowerState');
        if (state !== 1)
            await sleep(100);
    }
    console.log(JSON.stringify({step: 'power after warm-up', error: null, value: state}));
    await step('input pc2', device, 'setInput', '12');
    await step('input', device, 'getInput');
    await step('inputs', device, 'getInputs');
    await step('mute both', device, 'setMute', {video: true, audio: true});
    await step('mute', device, 'getMute');
    await step('lamps', device, 'getLamps');
    await step('errors', device, 'getErrors');
    await step('manufacturer', device, 'getManufacturer');
    await step('model', device, 'getModel');
    device.disconnect();

    const intruder = new PJLink(host, port, wrongPassword);
    await step('wrong password', intruder, 'getClass');
    intruder.disconnect();
}

main().then(() => process.exit(0), (error) => {
    console.error(error);
    process.exit(1);
});
