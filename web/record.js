// SPDX-License-Identifier: GPL-3.0-or-later
// The page's learning record, on the browser's side. Before the program starts it takes the
// launch parameters out of the page's address, reads porome-config.json and opens the
// page's IndexedDB; the program then reads the launch, decides what is kept, and hands over
// statements (for the school's store) or rows (for a record file the pupil saves).
//
// Every statement is in IndexedDB, beside the endpoint and credential it needs, before it is
// sent; it leaves only once the store has taken it. Sending runs in batches, retried with
// backoff and again when the browser is back online, and at the next visit. Nothing here
// ever makes the drill wait, and the pupil sees none of it.
"use strict";
window.poromePage = (function () {
  const LAUNCH_KEYS = ["endpoint", "auth", "actor", "registration", "activity_id", "fetch", "level"];
  const BATCH = 50;                  // statements in one request
  const TIMEOUT = 30000;             // a request that hangs is given up after this
  const FIRST_RETRY = 2000, LAST_RETRY = 60000;
  const TAB_LAUNCH = "porome-launch";   // sessionStorage: this tab's launch, across reloads
  const LEFT = "porome-left";           // localStorage: statements kept as the page went away

  // --- The launch parameters leave the address at once ------------------------------------
  const address = new URL(location.href);
  const params = {};
  let launched = false;
  for (const key of LAUNCH_KEYS) {
    if (address.searchParams.has(key)) {
      params[key] = address.searchParams.get(key);
      address.searchParams.delete(key);
      launched = true;
    }
  }
  if (launched)
    history.replaceState(history.state, "", address.pathname + address.search + address.hash);

  const said = new Set();
  function say(line) {
    if (said.has(line))
      return;
    said.add(line);
    console.warn(line);
  }

  function withTimeout(promise, ms, value) {
    return Promise.race([promise, new Promise((resolve) => setTimeout(() => resolve(value), ms))]);
  }

  // --- IndexedDB -----------------------------------------------------------------------------
  let db = null;
  function openDb() {
    return new Promise((resolve) => {
      let request;
      try {
        request = indexedDB.open("porome", 1);
      } catch (e) {
        resolve(null);
        return;
      }
      request.onupgradeneeded = () => {
        const d = request.result;
        // A launch: its endpoint and credential, and its parameters for a reload of its tab.
        d.createObjectStore("launches", { keyPath: "id", autoIncrement: true });
        // A statement: its text, the launch it goes with, and "wait" or "aside" (refused).
        d.createObjectStore("statements", { keyPath: "n", autoIncrement: true });
        // A row of the record file not yet saved.
        d.createObjectStore("rows", { keyPath: "n", autoIncrement: true });
        // The last porome-config.json read, for a start without a network.
        d.createObjectStore("kept");
      };
      request.onsuccess = () => resolve(request.result);
      request.onerror = () => resolve(null);
      request.onblocked = () => resolve(null);
    });
  }

  // One request in its own transaction: resolves with its result, or rejects.
  function run(stores, mode, work) {
    return new Promise((resolve, reject) => {
      const t = db.transaction(stores, mode);
      let result;
      Promise.resolve(work(t)).then((r) => { result = r; });
      t.oncomplete = () => resolve(result);
      t.onerror = () => reject(t.error);
      t.onabort = () => reject(t.error);
    });
  }
  function all(store) {
    return run([store], "readonly", (t) => new Promise((resolve) => {
      const r = t.objectStore(store).getAll();
      r.onsuccess = () => resolve(r.result);
    }));
  }

  // --- porome-config.json: read each visit, never by a cache --------------------------------
  async function readConfig() {
    let response;
    try {
      response = await withTimeout(fetch("porome-config.json", { cache: "no-store", credentials: "same-origin" }),
                                   3000, null);
    } catch (e) {
      response = null;
    }
    if (response && response.status === 404) {
      if (db)
        run(["kept"], "readwrite", (t) => t.objectStore("kept").delete("config")).catch(() => {});
      return null;
    }
    if (response && response.ok) {
      const text = await response.text();
      if (db)
        run(["kept"], "readwrite", (t) => t.objectStore("kept").put(text, "config")).catch(() => {});
      return text;
    }
    // No network (an offline start): the file as it was last read.
    if (!db)
      return null;
    return run(["kept"], "readonly", (t) => new Promise((resolve) => {
      const r = t.objectStore("kept").get("config");
      r.onsuccess = () => resolve(r.result === undefined ? null : r.result);
    })).catch(() => null);
  }

  // --- What is kept ----------------------------------------------------------------------------
  const launches = new Map();   // id -> { id, endpoint, auth, fetch, params }
  let tabLaunch = null;         // the launch this tab records into, once the program opened it
  let waiting = 0;              // statements the store has not yet taken
  let header = "";
  const unsaved = [];           // rows not yet saved: { line, stored: Promise<key> }

  function tabLaunchId() {
    try {
      const id = Number(sessionStorage.getItem(TAB_LAUNCH));
      return id > 0 ? id : null;
    } catch (e) {
      return null;
    }
  }

  async function load() {
    db = await withTimeout(openDb(), 3000, null);
    const config = await readConfig();
    let keptParams = null;
    if (db) {
      for (const l of await all("launches").catch(() => []))
        launches.set(l.id, l);
      await takeLeft();
      const statements = await all("statements").catch(() => []);
      const used = new Set();
      for (const s of statements) {
        if (s.state === "wait") {
          ++waiting;
          used.add(s.launch);
        }
      }
      for (const r of await all("rows").catch(() => []))
        unsaved.push({ line: r.line, stored: Promise.resolve(r.n) });
      // A reload of a tab that was launched goes on with that launch.
      const id = tabLaunchId();
      if (!launched && id && launches.has(id))
        keptParams = launches.get(id).params;
      // A credential is kept only while statements wait for it or its tab may still use it.
      for (const l of launches.values()) {
        if (!used.has(l.id) && l.id !== id) {
          launches.delete(l.id);
          run(["launches"], "readwrite", (t) => t.objectStore("launches").delete(l.id)).catch(() => {});
        }
      }
    }
    input = JSON.stringify({ params: launched ? params : (keptParams || {}), config: config, storage: !!db });
    pump();
  }
  let input = "{}";

  // The statements the last page kept as it went away, into IndexedDB.
  async function takeLeft() {
    let left;
    try {
      left = JSON.parse(localStorage.getItem(LEFT) || "[]");
    } catch (e) {
      return;
    }
    if (!left.length)
      return;
    await run(["statements"], "readwrite", (t) => {
      for (const s of left)
        t.objectStore("statements").add({ launch: s.launch, body: s.body, state: "wait" });
    });
    localStorage.removeItem(LEFT);
  }
  const ready = load().catch((e) => {
    console.warn("porome: the record cannot start:", e && e.message);
    input = JSON.stringify({ params: params, config: null, storage: false });
  });

  // --- Sending -----------------------------------------------------------------------------------
  let sending = false, timer = null, failures = 0, singles = 0, outage = false, caughtUp = 0;
  const stopped = new Set();    // launches whose credential the store refused on this visit

  function later() {
    if (timer)
      return;
    // Forty pupils' pages come back at once after the school's Wi-Fi returns: spread them.
    const delay = Math.min(LAST_RETRY, FIRST_RETRY * 2 ** Math.min(failures, 10)) * (0.5 + Math.random());
    timer = setTimeout(() => { timer = null; pump(); }, delay);
  }

  // The next statements to send: the oldest waiting ones of one launch that can send.
  function nextBatch() {
    const size = singles > 0 ? 1 : BATCH;
    return run(["statements"], "readonly", (t) => new Promise((resolve) => {
      const batch = [];
      let launch = null;
      const r = t.objectStore("statements").openCursor();
      r.onsuccess = () => {
        const c = r.result;
        if (!c || batch.length >= size) {
          resolve({ launch: launch, batch: batch });
          return;
        }
        const s = c.value;
        const l = launches.get(s.launch);
        if (s.state === "wait" && l && l.auth && !stopped.has(l.id) && (launch === null || launch === l)) {
          launch = l;
          batch.push(s);
        }
        c.continue();
      };
    }));
  }

  // The store took these statements, or refused them for good (`aside`, with its reason).
  function forget(statements, aside) {
    return run(["statements"], "readwrite", (t) => {
      const store = t.objectStore("statements");
      for (const s of statements) {
        if (aside)
          store.put({ n: s.n, body: s.body, state: "aside", reason: aside, launch: null });
        else
          store.delete(s.n);
      }
    }).then(() => { waiting = Math.max(0, waiting - statements.length); });
  }

  async function post(launch, batch) {
    const controller = new AbortController();
    const cut = setTimeout(() => controller.abort(), TIMEOUT);
    try {
      return await fetch(launch.endpoint + "statements", {
        method: "POST", signal: controller.signal, cache: "no-store", credentials: "omit",
        headers: { "Authorization": launch.auth, "X-Experience-API-Version": "1.0.3",
                   "Content-Type": "application/json" },
        body: "[" + batch.map((s) => s.body).join(",") + "]"
      });
    } finally {
      clearTimeout(cut);
    }
  }

  async function pump() {
    if (!db || sending || timer)
      return;
    sending = true;
    try {
      for (;;) {
        const { launch, batch } = await nextBatch();
        if (!batch.length) {
          if (caughtUp > 0)
            console.warn("porome: sending to the store again; " + caughtUp + " statements caught up.");
          caughtUp = 0;
          break;
        }
        let response = null, cause = "";
        try {
          response = await post(launch, batch);
        } catch (e) {
          cause = e && e.name === "AbortError" ? "no answer in " + TIMEOUT / 1000 + " s" : "unreachable";
        }
        const status = response ? response.status : 0;
        if (singles > 0)
          --singles;
        if (status === 200 || status === 204 || (status === 409 && batch.length === 1)) {
          if (status === 409)
            say("porome: the store already had a statement of the same id with other content; it counts as stored.");
          await forget(batch);
          failures = 0;
          if (outage || caughtUp > 0)
            caughtUp += batch.length;
          outage = false;
        } else if ((status === 409 || status === 400) && batch.length > 1) {
          singles = batch.length;   // one at a time, to find the ones the store refuses
        } else if (status === 400) {
          const reason = (await response.text().catch(() => "")).slice(0, 300);
          say("porome: the store refused a statement (400" + (reason ? ": " + reason : "")
              + "); it is set aside and not sent again.");
          await forget(batch, reason || "400");
        } else if (status === 401 || status === 403) {
          stopped.add(launch.id);
          say("porome: the store refused the credential (" + status + "); sending stops and every statement is kept.");
        } else {
          ++failures;
          if (!outage)
            console.warn("porome: sending to the store stops for now (" + (cause || "answer " + status)
                         + "); the statements are kept.");
          outage = true;
          later();
          break;
        }
      }
    } catch (e) {
      say("porome: the record's storage failed: " + (e && e.message));
    } finally {
      sending = false;
    }
  }

  window.addEventListener("online", () => {
    if (timer) {
      clearTimeout(timer);
      timer = null;
    }
    failures = 0;
    pump();
  });

  // --- A one-time credential (a launch's `fetch`) --------------------------------------------
  async function takeCredential(launch) {
    for (let tries = 0; ; ++tries) {
      let response = null;
      try {
        response = await fetch(launch.fetch, { method: "POST", cache: "no-store", credentials: "omit" });
      } catch (e) {
        response = null;
      }
      if (response) {
        const answer = await response.json().catch(() => null);
        if (response.ok && answer && typeof answer["auth-token"] === "string") {
          launch.auth = "Basic " + answer["auth-token"];
          launch.fetch = "";
          launch.params = Object.assign({}, launch.params, { auth: launch.auth });
          delete launch.params.fetch;
          await keepLaunch(launch);
          pump();
        } else {
          say("porome: the launch's fetch address gave no credential (" + response.status + "); nothing is sent.");
        }
        return;
      }
      // Not reached: the one-time address is still unused, so it is tried again.
      await new Promise((resolve) => setTimeout(resolve, Math.min(LAST_RETRY, FIRST_RETRY * 2 ** Math.min(tries, 10))));
    }
  }

  // A launch as IndexedDB keeps it.
  function stored(launch) {
    const l = { endpoint: launch.endpoint, auth: launch.auth, fetch: launch.fetch, params: launch.params };
    if (launch.id)
      l.id = launch.id;
    return l;
  }

  function keepLaunch(launch) {
    return run(["launches"], "readwrite", (t) => new Promise((resolve) => {
      const r = t.objectStore("launches").put(stored(launch));
      r.onsuccess = () => resolve(r.result);
    })).then((id) => { launch.id = id; launches.set(id, launch); return id; });
  }

  // --- What the program calls --------------------------------------------------------------------
  let tabKept = null;           // the tab's launch id, once kept

  function open(how) {
    header = how.header || "";
    if (navigator.storage && navigator.storage.persist)
      navigator.storage.persist().catch(() => {});
    if (how.record !== "store" || !db)
      return;
    // A reload goes on with its tab's launch; a new launch or another store is a new one.
    const id = tabLaunchId();
    const same = id ? launches.get(id) : null;
    if (same && same.endpoint === how.endpoint && (same.auth === how.auth || (!how.auth && same.fetch === how.fetch))) {
      tabLaunch = same;
      if (launched)
        same.params = params;
    } else {
      tabLaunch = { endpoint: how.endpoint, auth: how.auth, fetch: how.fetch, params: launched ? params : {} };
    }
    const launch = tabLaunch;
    tabKept = keepLaunch(launch).then((newId) => {
      try {
        sessionStorage.setItem(TAB_LAUNCH, String(newId));
      } catch (e) {
        // a tab without session storage starts each reload afresh
      }
      if (!launch.auth && launch.fetch)
        takeCredential(launch);
      return newId;
    });
    tabKept.catch((e) => say("porome: the record's storage failed: " + (e && e.message)));
  }

  function keep(body) {
    if (!db || !tabLaunch)
      return;
    ++waiting;
    const launch = tabLaunch;
    const put = (id) => run(["launches", "statements"], "readwrite", (t) => {
      // The launch is put again beside its statement, so that no other tab's clean-up
      // leaves a statement without its credential.
      t.objectStore("launches").put(stored(launch));
      t.objectStore("statements").add({ launch: id, body: body, state: "wait" });
    });
    // A page going away may not finish a transaction: what it keeps then waits in the
    // synchronous localStorage and moves into IndexedDB at the next start.
    if (leaving && launch.id) {
      try {
        const left = JSON.parse(localStorage.getItem(LEFT) || "[]");
        left.push({ launch: launch.id, body: body });
        localStorage.setItem(LEFT, JSON.stringify(left));
        return;
      } catch (e) {
        // no localStorage: IndexedDB may still take it
      }
    }
    (launch.id ? put(launch.id) : tabKept.then(put)).then(pump, (e) => {
      --waiting;
      say("porome: the record's storage failed: " + (e && e.message));
    });
  }

  function keepRow(line) {
    if (!db)
      return;
    const row = { line: line };
    row.stored = run(["rows"], "readwrite", (t) => new Promise((resolve) => {
      const r = t.objectStore("rows").add({ line: line });
      r.onsuccess = () => resolve(r.result);
    }));
    row.stored.catch((e) => say("porome: the record's storage failed: " + (e && e.message)));
    unsaved.push(row);
  }

  function two(n) { return String(n).padStart(2, "0"); }

  // Saves the rows not yet saved as one file, then forgets them.
  function save() {
    if (!unsaved.length)
      return;
    const rows = unsaved.splice(0, unsaved.length);
    const d = new Date();
    const name = "porome-" + d.getFullYear() + two(d.getMonth() + 1) + two(d.getDate()) + "-" + two(d.getHours())
      + two(d.getMinutes()) + two(d.getSeconds()) + ".csv";
    // The byte-order mark tells spreadsheets that the file is UTF-8.
    const file = new Blob(["\uFEFF" + header + rows.map((r) => r.line).join("")], { type: "text/csv;charset=utf-8" });
    const link = document.createElement("a");
    link.href = URL.createObjectURL(file);
    link.download = name;
    document.body.appendChild(link);
    link.click();
    link.remove();
    setTimeout(() => URL.revokeObjectURL(link.href), 60000);
    for (const r of rows)
      r.stored.then((n) => run(["rows"], "readwrite", (t) => t.objectStore("rows").delete(n))).catch(() => {});
  }

  // The page going away (a closed tab or lid, a reload) ends the open exercise as 終わる would.
  let program = null, leaving = false;
  window.addEventListener("pagehide", (event) => {
    // A page kept in the back-forward cache comes back with its exercise still open.
    if (event.persisted)
      return;
    leaving = true;
    try {
      if (program && program._porome_page_hidden)
        program._porome_page_hidden();
    } catch (e) {
      // the program may be waiting in a message box; its exercise then stays open
    }
  });

  return {
    ready: ready,
    attach: (module) => { program = module; },
    input: () => input,
    open: open,
    keep: keep,
    keepRow: keepRow,
    waiting: () => waiting,
    unsaved: () => unsaved.length,
    save: save,
    say: say
  };
})();
