// Page-host mode in the distribution's headless Chromium, the client under Wine:
//  - page call round trip: appframe.call("sys.test") in the page -> its channel (a WebSocket) ->
//    the user-interface thread raises the client's event callback -> the answer set on the call ->
//    back in the page;
//  - native push: the client answers appframe.callback("sys.test") by caller number (message
//    2029, from its task runner thread); the time from the library queuing that event to the
//    page's handler running, by the wall clock both share (the event carries its sending time);
//  - and the whole callback round trip.
// usage (after tools/run-client.sh or a Win32 build, and npm ci in tests/browser):
//   node bench/pagehost_bench.js [calls]        (BUILD_DIR: APPFRAME_BUILD_DIR, default build/win32)
"use strict";
const path = require("path");
const { startClient, openBrowser } = require("../tests/browser/pagehost-rig");

const source = path.resolve(__dirname, "..");
const build = path.resolve(source, process.env.APPFRAME_BUILD_DIR || "build/win32");
const calls = Number(process.argv[2] || 300);

function summary(label, samples) {
  const s = samples.slice().sort((a, b) => a - b);
  const at = (q) => s[Math.min(s.length - 1, Math.floor(q * s.length))];
  console.log(`  ${label.padEnd(46)} median ${at(0.5).toFixed(2).padStart(7)} ms  p90 ${at(0.9).toFixed(2)
    .padStart(7)} ms  min ${s[0].toFixed(2).padStart(6)} ms  (${s.length} samples)`);
}

async function main() {
  const client = await startClient(source, build, "bench", { transcript: false });
  const browser = await openBrowser();
  try {
    const page = await browser.newPage();
    await page.goto(client.address);
    await page.evaluate(() => appframe.ready);
    const figures = await page.evaluate(async (n) => {
      const now = () => performance.timeOrigin + performance.now();
      const round = [], push = [], callback = [];
      appframe.on("answer", (d) => push.push(now() - d.sent));
      for (let i = 0; i < 20; ++i) await appframe.call("sys.test", []); // warm-up
      for (let i = 0; i < n; ++i) {
        const t0 = performance.now();
        await appframe.call("sys.test", []);
        round.push(performance.now() - t0);
      }
      push.length = 0;
      for (let i = 0; i < n; ++i) {
        const t0 = performance.now();
        await appframe.callback("sys.test", []);
        callback.push(performance.now() - t0);
      }
      return { round, push, callback };
    }, calls);
    console.log(`page-host mode, headless Chromium, client under Wine (${calls} calls each):`);
    summary("page call round trip (appframe.call)", figures.round);
    summary("native push to the page (2029 -> handler)", figures.push);
    summary("callback round trip (appframe.callback)", figures.callback);
  } finally {
    await browser.close();
    await client.exited(15000);
    client.stop();
  }
}

main().catch((e) => {
  console.error(e);
  process.exit(1);
});
