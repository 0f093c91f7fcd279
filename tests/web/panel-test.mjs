// The voice panel in a headless Chromium: forms a party through the
// stand-in pane, mutes a member and moves a volume slider, and checks that
// the plugin took the PUTs, the voice-chat stand-in saw them, and the panel
// updated from the event stream. Checks what the panel shows: the capture
// device after a settings event, the user's own row without controls,
// availability in words, one log line per change, nothing cut off at 800 px.
// All of it is recorded with the panel's Record switch; the downloaded
// scenario must play back with `plugin-host run`. Saves a screenshot.
// Usage: node panel-test.mjs PLUGIN_HOST SCREENSHOT
import { spawn, spawnSync } from "node:child_process";
import { existsSync, mkdtempSync, readdirSync, rmSync } from "node:fs";
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

  // Everything from here on is recorded.
  await page.check("#record");
  await page.waitForFunction(() => document.getElementById("record-state").textContent.startsWith("recording"));

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

  // The user's own row is there, without mute or volume.
  const own = '#participants tr[data-puuid="puuid-0"]';
  await page.waitForSelector(own);
  if (await page.$(own + " .mute, " + own + " .volume")) fail("the user's own row has controls");

  // Availability reads as labelled states, not as colour alone.
  const flags = await page.$$eval("#availability li", (items) =>
    items.map((li) => ({ flag: li.dataset.flag, text: li.textContent })));
  const enabled = flags.find((f) => f.flag === "enabled");
  if (flags.length < 6 || !flags.every((f) => / (on|off)$/.test(f.text)) || !enabled ||
      enabled.text !== "Voice enabled: on") {
    fail("availability shows " + JSON.stringify(flags));
  }

  const eventLines = () => page.$$eval("#log-lines .kind-event", (lines) =>
    lines.map((l) => ({ text: l.querySelector(".text").textContent,
                        payload: [...l.querySelectorAll("details pre")].map((p) => p.textContent) })));
  const linesBefore = (await eventLines()).length;
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

  // One readable line for the change, its payload folded under it.
  await page.waitForFunction((count) =>
    document.querySelectorAll("#log-lines .kind-event").length > count, linesBefore);
  const added = (await eventLines()).slice(linesBefore).filter((l) => l.text.includes("participant"));
  if (added.length !== 1 || !/Bram: volume \d+ → 30/.test(added[0].text) || added[0].text.includes("[{") ||
      !added[0].payload.some((p) => p.includes('"participantId"'))) {
    fail("the volume change was logged as " + JSON.stringify(added));
  }

  // A settings event (the mic level) leaves the current capture device selected.
  const settingsEvent = page.waitForFunction(() =>
    [...document.querySelectorAll("#log-lines .kind-event .text")].some((l) => l.textContent.includes("micLevel")));
  await page.$eval("#mic-level", (slider) => {
    slider.value = "20";
    slider.dispatchEvent(new Event("change"));
  });
  await settingsEvent;
  const devices = await (await fetch(base + "/tav-premade-voice/v1/capturedevices")).json();
  const current = devices.find((d) => d.is_current_device);
  const shown = await page.$eval("#devices", (select) => ({ value: select.value, options: select.options.length }));
  if (!current || shown.value !== current.handle || shown.options !== devices.length) {
    fail("after a settings event the device list shows " + JSON.stringify(shown) + " of " + JSON.stringify(devices));
  }

  // A clock move, and "Party of N" follows the party.
  await page.click("#advance");
  await page.click('#members tr[data-player="3"] .in-party');
  await page.waitForFunction(() => document.getElementById("party-size").value === "4");

  // The voice-chat stand-in holds what the plugin asked for.
  const world = await (await fetch(base + "/host/world")).json();
  const member = world.party.find((m) => m.puuid === "puuid-1");
  if (!member || member.volume !== 30 || member.muted !== true) {
    fail("the voice-chat stand-in has " + JSON.stringify(member));
  }
  await page.screenshot({ path: screenshot, fullPage: true });

  // At 800 px nothing sticks out of the page or out of its card.
  await page.setViewportSize({ width: 800, height: 900 });
  const cut = await page.evaluate(() => {
    const width = document.documentElement.clientWidth;
    const problems = [];
    if (document.documentElement.scrollWidth > width) problems.push("page " + document.documentElement.scrollWidth);
    for (const control of document.querySelectorAll(".card input, .card select, .card button")) {
      const box = control.getBoundingClientRect();
      const card = control.closest(".card").getBoundingClientRect();
      if (box.width > 0 && (box.right > card.right + 0.5 || box.right > width)) {
        problems.push((control.id || control.className || control.tagName) + " ends at " + box.right);
      }
    }
    return problems;
  });
  if (cut.length) fail("at 800 px: " + cut.join(", "));

  // The recording: stopped, downloaded, written under --data, played back.
  await page.uncheck("#record");
  await page.waitForSelector("#record-download:not([hidden])");
  const download = page.waitForEvent("download");
  await page.click("#record-download");
  const scenario = join(scratch, "recorded.yaml");
  await (await download).saveAs(scenario);
  const written = readdirSync(join(scratch, "data", "recordings"));
  if (written.length !== 1 || !written[0].endsWith(".yaml")) fail("the data folder holds " + written);
  const played = spawnSync(pluginHost, ["run", scenario], { encoding: "utf8" });
  if (played.status !== 0) {
    fail("plugin-host run on the recording exited " + played.status + ":\n" + played.stdout + played.stderr);
  }
  const result = (played.stdout.match(/result: .*/) || ["no result"])[0];
  if (!existsSync(scenario) || !/, 0 failed$/.test(result) || /\b0 expectation/.test(result)) {
    fail("the recording played as " + result);
  }
  if (!process.exitCode) {
    console.log("panel test: party formed, mute and volume reached the voice-chat stand-in; the " +
                "recorded session played back (" + result + "); screenshot in " + screenshot);
  }
} catch (error) {
  fail(error.message);
} finally {
  if (context) await context.close();
  server.kill("SIGTERM");
  rmSync(scratch, { recursive: true, force: true });
}
