// The voice panel: reads the plugin's state through its routes, follows it
// through the event stream, and drives the stand-ins through /host/world.
"use strict";

const V = "/tav-premade-voice/v1";
const $ = (id) => document.getElementById(id);

function logLine(kind, text, time, warning) {
  const lines = $("log-lines");
  const line = document.createElement("div");
  line.className = "kind-" + kind + (warning ? " warning" : "");
  const stamp = typeof time === "number" ? "[" + time.toFixed(3).padStart(9) + "s] " : "";
  line.textContent = stamp + text;
  lines.appendChild(line);
  while (lines.childNodes.length > 500) lines.removeChild(lines.firstChild);
  lines.scrollTop = lines.scrollHeight;
}

// One request; the answer's JSON, or null after logging the error.
async function call(method, path, body) {
  const options = { method, headers: {} };
  if (body !== undefined) {
    options.body = JSON.stringify(body);
    options.headers["Content-Type"] = "application/json";
  }
  try {
    const response = await fetch(path, options);
    const text = await response.text();
    const value = text ? JSON.parse(text) : null;
    if (!response.ok) {
      logLine("error", method + " " + path + " -> " + response.status + " " +
              (value && value.message ? value.message : text));
      return null;
    }
    return value;
  } catch (error) {
    logLine("error", method + " " + path + " failed: " + error);
    return null;
  }
}

function editing(element) { return document.activeElement === element; }

function renderFlags(list, record) {
  const target = $(list);
  target.innerHTML = "";
  for (const [name, value] of Object.entries(record || {})) {
    const item = document.createElement("li");
    item.textContent = name;
    item.className = value ? "true" : "false";
    target.appendChild(item);
  }
}

function renderParticipants(list) {
  const body = $("participants").querySelector("tbody");
  body.innerHTML = "";
  $("no-participants").hidden = Array.isArray(list) && list.length > 0;
  for (const p of list || []) {
    const row = document.createElement("tr");
    row.dataset.puuid = p.puuid;
    row.innerHTML =
      '<td><span class="speaking"></span></td><td class="name"></td>' +
      '<td><input type="checkbox" class="mute"></td>' +
      '<td><input type="range" class="volume" min="0" max="100"> <output></output></td>';
    row.querySelector(".speaking").classList.toggle("on", !!p.isSpeaking);
    row.querySelector(".speaking").title = "energy " + p.energy;
    row.querySelector(".name").textContent = p.displayName || p.puuid;
    const mute = row.querySelector(".mute");
    mute.checked = !!p.isMuted;
    mute.addEventListener("change", () =>
      call("PUT", V + "/participants/" + encodeURIComponent(p.puuid) + "/mute", mute.checked ? 1 : 0));
    const volume = row.querySelector(".volume");
    volume.value = p.volume;
    row.querySelector("output").textContent = p.volume;
    volume.addEventListener("input", () => { row.querySelector("output").textContent = volume.value; });
    volume.addEventListener("change", () =>
      call("PUT", V + "/participants/" + encodeURIComponent(p.puuid) + "/volume", Number(volume.value)));
    body.appendChild(row);
  }
}

function renderSettings(s) {
  if (!s) return;
  $("self-mute").checked = !!s.localMicMuted;
  if (!editing($("input-mode"))) $("input-mode").value = s.inputMode;
  if (!editing($("ptt-key")) && s.pttKey !== undefined) $("ptt-key").value = s.pttKey;
  if (!editing($("mic-level"))) $("mic-level").value = s.micLevel;
  $("mic-level-value").textContent = s.micLevel;
  if (!editing($("sensitivity"))) $("sensitivity").value = s.vadSensitivity;
  $("sensitivity-value").textContent = s.vadSensitivity;
  if (!editing($("devices"))) $("devices").value = s.currentCaptureDeviceHandle;
}

