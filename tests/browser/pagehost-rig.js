// Test equipment shared by the browser test and the page-host benchmark: starts the Win32 client
// in page-host mode under the build's Wine prefix from a private copy of the program folder, and
// opens the distribution's Chromium through playwright-core.
"use strict";
const fs = require("fs");
const net = require("net");
const path = require("path");
const { spawn } = require("child_process");

const chromiumPath = process.env.APPFRAME_CHROMIUM || "/usr/bin/chromium";
const kSkip = 77;

function skipUnlessReady() {
  let missing = "";
  if (!fs.existsSync(chromiumPath)) missing = chromiumPath;
  try {
    require.resolve("playwright-core");
  } catch (e) {
    missing = "playwright-core (npm ci in tests/browser)";
  }
  if (!missing) return;
  if (process.env.CI) throw new Error("missing " + missing);
  console.log("SKIPPED: missing " + missing);
  process.exit(kSkip);
}

function until(test, patienceMs, what) {
  const end = Date.now() + patienceMs;
  return new Promise((resolve, reject) => {
    const look = () => {
      let v;
      try {
        v = test();
      } catch (e) {
        return reject(e);
      }
      if (v) return resolve(v);
      if (Date.now() > end) return reject(new Error("timed out waiting for " + what));
      setTimeout(look, 50);
    };
    look();
  });
}

// The client of a private program folder BUILD_DIR/pagehost/TAG/program, with a fresh
// application id so it never meets another running client.
// Without a transcript when options.transcript is false (the benchmark: the stand-in writes each
// line by opening the file).
async function startClient(sourceDir, buildDir, tag, options = {}) {
  const folder = path.join(buildDir, "pagehost", tag);
  const program = path.join(folder, "program");
  fs.rmSync(folder, { recursive: true, force: true });
  fs.cpSync(path.join(buildDir, "program"), program, {
    recursive: true,
    filter: (src) => !/(\.log|\.jsonl|PageHost\.url|[\\/]Temp)$/.test(src),
  });
  const manifest = JSON.parse(fs.readFileSync(path.join(program, "MainFest.cfg"), "utf8"));
  manifest.AppID = "PageHost-" + tag;
  fs.writeFileSync(path.join(program, "MainFest.cfg"), JSON.stringify(manifest));
  const prefix = path.join(buildDir, "wineprefix");
  // The push-message library is loaded only from the Windows drive's Corvane\ZRPNS folder.
  const pns = path.join(prefix, "drive_c", "Corvane", "ZRPNS");
  fs.mkdirSync(pns, { recursive: true });
  fs.copyFileSync(path.join(program, "ZRPNSApi.dll"), path.join(pns, "ZRPNSApi.dll"));
  const transcript = path.join(program, "transcript.jsonl");
  const demo = path.join(sourceDir, "tools", "client-demo");
  const env = Object.assign({}, process.env, {
    APPFRAME_PAGEHOST: "1",
    APPFRAME_STUB_PARAMS: "Z:" + path.join(demo, "browser-params.json"),
    APPFRAME_STUB_TRANSCRIPT: options.transcript === false ? "" : "Z:" + transcript,
    APPFRAME_STUB_ACCOUNTS: "Z:" + path.join(demo, "accounts.json"),
    APPFRAME_STUB_PNS_STORE: "Z:" + path.join(demo, "messages.json"),
  });
  const child = spawn(path.join(sourceDir, "tools", "wine-run.sh"), [prefix, path.join(program, "AppFrameMain.exe")],
    { env, stdio: ["ignore", "pipe", "inherit"] });
  let exitCode = null;
  const exit = new Promise((resolve) => child.on("exit", (code) => { exitCode = code; resolve(code); }));
  child.stdout.on("data", (d) => process.stdout.write("client: " + d));
  const urlFile = path.join(program, "PageHost.url");
  const address = await until(() => exitCode === null && fs.existsSync(urlFile) &&
    fs.readFileSync(urlFile, "utf8").trim(), 60000, "the page host's address").catch((e) => {
    if (exitCode === null) child.kill();
    throw e;
  });
  return {
    address,
    program,
    // Whole lines only: the client may be writing the last one.
    transcript: () => fs.readFileSync(transcript, "utf8").split("\n").slice(0, -1).map((l) => JSON.parse(l)),
    exited: (patienceMs) => Promise.race([exit, new Promise((r) => setTimeout(() => r("still running"), patienceMs))]),
    stop: () => { if (exitCode === null) child.kill(); },
  };
}

async function openBrowser() {
  const { chromium } = require("playwright-core");
  return chromium.launch({
    executablePath: chromiumPath,
    headless: true,
    args: ["--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage"],
  });
}

// Sends raw request bytes and answers the response's status code (0 when there was none).
function rawRequest(port, text) {
  return new Promise((resolve) => {
    const socket = net.connect(Number(port), "127.0.0.1");
    let got = "";
    socket.on("connect", () => socket.write(text));
    socket.on("data", (d) => {
      got += d.toString("latin1");
      const m = /^HTTP\/1\.1 (\d{3})/.exec(got);
      if (m) { socket.destroy(); resolve(Number(m[1])); }
    });
    socket.on("error", () => resolve(0));
    socket.on("close", () => resolve(0));
  });
}

module.exports = { startClient, openBrowser, rawRequest, skipUnlessReady, until };
