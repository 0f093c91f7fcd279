// The voice panel in a headless Chromium: forms a party through the
// stand-in pane, mutes a member and moves a volume slider, and checks that
// the plugin took the PUTs, the voice-chat stand-in saw them, and the panel
// updated from the event stream. Saves a screenshot.
// Usage: node panel-test.mjs PLUGIN_HOST SCREENSHOT
import { spawn } from "node:child_process";
import { mkdtempSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { chromium } from "playwright-core";

const [pluginHost, screenshot] = process.argv.slice(2);
const browserPath = process.env.CHROMIUM || "/usr/bin/chromium";
const scratch = mkdtempSync(join(tmpdir(), "panel-test-"));
const timeout = 20000;

function fail(message) {
  console.error("panel test: " + message);
  process.exitCode = 1;
}

const server = spawn(pluginHost, ["serve", "--port", "0", "--data", join(scratch, "data")],
                     { stdio: ["ignore", "pipe", "inherit"] });
const port = await new Promise((resolve, reject) => {
  let text = "";
  const timer = setTimeout(() => reject(new Error("the server did not start")), timeout);
  server.stdout.on("data", (chunk) => {
    text += chunk;
    const found = text.match(/http:\/\/127\.0\.0\.1:(\d+)\//);
    if (found) {
      clearTimeout(timer);
      resolve(Number(found[1]));
    }
  });
  server.on("exit", () => reject(new Error("the server exited: " + text)));
});
const base = `http://127.0.0.1:${port}`;

let context;
try {
  context = await chromium.launchPersistentContext(join(scratch, "profile"), {
    executablePath: browserPath,
    headless: true,
    args: ["--headless", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
           "--disable-component-update", "--disable-sync", "--no-first-run"],
    viewport: { width: 1400, height: 900 },
    timeout,
  });
  const page = context.pages()[0] || await context.newPage();
  page.setDefaultTimeout(timeout);
  await page.goto(base + "/");
  await page.waitForSelector("#connection.on");

  // The stand-in pane: sign in, a party of three, Bram joins the channel.
  await page.click('[data-world="sign-in"]');
  await page.fill("#party-size", "3");
  await page.click("#form-party");
  await page.waitForSelector('#members tr[data-player="1"] .in-party:checked');
  await page.check('#members tr[data-player="1"] .in-voice');
  // The participant list comes from the event stream.
  const bram = '#participants tr[data-puuid="puuid-1"]';
  await page.waitForSelector(bram);

  const mutePut = page.waitForResponse((r) => r.url().endsWith("/participants/puuid-1/mute") &&
                                              r.request().method() === "PUT");
  await page.check(bram + " .mute");
  if ((await mutePut).status() !== 200) fail("the mute PUT was not accepted");

  const volumePut = page.waitForResponse((r) => r.url().endsWith("/participants/puuid-1/volume") &&
                                                r.request().method() === "PUT");
  await page.$eval(bram + " .volume", (slider) => {
    slider.value = "30";
    slider.dispatchEvent(new Event("input"));
    slider.dispatchEvent(new Event("change"));
  });
  const volume = await volumePut;
  if (volume.status() !== 200) fail("the volume PUT was not accepted");
  if (volume.request().postData() !== "30") fail("the volume PUT sent " + volume.request().postData());

  // The stand-in's note and the plugin's event reached the panel.
  await page.waitForFunction(() =>
    document.getElementById("log-lines").textContent.includes("voice-chat: puuid-1 volume 30, muted"));
  await page.waitForFunction((row) => {
    const r = document.querySelector(row);
    return r && r.querySelector(".mute").checked && r.querySelector("output").textContent === "30";
  }, bram);

  // The voice-chat stand-in holds what the plugin asked for.
  const world = await (await fetch(base + "/host/world")).json();
  const member = world.party.find((m) => m.puuid === "puuid-1");
  if (!member || member.volume !== 30 || member.muted !== true) {
    fail("the voice-chat stand-in has " + JSON.stringify(member));
  }
  await page.screenshot({ path: screenshot, fullPage: true });
  console.log("panel test: party formed, mute and volume reached the voice-chat stand-in; " +
              "screenshot in " + screenshot);
} catch (error) {
  fail(error.message);
} finally {
  if (context) await context.close();
  server.kill("SIGTERM");
  rmSync(scratch, { recursive: true, force: true });
}
