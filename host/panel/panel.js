// The voice panel: reads the plugin's state through its routes, follows it
// through the event stream, and drives the stand-ins through /host/world.
"use strict";

const V = "/tav-premade-voice/v1";
const $ = (id) => document.getElementById(id);

// One line of the log pane; `payload`, when given, is shown folded under it.
function logLine(kind, text, time, warning, payload) {
  const lines = $("log-lines");
  const line = document.createElement("div");
  line.className = "kind-" + kind + (warning ? " warning" : "");
  const stamp = typeof time === "number" ? "[" + time.toFixed(3).padStart(9) + "s] " : "";
  const title = document.createElement("span");
  title.className = "text";
  title.textContent = stamp + text;
  line.appendChild(title);
  if (payload !== undefined) addPayload(line, "payload", payload);
  lines.appendChild(line);
  while (lines.childNodes.length > 500) lines.removeChild(lines.firstChild);
  lines.scrollTop = lines.scrollHeight;
  return line;
}

function addPayload(line, label, payload) {
  const details = document.createElement("details");
  const summary = document.createElement("summary");
  summary.textContent = label;
  const pre = document.createElement("pre");
  pre.textContent = JSON.stringify(payload, null, 2);
  details.append(summary, pre);
  line.appendChild(details);
}

// ---- What an event changed, in words ------------------------------------

const shortText = (value) => {
  const text = JSON.stringify(value);
  return text === undefined ? "none" : text.length > 40 ? text.slice(0, 37) + "..." : text;
};

// "micLevel 50 → 20, inputMode ..." for the keys whose value differs.
function objectChanges(before, after) {
  const keys = new Set([...Object.keys(before || {}), ...Object.keys(after || {})]);
  const changes = [];
  for (const key of keys) {
    const a = before ? before[key] : undefined;
    const b = after ? after[key] : undefined;
    if (JSON.stringify(a) !== JSON.stringify(b)) changes.push(key + " " + shortText(a) + " → " + shortText(b));
  }
  return changes;
}

const entryKey = (entry) => entry && (entry.puuid || entry.handle || entry.participantId);
const entryName = (entry) => (entry && (entry.displayName || entry.name)) || entryKey(entry);

// Who came, who went and what changed for each one of a list.
function listChanges(before, after) {
  const old = new Map((before || []).map((e) => [entryKey(e), e]));
  const now = new Map((after || []).map((e) => [entryKey(e), e]));
  const changes = [];
  for (const [key, entry] of now) {
    if (!old.has(key)) changes.push(entryName(entry) + " joined");
    else {
      const changed = objectChanges(old.get(key), entry);
      if (changed.length) changes.push(entryName(entry) + ": " + changed.join(", "));
    }
  }
  for (const [key, entry] of old) if (!now.has(key)) changes.push(entryName(entry) + " left");
  return changes;
}

const lastData = {};

function describeChange(uri, data) {
  const seen = Object.prototype.hasOwnProperty.call(lastData, uri);
  const before = lastData[uri];
  lastData[uri] = data;
  if (Array.isArray(data) || Array.isArray(before)) {
    if (!seen) return (data || []).length + " entries" + (data && data.length ? ": " + data.map(entryName).join(", ") : "");
    const changes = listChanges(before, data);
    return changes.length ? changes.join("; ") : "no change";
  }
  if (data === null || typeof data !== "object") return shortText(data);
  if (!seen) return Object.keys(data).length + " fields";
  const changes = objectChanges(before, data);
  return changes.length ? changes.join(", ") : "no change";
}

// The participant records follow the participant list: their payload joins
// the list's line instead of a line of their own.
let lastParticipantsLine = null;

