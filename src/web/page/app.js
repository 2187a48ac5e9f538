// The hub's control page: the state comes only from the hub's events (never guessed
// from a tap); taps become REST calls. All device and venue text goes in as text.
"use strict";
(function () {
  const $ = (id) => document.getElementById(id);
  const MODES = [["matrix", "Matrix"], ["dual", "Dual"], ["2x2", "2X2"]];
  const PARAMS = [["bri", "brightness", "Brightness"], ["con", "contrast", "Contrast"],
                  ["hue", "hue", "Hue"], ["sat", "saturation", "Saturation"]];
  let token = localStorage.getItem("veldra-token") || "";
  let state = null, ready = false, hubUp = false;
  let selectedOut = null, socket = null, backoff = 500, retryTimer = null;

  function el(tag, text, attrs) {
    const e = document.createElement(tag);
    if (text !== undefined && text !== null) e.textContent = String(text);
    for (const k in attrs || {}) e.setAttribute(k, attrs[k]);
    return e;
  }
  function names(kind, n) {
    const list = state && state.names && state.names[kind];
    const given = Array.isArray(list) ? list[n - 1] : list && list[String(n)];
    return given ? String(given) : (kind === "inputs" ? "Input " : "Output ") + n;
  }
  function setStatus(text, kind) {
    const s = $("status");
    s.textContent = text;
    s.className = "status " + kind;
  }
  function message(text) { $("message").textContent = text || ""; }

  function headers(json) {
    const h = {};
    if (json) h["Content-Type"] = "application/json";
    if (token) h["Authorization"] = "Bearer " + token;
    return h;
  }
  async function call(method, path, body) {
    message("");
    try {
      const r = await fetch(path, { method, headers: headers(body !== undefined),
                                    body: body === undefined ? undefined : JSON.stringify(body) });
      if (r.status === 401) { askToken(); return; }
      const answer = await r.json().catch(() => ({}));
      if (!r.ok) message(answer.error || ("The hub answered " + r.status));
    } catch (e) {
      message("The hub did not answer.");
    }
  }
  const command = (text) => call("POST", "/api/v1/command", { command: text });

  function askToken() {
    const f = $("token-form");
    f.hidden = false;
    $("token").focus();
    setStatus("Access token needed", "wait");
  }
  $("token-form").addEventListener("submit", (ev) => {
    ev.preventDefault();
    token = $("token").value.trim();
    localStorage.setItem("veldra-token", token);
    $("token-form").hidden = true;
    connect();
  });

  // --- drawing, from the state alone ---
  function drawRouting() {
    const t = $("routing");
    t.replaceChildren();
    const head = el("tr");
    head.appendChild(el("th", "Out \u2193 In \u2192", { class: "corner", scope: "col" }));
    for (let i = 1; i <= 4; i++) {
      const th = el("th", null, { scope: "col" });
      const b = el("button", names("inputs", i), { type: "button", "data-in": i,
                                                   "aria-label": "Input " + i + ": " + names("inputs", i) });
      b.addEventListener("click", () => {
        if (selectedOut) route(selectedOut, i);
        else message("Choose an output first.");
      });
      th.appendChild(b);
      head.appendChild(th);
    }
    t.appendChild(head);
    const routing = (state && state.routing) || [];
    for (let o = 1; o <= 4; o++) {
      const tr = el("tr");
      const th = el("th", null, { scope: "row" });
      const ob = el("button", names("outputs", o), { type: "button", "data-out": o,
                                                     "aria-pressed": String(selectedOut === o) });
      if (selectedOut === o) ob.classList.add("selected");
      ob.addEventListener("click", () => { selectedOut = selectedOut === o ? null : o; drawRouting(); });
      th.appendChild(ob);
      tr.appendChild(th);
      for (let i = 1; i <= 4; i++) {
        const on = routing[o - 1] === i;
        const b = el("button", on ? "\u25cf" : "", { type: "button", "data-cell": o + "-" + i,
          "aria-label": names("outputs", o) + " from " + names("inputs", i) + (on ? " (routed)" : "") });
        if (on) b.classList.add("on");
        b.addEventListener("click", () => route(o, i));
        const td = el("td");
        td.appendChild(b);
        tr.appendChild(td);
      }
      t.appendChild(tr);
    }
  }
  function route(o, i) {
    selectedOut = null;
    call("PUT", "/api/v1/outputs/" + o, { input: i });
  }
  function drawModes() {
    const box = $("mode");
    box.replaceChildren();
    MODES.forEach(([word, label], k) => {
      const b = el("button", label, { type: "button", "data-mode": word,
                                      "aria-pressed": String(!!state && state.mode === k + 1) });
      b.addEventListener("click", () => call("PUT", "/api/v1/mode", { mode: word }));
      box.appendChild(b);
    });
  }
  function drawScenes() {
    const box = $("scenes");
    box.replaceChildren();
    const active = state && typeof state.scene === "string" ? state.scene : null;
    let list = state && Array.isArray(state.scenes) ? state.scenes.map(String) : [];
    if (active && !list.includes(active)) list = list.concat([active]);
    if (!list.length) box.appendChild(el("span", "No scene is active.", { class: "hint" }));
    for (const name of list) {
      const b = el("button", name, { type: "button", "data-scene": name,
                                     "aria-pressed": String(name === active) });
      b.addEventListener("click", () => call("POST", "/api/v1/scenes/" + encodeURIComponent(name) + "/recall"));
      box.appendChild(b);
    }
  }
  function drawDevice() {
    const p = $("power"), l = $("lock");
    const on = !!state && state.power === 1, locked = !!state && state.lock === 1;
    p.setAttribute("aria-pressed", String(on));
    p.textContent = state && state.power !== null ? (on ? "Power: on" : "Power: standby") : "Power";
    l.setAttribute("aria-pressed", String(locked));
    l.textContent = state && state.lock !== null ? (locked ? "Front panel: locked" : "Front panel: unlocked") : "Front panel lock";
  }
  function drawPicture() {
    const box = $("picture");
    // Rebuilt only when its shape changes, so a slider being dragged is not replaced.
    const rows = !state ? [] : state.matrix ? [state.matrix]
               : (state.rows || []).slice(0, state.mode === 2 ? 2 : 4);
    const shape = (state ? state.mode : 0) + ":" + rows.length;
    if (box.dataset.shape !== shape) {
      box.dataset.shape = shape;
      box.replaceChildren();
      rows.forEach((_, k) => {
        const div = el("div", null, { class: "row" });
        if (!state.matrix) div.appendChild(el("h3", names("outputs", k + 1), { class: "hint" }));
        for (const [key, word, label] of PARAMS) {
          const lab = el("label");
          lab.appendChild(el("span", label));
          const r = el("input", null, { type: "range", min: 0, max: 100, step: 1,
                                        "data-row": k + 1, "data-param": key,
                                        "aria-label": label + " row " + (k + 1) });
          const out = el("output", "");
          r.addEventListener("change", () => command("picture " + word + " " + (k + 1) + " " + r.value));
          r.addEventListener("input", () => { out.textContent = r.value; });
          lab.appendChild(r);
          lab.appendChild(out);
          div.appendChild(lab);
        }
        box.appendChild(div);
      });
    }
    box.querySelectorAll("input[type=range]").forEach((r) => {
      const v = rows[r.dataset.row - 1] && rows[r.dataset.row - 1][r.dataset.param];
      if (document.activeElement !== r && typeof v === "number") {
        r.value = v;
        r.nextSibling.textContent = String(v);
      }
    });
  }
  function draw() {
    $("controls").setAttribute("aria-disabled", String(!(hubUp && ready)));
    document.querySelectorAll("main button, main input").forEach((b) => { b.disabled = !(hubUp && ready); });
    const device = state && state.names && state.names.device;
    $("device-name").textContent = device ? String(device) : "VELDRA";
    drawRouting();
    drawModes();
    drawScenes();
    drawDevice();
    drawPicture();
    document.querySelectorAll("main button, main input").forEach((b) => { b.disabled = !(hubUp && ready); });
    $("version").textContent = state && state.version ? "Firmware " + (state.version / 100).toFixed(2) : "";
  }

  $("power").addEventListener("click", () => command(state && state.power === 1 ? "power standby" : "power on"));
  $("lock").addEventListener("click", () => command(state && state.lock === 1 ? "lock off" : "lock on"));
  $("scene-form").addEventListener("submit", (ev) => {
    ev.preventDefault();
    call("PUT", "/api/v1/scenes/" + encodeURIComponent($("scene-name").value.trim()));
  });
  $("scene-recall").addEventListener("click", () => {
    const n = $("scene-name").value.trim();
    if (n) call("POST", "/api/v1/scenes/" + encodeURIComponent(n) + "/recall");
  });

  // --- the event stream ---
  function connect() {
    clearTimeout(retryTimer);
    if (socket) { socket.onclose = null; socket.close(); }
    const url = (location.protocol === "https:" ? "wss://" : "ws://") + location.host +
                "/api/v1/events" + (token ? "?token=" + encodeURIComponent(token) : "");
    const ws = new WebSocket(url);
    socket = ws;
    ws.onopen = () => { hubUp = true; backoff = 500; };
    ws.onmessage = (m) => {
      let e;
      try { e = JSON.parse(m.data); } catch (x) { return; }
      if (e.type !== "state") return;
      ready = !!e.ready;
      state = e.ready ? e.state : null;
      if (ready) setStatus("Device connected", "ok");
      else setStatus("Device not answering: the hub keeps trying", "down");
      $("link-info").textContent = ready ? "Live: changes from anywhere show here." : "";
      draw();
    };
    let opened = false;
    ws.addEventListener("open", () => { opened = true; });
    ws.onclose = () => {
      if (socket !== ws) return;
      hubUp = false;
      state = null;
      ready = false;
      draw();
      const retry = () => {
        const wait = backoff;
        backoff = Math.min(backoff * 2, 10000);
        setStatus("Hub not reachable: retrying in " + Math.ceil(wait / 1000) + " s", "down");
        retryTimer = setTimeout(connect, wait);
      };
      if (opened) { retry(); return; }
      // A refused upgrade says nothing to the page: ask the API whether a token is missing.
      fetch("/healthz/live").then(() => fetch("/api/v1/state", { headers: headers(false) }))
        .then((r) => { if (r.status === 401) askToken(); else retry(); })
        .catch(retry);
    };
  }
  draw();
  connect();
})();
