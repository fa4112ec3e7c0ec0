// End-to-end test of page-host mode: the real client under Wine serves its demo pages to headless
// Chromium (the distribution's), driven by playwright-core.
//   node pagehost.test.js SOURCE_DIR BUILD_DIR
// Exits 0 when every check passed, 77 (skipped) when Chromium or playwright-core is missing and
// this is not CI, 1 otherwise. Screenshots go to BUILD_DIR/screenshots/browser/.
"use strict";
const assert = require("assert");
const fs = require("fs");
const path = require("path");
const { startClient, openBrowser, rawRequest, skipUnlessReady, until } = require("./pagehost-rig");

const [sourceDir, buildDir] = process.argv.slice(2).map((p) => path.resolve(p));
const shots = path.join(buildDir, "screenshots", "browser");

async function main() {
  skipUnlessReady();
  fs.mkdirSync(shots, { recursive: true });
  const client = await startClient(sourceDir, buildDir, "browser-test");
  let browser;
  try {
    browser = await openBrowser();
    const context = await browser.newContext({ viewport: { width: 900, height: 640 } });
    const page = await context.newPage();
    await page.goto(client.address);
    await page.evaluate(() => appframe.ready);
    // The page's own links carry no secret: the cookie set by the first address serves them.

    // Sign in with the stand-in account, then the user's information on the next page.
    await page.fill("#password", "demo123");
    await page.click("#signin");
    await page.waitForFunction(() => document.getElementById("answer").textContent.length > 0);
    await page.screenshot({ path: path.join(shots, "sign-in.png") });
    // A named request, and a modal form the client shows: the main page opens it as a page.
    assert.match(await page.evaluate(() => appframe.request("appKey")), /appkey/i);
    const [login] = await Promise.all([context.waitForEvent("page"), page.click("#openLogin")]);
    await login.waitForURL(/\/Forms\/MainForm1\.html$/);
    await login.evaluate(() => appframe.ready);
    await login.screenshot({ path: path.join(shots, "login-form.png") });
    // Not awaited in the page: it closes before the evaluation could answer.
    await Promise.all([login.waitForEvent("close"), login.evaluate(() => { appframe.close(1); })]);
    const modal = await until(() => client.transcript().find((l) => l.kind === "formShowModal"), 10000, "the modal");
    assert.strictEqual(modal.result, 1);
    await page.click("text=User");
    await page.waitForFunction(() => document.getElementById("userinfor").textContent.includes("演示用户"));
    await page.waitForFunction(() => document.getElementById("header").textContent.length > 0);
    await page.screenshot({ path: path.join(shots, "user.png") });
    console.log("ok - signed in, a named request answered, the client's modal login form shown and closed " +
      "with its result, the user's information and header shown");

    // msg.GetMessage answers by caller number and schedules a background fetch, which pushes
    // "MessageNotify" into the page that registered it: no reload.
    await page.click("text=Messages");
    await page.evaluate(() => appframe.ready);
    await page.evaluate(() => { window.notReloaded = true; });
    await page.click("#fetch");
    await page.waitForSelector('li[data-origin="GetMessage"]');
    await page.waitForSelector('li[data-origin="MessageNotify"]');
    assert.strictEqual(await page.evaluate(() => window.notReloaded), true);
    const titles = await page.$$eval("li", (items) => items.map((li) => li.textContent));
    assert.ok(titles.some((t) => t.includes("申报期提醒") && t.includes("GetMessage")), titles.join("\n"));
    assert.ok(!titles.some((t) => t.includes("已撤回")), "a discarded message was listed");
    await page.screenshot({ path: path.join(shots, "messages.png") });
    console.log("ok - msg.GetMessage listed the messages; the pushed ones appeared without a reload");

    // A script from native code (message 6036) runs in the main page; its error text comes back.
    await page.click("text=sys.*");
    await page.evaluate(() => appframe.ready);
    await page.click("#enc");
    await page.waitForFunction(() => /^[0-9A-Fa-f]{16,}$/.test(document.getElementById("sysout").textContent));
    await page.click("#dec");
    await page.waitForFunction(() => document.getElementById("sysout").textContent === "你好，世界");
    await page.click("#run");
    await page.waitForFunction(() => document.getElementById("scriptout").textContent === "ran");
    assert.strictEqual(await page.title(), "ran by native code");
    await page.fill("#script", "throw new Error('boom from native')");
    await page.click("#run");
    await page.waitForFunction(() => document.getElementById("scriptout").textContent.length > 3 &&
      document.getElementById("scriptout").textContent !== "ran");
    assert.strictEqual(await page.textContent("#scriptout"), "Uncaught Error: boom from native");
    await page.screenshot({ path: path.join(shots, "sys.png") });
    console.log("ok - sys.Enc/Dec round trip; a native script ran, a failing one sent its error text back");

    // A pop-up is a page of its own, at the address the client chose for it. Native code runs a
    // script in it by message 2025, answered 100 ("ran") only when the page ran it. A reload keeps
    // its form; closing its window by hand closes the form, and the client keeps answering (below).
    const [popup] = await Promise.all([context.waitForEvent("page"), page.click("#popup")]);
    await popup.waitForURL(/\/Forms\/DemoPopup\.html\?url=/);
    await popup.waitForFunction(() => document.getElementById("target").textContent.length > 0);
    assert.strictEqual(await popup.textContent("#target"), "https://etax.example/page?id=1");
    await popup.screenshot({ path: path.join(shots, "popup.png") });
    const popupForm = client.transcript().filter((l) => l.kind === "popupForm").pop().form;
    const runInPopup = (script) => popup.evaluate((s) => appframe.call("ServiceLib.RunPageScript", [s]), script);
    assert.strictEqual(await runInPopup("document.title = 'ran by 2025'"), "ran");
    assert.strictEqual(await popup.title(), "ran by 2025");
    assert.strictEqual(await runInPopup("throw new Error('boom in the pop-up')"), "not run");
    await popup.reload();
    await popup.waitForFunction(() => document.getElementById("target").textContent.length > 0);
    await popup.waitForTimeout(1500); // past the grace period after which a page counts as closed
    assert.strictEqual(await runInPopup("document.title = 'reloaded'"), "ran");
    await popup.close();
    await until(() => client.transcript().find((l) => l.kind === "pageHostPageGone" && l.form === popupForm),
      10000, "the pop-up's form closing");
    console.log("ok - a pop-up opened as its own page; native scripts (2025) ran in it or failed; " +
      "a reload kept its form, closing it by hand closed the form");

    // Requests from elsewhere are refused and change nothing; the client keeps answering.
    const u = new URL(client.address);
    const key = u.searchParams.get("k");
    const webId = await page.evaluate(() => appframe.webId);
    const host = `Host: 127.0.0.1:${u.port}\r\n`;
    const upgrade = "Upgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Version: 13\r\n" +
      "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n";
    const channel = (query) => `GET /_af/channel?w=${webId}&p=intruder${query} HTTP/1.1\r\n`;
    const before = client.transcript().length;
    const refused = {
      "channel without secret": await rawRequest(u.port, channel("") + host + upgrade + "\r\n"),
      "channel from a foreign Origin": await rawRequest(u.port,
        channel(`&k=${key}`) + host + "Origin: http://evil.example\r\n" + upgrade + "\r\n"),
      "channel for a foreign Host": await rawRequest(u.port,
        channel(`&k=${key}`) + `Host: evil.example:${u.port}\r\n` + upgrade + "\r\n"),
      "page without secret": await rawRequest(u.port, `GET /w/${webId}/Forms/DemoSys.html HTTP/1.1\r\n${host}\r\n`),
      "malformed request": await rawRequest(u.port, `GET /_af/channel HTTP/1.1\r\n${host}Bad header line\r\n\r\n`),
      "oversized request": await rawRequest(u.port,
        `POST /w/${webId}/Forms/DemoSys.html?k=${key} HTTP/1.1\r\n${host}Content-Length: 2000000\r\n\r\n`),
    };
    const expected = { "channel without secret": 403, "channel from a foreign Origin": 403,
      "channel for a foreign Host": 421, "page without secret": 403, "malformed request": 400, "oversized request": 413 };
    for (const [what, status] of Object.entries(expected))
      assert.strictEqual(refused[what], status, `${what}: ${refused[what]}`);
    // A call whose value does not fit its type code is refused by the channel, never raised.
    const badCall = await page.evaluate(() => appframe.call("sys.Enc", [[4, 12345678]]).then(() => "answered",
      (e) => e.message));
    assert.strictEqual(badCall, "value 0 does not fit its type code");
    const after = client.transcript().slice(before);
    assert.deepStrictEqual(after.filter((l) => l.kind === "eventDone" || l.kind === "result"), [],
      "a refused request reached the client");
    assert.strictEqual(after.filter((l) => l.kind === "pageHostRefused").length, 6);
    assert.strictEqual(await page.evaluate(() => appframe.call("sys.test", [])), "这是Test的返回值");
    console.log("ok - refused: " + Object.entries(refused).map(([w, s]) => `${w} ${s}`).join(", ") +
      `, a mistyped call ("${badCall}"); the client still answers`);

    // Closing the main page ends the client.
    await browser.close();
    browser = null;
    assert.strictEqual(await client.exited(20000), 0, "the client did not end after its main page closed");
    console.log("ok - the client ended after its main page closed");
  } finally {
    client.stop();
    // A browser that does not close in time must not keep a failed test from reporting.
    if (browser) await Promise.race([browser.close().catch(() => {}), new Promise((r) => setTimeout(r, 10000))]);
  }
}

main().then(() => process.exit(0), (e) => {
  console.error("FAILED:", e && e.stack ? e.stack : e);
  process.exit(1);
});
