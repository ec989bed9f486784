// SPDX-License-Identifier: GPL-3.0-or-later
// Plays the page's program for the launch checks: takes the launch that porome-server put
// into the page (a <script type="application/json" id="porome-launch">), keeps it for this
// tab so that a reload of the page finds it, opens the record of record.js with it, and
// makes the statements a drill makes (answered, completed, shaped as the program's xapi/
// makes them), which record.js keeps in IndexedDB and sends.
"use strict";
window.standin = (function () {
  const KEPT = "porome-standin-launch";   // sessionStorage: the launch, for a reload
  const DEFAULT_BASE = "https://porome.github.io/xapi";
  const ANSWERED = "http://adlnet.gov/expapi/verbs/answered";
  const COMPLETED = "http://adlnet.gov/expapi/verbs/completed";
  const RIGHT = "○", WRONG = "×";
  let launch = null, from = "";
  let raw = 0, judged = 0, problem = 0, began = new Date();

  function readLaunch() {
    const element = document.getElementById("porome-launch");
    if (element) {
      try {
        const l = JSON.parse(element.textContent);
        try {
          sessionStorage.setItem(KEPT, element.textContent);
        } catch (e) {
          console.warn("standin: no session storage; a reload starts without the launch");
        }
        from = "page";
        // The launch's answer is a POST's: a reload of it would post the used id_token again.
        // The tab goes on at the page's own address, "/", where a reload finds the kept launch.
        if (location.pathname !== "/")
          history.replaceState(null, "", "/");
        return l;
      } catch (e) {
        console.warn("standin: the launch in the page is no JSON");
        return null;
      }
    }
    try {
      const kept = sessionStorage.getItem(KEPT);
      if (kept) {
        from = "tab";
        return JSON.parse(kept);
      }
    } catch (e) {
      // none kept
    }
    return null;
  }

  function base() {
    return String(launch.activityBase || DEFAULT_BASE).replace(/\/+$/, "");
  }
  function grade(level) {
    return level <= 10 ? "3" : "4";
  }
  function extension(name) {
    return base() + "/extensions/" + name;
  }
  function level() {
    return Number(launch.level) || 1;
  }
  function levelActivity(withExtensions) {
    const definition = { type: "http://adlnet.gov/expapi/activities/assessment" };
    if (withExtensions)
      definition.extensions = subject({}, grade(level()));
    return { objectType: "Activity", id: base() + "/levels/" + level(), definition: definition };
  }
  function subject(extensions, g) {
    extensions["https://w3id.org/japan-xapi/extensions/subject"] = ["算数"];
    extensions["https://w3id.org/japan-xapi/extensions/grade"] = [g];
    extensions["https://w3id.org/japan-xapi/extensions/unit"] = ["分数"];
    return extensions;
  }
  function context(parent, extensions, profile) {
    const activities = {};
    if (parent.length)
      activities.parent = parent;
    if (profile)
      activities.category = [{ objectType: "Activity", id: "https://w3id.org/japan-xapi/profiles/assessment",
                               definition: { type: "http://adlnet.gov/expapi/activities/profile" } }];
    subject(extensions, grade(level()));
    extensions["https://w3id.org/japan-xapi/extensions/assessment-type"] = ["formative"];
    return { language: "ja-JP", platform: "ポロメ（チェック）", contextActivities: activities, extensions: extensions };
  }
  function statement(verb, display, object, result, ctx) {
    return { id: crypto.randomUUID(), actor: launch.actor, verb: { id: verb, display: display }, object: object,
             result: result, context: ctx, timestamp: new Date().toISOString(), version: "1.0.0" };
  }
  function score(r, max) {
    return { raw: r, min: 0, max: max, scaled: Math.round(r / max * 1e7) / 1e7 };
  }
  function keep(s) {
    window.poromePage.keep(JSON.stringify(s));
    return s.id;
  }

  // A check of the pupil's answer in slot 1: its statement's id.
  function answer(mark) {
    problem += 1;
    judged += 1;
    const right = mark !== WRONG;
    raw += right ? 1 : 0;
    const words = "1/" + (problem + 2) + " と 2/" + (problem + 2);
    const extensions = {};
    extensions[extension("computer")] = "standin";
    extensions[extension("slot")] = 1;
    extensions[extension("problem-number")] = problem;
    extensions[extension("serial")] = problem;
    extensions[extension("kind")] = "チェック";
    const resultExtensions = {};
    resultExtensions[extension("try")] = 1;
    resultExtensions[extension("mark")] = mark;
    return keep(statement(ANSWERED, { en: "answered", "ja-JP": "回答した" },
      { objectType: "Activity", id: base() + "/levels/" + level() + "/problems/1-" + (problem + 2) + "-2-" + (problem + 2),
        definition: { type: "http://adlnet.gov/expapi/activities/cmi.interaction", name: { "ja-JP": words },
                      interactionType: "fill-in" } },
      { response: right ? "3" : "2", success: right, score: score(right ? 1 : 0, 1), extensions: resultExtensions },
      context([levelActivity(false)], extensions, true)));
  }

  // 終わる: the exercise's end.
  function complete() {
    const extensions = {};
    extensions[extension("computer")] = "standin";
    const seconds = Math.max(0, (Date.now() - began.getTime()) / 1000).toFixed(2);
    const result = { completion: true, duration: "PT" + seconds + "S" };
    if (judged > 0)
      result.score = score(raw, judged);
    const id = keep(statement(COMPLETED, { en: "completed", "ja-JP": "終了した" }, levelActivity(true), result,
                              context([], extensions, judged > 0)));
    raw = judged = 0;
    began = new Date();
    return id;
  }

  const ready = window.poromePage.ready.then(() => {
    launch = readLaunch();
    const status = document.getElementById("status");
    if (!launch || !launch.endpoint || !launch.auth || !launch.actor) {
      status.textContent = "きろくなし";
      return;
    }
    window.poromePage.open({ record: "store", endpoint: launch.endpoint, auth: launch.auth, header: "" });
    status.textContent = "レベル " + level();
  });

  return {
    ready: ready,
    launched: () => launch !== null,
    from: () => from,
    level: () => (launch ? launch.level : null),
    actor: () => (launch ? launch.actor : null),
    answer: answer,
    right: () => answer(RIGHT),
    wrong: () => answer(WRONG),
    complete: complete,
    waiting: () => window.poromePage.waiting(),
  };
})();
