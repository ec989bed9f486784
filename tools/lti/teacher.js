// SPDX-License-Identifier: GPL-3.0-or-later
// The checks of the class report a teacher's launch answers (run by check.js): a pupil's
// statements through the proxy, the teacher's page with the pupil's name, marks and kinds of
// mistakes, the period's page and the workbook by the report cookie, and the refusals.
import { classMembers } from "./nrps.js";

const BASE = "https://porome.github.io/xapi";
const KIND = "分母どうしもたした";

// One check of the program's shape: problem `serial` at level 14, try `tryNo`, its mark.
function checked(actor, serial, tryNo, mark, kind) {
  const ext = (n) => `${BASE}/extensions/${n}`;
  const level = { objectType: "Activity", id: `${BASE}/levels/14` };
  const result = { response: mark === "×" ? "2/10" : "1/5", success: mark !== "×",
                   extensions: { [ext("try")]: tryNo, [ext("mark")]: mark } };
  if (kind)
    result.extensions[ext("mistake")] = kind;
  return {
    id: crypto.randomUUID(), actor, timestamp: new Date().toISOString(),
    verb: { id: "http://adlnet.gov/expapi/verbs/answered", display: { en: "answered" } },
    object: { objectType: "Activity", id: `${BASE}/levels/14/problems/${serial}`,
              definition: { type: "http://adlnet.gov/expapi/activities/cmi.interaction", name: { "ja-JP": `1/10 と 1/10 (${serial})` },
                            interactionType: "fill-in" } },
    result,
    context: { contextActivities: { parent: [level], grouping: [{ objectType: "Activity", id: `${BASE}/exercises/teacher-check` }] },
               extensions: { [ext("computer")]: "web", [ext("slot")]: 1, [ext("problem-number")]: serial,
                             [ext("serial")]: serial, [ext("kind")]: "チェック",
                             "https://w3id.org/japan-xapi/extensions/grade": ["4"] } },
  };
}