function logEvent(m) {
  const resource = (m.uri || m.name).replace(V + "/", "");
  const summary = describeChange(m.uri || m.name, m.data);
  if (m.uri === V + "/participant-records" && lastParticipantsLine && lastParticipantsLine.isConnected) {
    addPayload(lastParticipantsLine, "records", m.data);
    lastParticipantsLine = null;
    return;
  }
  const line = logLine("event", resource + " " + (m.type || "").toLowerCase() + ": " + summary, m.time,
                       false, m.data);
  lastParticipantsLine = m.uri === V + "/participants" ? line : null;
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
    // A change is a step of a running recording.
    if (method !== "GET" && !path.startsWith("/host/record")) refreshRecording();
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

const flagLabels = {
  enabled: "Voice enabled",
  disabledAfterLogin: "Disabled after login",
  connectedToVoiceServer: "Voice server connected",
  voiceChannelAvailable: "Channel available",
  showUI: "Voice controls shown",
  showDisconnectedState: "Disconnected state shown",
  showFirstExperienceInGame: "Introduction due in game",
  showFirstExperienceInZEB: "Introduction due in lobby",
};

// "showUI" -> "Show UI" for flags without a label of their own.
const flagLabel = (name) =>
  flagLabels[name] || name.replace(/([a-z])([A-Z])/g, "$1 $2").replace(/^./, (c) => c.toUpperCase());

function renderFlags(list, record) {
  const target = $(list);
  target.innerHTML = "";
  for (const [name, value] of Object.entries(record || {})) {
    const item = document.createElement("li");
    item.className = value ? "true" : "false";
    item.dataset.flag = name;
    const label = document.createElement("span");
    label.className = "label";
    label.textContent = flagLabel(name);
    const state = document.createElement("span");
    state.className = "state";
    state.textContent = value ? "on" : "off";
    item.append(label, ": ", state);
    target.appendChild(item);
  }
}

// The local player's puuid, from the stand-ins' world (player 0).
let localPuuid = null;
let lastParticipants = [];

function renderParticipants(list) {
  lastParticipants = list || [];
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
    if (p.puuid === localPuuid) {
      // The user's own mute is under "Me"; nobody sets their own volume.
      row.classList.add("self");
      row.querySelector(".name").textContent += " (you)";
      row.cells[2].textContent = "";
      row.cells[3].textContent = "";
      body.appendChild(row);
      continue;
    }
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
  lastSettings = s;
  selectDevice();
}

let lastSettings = null;
let lastDevices = [];

// The device the settings name; when they name none (an empty handle) or
// one that is not listed, the one the device list marks current, else the
// default one.
function selectDevice() {
  const select = $("devices");
  if (editing(select)) return;
  const listed = (handle) => handle && lastDevices.some((d) => d.handle === handle);
  const named = lastSettings && lastSettings.currentCaptureDeviceHandle;
  const current = lastDevices.find((d) => d.is_current_device);
  const fallback = lastDevices.find((d) => d.is_default) || lastDevices[0];
  const handle = listed(named) ? named : current ? current.handle : fallback ? fallback.handle : "";
  if (handle) select.value = handle;
}

function renderDevices(list) {
  lastDevices = list || [];
  const select = $("devices");
  select.innerHTML = "";
  for (const d of lastDevices) {
    const option = document.createElement("option");
    option.value = d.handle;
    option.textContent = d.name + (d.is_default ? " (default)" : "") + (d.usable ? "" : " (unusable)") +
                         (d.is_current_device ? " (current)" : "");
    option.disabled = !d.usable;
    select.appendChild(option);
  }
  selectDevice();
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
    if (value === null) continue;
    // The next event of the resource is logged as a change from this.
    lastData[path] = value;
    render(value);
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
  const self = state.players.find((p) => p.player === 0);
  if (self && self.puuid !== localPuuid) {
    localPuuid = self.puuid;
    renderParticipants(lastParticipants);
  }
  if (!editing($("party-size")) && state.party.length > 0) $("party-size").value = state.party.length;
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
      logEvent(m);
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

// ---- Recording -------------------------------------------------------------

function renderRecording(r) {
  if (!r) return;
  $("record").checked = r.recording;
  $("record-state").textContent = r.recording
    ? "recording: " + r.steps + " steps"
    : r.file ? "saved " + r.file : r.limitReached ? "stopped: too long" : "";
  $("record-download").hidden = !r.download || r.recording;
}

async function refreshRecording() {
  if ($("record").checked) renderRecording(await call("GET", "/host/record"));
}

async function toggleRecording(on) {
  renderRecording(await call("POST", on ? "/host/record/start" : "/host/record/stop"));
  if (!on) renderRecording(await call("GET", "/host/record"));
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
  $("record").onchange = (e) => toggleRecording(e.target.checked);
}

wire();
connect();
refreshWorld().then(refreshVoice);
call("GET", "/host/record").then(renderRecording);