function renderDevices(list) {
  const select = $("devices");
  const current = select.value;
  select.innerHTML = "";
  for (const d of list || []) {
    const option = document.createElement("option");
    option.value = d.handle;
    option.textContent = d.name + (d.is_default ? " (default)" : "") + (d.usable ? "" : " (unusable)");
    option.disabled = !d.usable;
    if (d.is_current_device) option.selected = true;
    select.appendChild(option);
  }
  if (current && [...select.options].some((o) => o.value === current)) select.value = current;
}

function renderMicTest(a) {
  if (!a) return;
  $("mic-test-state").textContent = a.isLoopbackEnabled ? "running" : "stopped";
  $("mic-meter").style.width = Math.max(0, Math.min(100, a.micEnergy || 0)) + "%";
}

const renderers = {
  [V + "/availability"]: (d) => renderFlags("availability", d),
  [V + "/participants"]: renderParticipants,
  [V + "/settings"]: renderSettings,
  [V + "/capturedevices"]: renderDevices,
  [V + "/mic-test"]: renderMicTest,
  [V + "/first-experience"]: (d) => renderFlags("first-experience", d),
};

async function refreshVoice() {
  for (const [path, render] of Object.entries(renderers)) {
    const value = await call("GET", path);
    if (value !== null) render(value);
  }
}

// ---- Stand-ins -------------------------------------------------------

let world = null;

async function act(name, args) {
  const state = await call("POST", "/host/world/" + name, args || {});
  if (state) renderWorld(state);
}

function renderWorld(state) {
  world = state;
  $("clock").textContent = "virtual " + state.time.toFixed(1) + " s";
  $("game-phase").textContent = state.gamePhase || "";
  $("world-voice-server").checked = state.voiceServerConnected;
  $("world-flag").checked = state.voiceFlag === true;
  $("world-entitlement").checked = state.entitlements.length > 0;
  $("failing").textContent = state.failing.length ? "failing: " + state.failing.join(", ") : "";
  const select = $("fail-standin");
  if (select.options.length === 0) {
    for (const name of state.standIns) select.add(new Option(name, name));
  }
  const body = $("members").querySelector("tbody");
  body.innerHTML = "";
  for (const player of state.players.slice(1)) {
    const member = state.party.find((m) => m.puuid === player.puuid);
    const row = document.createElement("tr");
    row.dataset.player = player.player;
    row.innerHTML =
      '<td class="name"></td><td><input type="checkbox" class="in-party"></td>' +
      '<td><input type="checkbox" class="in-voice"></td>' +
      '<td><input type="range" class="energy" min="0" max="100"></td>';
    row.querySelector(".name").textContent = player.displayName;
    row.querySelector(".name").title = player.puuid;
    const inParty = row.querySelector(".in-party");
    inParty.checked = !!member;
    inParty.addEventListener("change", () =>
      act(inParty.checked ? "add-member" : "remove-member", { player: player.player }));
    const inVoice = row.querySelector(".in-voice");
    inVoice.checked = !!(member && member.inVoice);
    inVoice.disabled = !member;
    inVoice.addEventListener("change", () =>
      act(inVoice.checked ? "join-voice" : "leave-voice", { player: player.player }));
    const energy = row.querySelector(".energy");
    energy.value = member && member.inVoice ? member.energy : 0;
    energy.disabled = !(member && member.inVoice);
    energy.addEventListener("change", () => act("speak", { player: player.player, energy: Number(energy.value) }));
    body.appendChild(row);
  }
}

async function refreshWorld() {
  const state = await call("GET", "/host/world");
  if (state) renderWorld(state);
}

// ---- Live stream ------------------------------------------------------

let worldRefresh = null;
// The feed and the number of the last message shown: coming back, the panel
// is sent only what it missed, and skips what it has shown already.
let feed = "";
let lastSeq = 0;