export async function teacherReport({ row, check, launchByHand, launchOf, TOOL, PLATFORM, config, sessions }) {
  const pupil = classMembers(config).find((m) => m.user === "pupil-c");
  const reportCookie = (r) => (r.headers.getSetCookie().find((c) => c.startsWith("porome_report=")) || "");
  let pupilSession, cookie;

  await row("a pupil's drill through the proxy: ○, △ and × at level 14", async () => {
    const r = await launchByHand({ user: "pupil-c", level: "14" });
    const launch = launchOf(r.body);
    check(launch && launch.auth, `the pupil's launch answered ${r.status} without a session`);
    pupilSession = launch.auth;
    const actor = launch.actor;
    const statements = [checked(actor, 1, 1, "○"), checked(actor, 2, 1, "×", KIND), checked(actor, 2, 2, "△"),
                        checked(actor, 3, 1, "×", KIND), checked(actor, 3, 2, "×", KIND), checked(actor, 3, 3, "×", KIND)];
    const sent = await fetch(TOOL + "/xapi/statements", {
      method: "POST", body: JSON.stringify(statements),
      headers: { Authorization: pupilSession, "Content-Type": "application/json", "X-Experience-API-Version": "1.0.3" } });
    check(sent.status === 200, `the proxy answered ${sent.status}: ${(await sent.text()).slice(0, 200)}`);
  });

  await row("the teacher's launch answers the class report: the pupil's name, marks and mistakes", async () => {
    const before = await (await fetch(PLATFORM + "/admin/stats")).json();
    const r = await launchByHand({ user: "teacher" });
    check(r.status === 200, `answered ${r.status}: ${r.body.slice(0, 300)}`);
    check(!launchOf(r.body), "the teacher's page carries a pupil's launch");
    check(r.body.includes("<table class=\"class\">"), "no class table in the page");
    const cells = new RegExp(`<td class="who">${pupil.name}</td><td class="c"[^>]*>33% <small>3問</small></td>`
                             + `<td class="kinds">${KIND} 4</td>`);
    const table = (r.body.match(/<table class="class">[\s\S]*?<\/table>/) || [""])[0].replace(/<style>[\s\S]*?<\/style>/g, "");
    check(cells.test(r.body), `no row of ${pupil.user} with 33% of 3 problems and ${KIND} 4: ${table.slice(0, 600)}`);
    check(!r.body.includes(config.users["pupil-c"].sub), "the pupil is shown by the sub, not by the name");
    cookie = reportCookie(r);
    for (const want of [/;\s*HttpOnly/i, /;\s*Secure/i, /;\s*SameSite=None/i, /;\s*Path=\/report/i])
      check(want.test(cookie), `the report cookie lacks ${want.source}`);
    const value = cookie.split(";")[0].split("=")[1];
    check(value && !r.body.includes(value.slice(0, 40)), "the page holds the report token");
    sessions.push(value);
    const after = await (await fetch(PLATFORM + "/admin/stats")).json();
    check(after.tokens.issued > before.tokens.issued || after.membershipPages > before.membershipPages,
          "the names did not come from the membership");
    check(after.membershipPages - before.membershipPages >= 3, `${after.membershipPages - before.membershipPages} membership pages of 3`);
    return `${after.tokens.issued} tokens, ${after.membershipPages - before.membershipPages} membership pages`;
  });

  await row("the report's period and workbook by the report cookie", async () => {
    const jar = cookie.split(";")[0];
    const week = await fetch(TOOL + "/report?since=week", { headers: { Cookie: jar } });
    const html = await week.text();
    check(week.status === 200 && html.includes(pupil.name), `GET /report?since=week answered ${week.status}`);
    check(/no-store/.test(week.headers.get("cache-control") || ""), "the report may be cached");
    const book = await fetch(TOOL + "/report/workbook", { method: "POST", body: new URLSearchParams({ since: "30d" }),
                                                           headers: { Cookie: jar } });
    const bytes = Buffer.from(await book.arrayBuffer());
    check(book.status === 200 && /spreadsheetml/.test(book.headers.get("content-type") || "")
          && bytes.subarray(0, 2).toString() === "PK", `the workbook answered ${book.status} ${book.headers.get("content-type")}`);
    return `${bytes.length} bytes of workbook`;
  });

  await row("refused: a Learner's session asking for the report (403), a forged or no cookie (401)", async () => {
    const token = pupilSession.replace(/^Bearer /, "");
    const statuses = [];
    for (const headers of [{ Authorization: pupilSession }, { Cookie: "porome_report=" + token }]) {
      const r = await fetch(TOOL + "/report", { headers });
      statuses.push(r.status);
      check(r.status === 403 && !(await r.text()).includes(pupil.name), `a Learner's session: ${r.status}`);
    }
    const [head, payload, mac] = cookie.split(";")[0].split("=")[1].split(".");
    for (const forged of [`${head}.${payload}.${mac.slice(0, -3)}AAA`, ""]) {
      const r = await fetch(TOOL + "/report", { headers: forged ? { Cookie: "porome_report=" + forged } : {} });
      statuses.push(r.status);
      check(r.status === 401, `a forged or missing report cookie: ${r.status}`);
    }
    const book = await fetch(TOOL + "/report/workbook", { method: "POST", headers: { Authorization: pupilSession } });
    check(book.status === 403, `a Learner's workbook: ${book.status}`);
    return statuses.join(", ");
  });

  await row("a teacher of another class sees none of this class's pupils", async () => {
    const r = await launchByHand({ user: "teacher", context: "4-2-sansu-2026" });
    check(r.status === 200, `answered ${r.status}`);
    check(!r.body.includes(pupil.name) && !r.body.includes(config.users["pupil-c"].sub) && !r.body.includes("33%"),
          "the other class's report shows this class's pupil");
    const other = reportCookie(r).split(";")[0];
    const week = await (await fetch(TOOL + "/report?since=year&context=" + encodeURIComponent(config.context.id),
                                    { headers: { Cookie: other } })).text();
    check(!week.includes(pupil.name), "the other class's cookie reads this class by asking");
  });
}