function connect() {
  const seen = feed ? "?feed=" + encodeURIComponent(feed) + "&after=" + lastSeq : "";
  const socket = new WebSocket("ws://" + location.host + "/events" + seen);
  socket.onopen = () => {
    $("connection").textContent = "live";
    $("connection").className = "badge on";
  };
  socket.onclose = () => {
    $("connection").textContent = "offline";
    $("connection").className = "badge off";
    setTimeout(connect, 2000);
  };
  socket.onmessage = (message) => {
    const m = JSON.parse(message.data);
    if (m.kind === "gap") {
      // Messages were dropped while the panel fell behind: reload the state.
      logLine("log", "missed " + m.missed + " messages; state reloaded", "", true);
      refreshVoice().then(refreshWorld);
      return;
    }
    if (m.feed !== feed) {
      feed = m.feed;
      lastSeq = 0;
    }
    if (m.seq <= lastSeq) return;
    lastSeq = m.seq;
    if (m.kind === "event") {
      // Each resource also goes out on the common channel: show it once.
      if (m.name === "OnJsonApiEvent") return;
      logLine("event", "event " + (m.uri || m.name) + " " + m.type + " " + JSON.stringify(m.data), m.time);
      const render = renderers[m.uri];
      if (render) render(m.data);
    } else if (m.kind === "log") {
      logLine("log", m.level + " " + m.text, m.time);
    } else if (m.kind === "standin") {
      logLine("standin", m.who + ": " + m.text, m.time, m.warning);
      clearTimeout(worldRefresh);
      worldRefresh = setTimeout(refreshWorld, 100);
    }
  };
}

// ---- Controls -----------------------------------------------------------

function wire() {
  $("join-session").onclick = () => call("POST", V + "/session");
  $("leave-session").onclick = () => call("DELETE", V + "/session");
  $("self-mute").onchange = (e) => call("PUT", V + "/self/mute", e.target.checked ? 1 : 0);
  $("input-mode").onchange = (e) => call("PUT", V + "/self/inputMode", e.target.value);
  $("ptt-key-set").onclick = () => call("POST", V + "/gameClientUpdatedPTTKey", $("ptt-key").value);
  $("mic-level").onchange = (e) => call("PUT", V + "/self/micLevel", Number(e.target.value));
  $("sensitivity").onchange = (e) => call("PUT", V + "/self/activationSensitivity", Number(e.target.value));
  $("devices").onchange = (e) => call("PUT", V + "/capturedevices", e.target.value);
  $("settings-reset").onclick = () => call("POST", V + "/settings/reset");
  $("mic-test-start").onclick = () => call("POST", V + "/mic-test");
  $("mic-test-stop").onclick = () => call("DELETE", V + "/mic-test");
  for (const button of document.querySelectorAll("[data-first]")) {
    button.onclick = () => call("POST", V + "/first-experience/" + button.dataset.first);
  }
  for (const button of document.querySelectorAll("[data-world]")) {
    button.onclick = () => act(button.dataset.world);
  }
  $("form-party").onclick = () => act("form-party", { size: Number($("party-size").value) });
  $("world-voice-server").onchange = (e) => act("voice-server", { connected: e.target.checked });
  $("world-login").onchange = (e) => act("login", { connected: e.target.checked });
  $("world-flag").onchange = (e) => act("voice-flag", { enabled: e.target.checked });
  $("world-entitlement").onchange = (e) => act("entitlement", { granted: e.target.checked });
  $("world-mic").onchange = (e) => act("mic-energy", { energy: Number(e.target.value) });
  $("advance").onclick = () => act("advance-clock", { seconds: 10 });
  $("fail").onclick = () =>
    act("fail", { standIn: $("fail-standin").value, status: Number($("fail-status").value), text: "failed from the panel" });
  $("heal").onclick = () => act("heal", { standIn: $("fail-standin").value });
  $("log-clear").onclick = () => { $("log-lines").innerHTML = ""; };
}

wire();
connect();
refreshVoice().then(refreshWorld);
