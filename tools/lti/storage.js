// SPDX-License-Identifier: GPL-3.0-or-later
// The platform storage of the test platform's portal page: a tool's frame keeps a few short
// values (the state of its login) in the portal's window by postMessage, where its own
// cookies may be blocked. lti.capabilities, lti.put_data and lti.get_data (also under their
// older org.imsglobal. names); each value is kept for the origin that put it, and only that
// origin reads it back. What happened is in platformStorage.log, without the values.
"use strict";
window.platformStorage = (function () {
  const kept = new Map();   // origin + "\n" + key -> value
  const log = [];
  const LIMIT = 4096;

  function reply(event, subject, fields) {
    event.source.postMessage(Object.assign({ subject: subject + ".response", message_id: event.data.message_id },
                                           fields), event.origin);
  }

  function onMessage(event) {
    const data = event.data;
    if (!data || typeof data !== "object" || typeof data.subject !== "string")
      return;
    const subject = data.subject.replace(/^org\.imsglobal\./, "");
    if (!subject.startsWith("lti.") || subject.endsWith(".response"))
      return;
    const entry = { subject: subject, origin: event.origin, key: data.key };
    log.push(entry);
    if (!event.source) {
      entry.error = "no source";
      return;
    }
    if (subject === "lti.capabilities") {
      const frame = window.name === "post_message_forwarding" ? { frame: window.name } : {};
      reply(event, data.subject, { supported_messages: [
        { subject: "lti.capabilities" },
        Object.assign({ subject: "lti.put_data" }, frame),
        Object.assign({ subject: "lti.get_data" }, frame) ] });
      return;
    }
    if (subject !== "lti.put_data" && subject !== "lti.get_data") {
      entry.error = "unsupported_subject";
      reply(event, data.subject, { error: { code: "unsupported_subject", message: "not a subject of this platform" } });
      return;
    }
    if (typeof data.message_id !== "string" || !data.message_id || typeof data.key !== "string" || !data.key) {
      entry.error = "bad_request";
      reply(event, data.subject, { error: { code: "bad_request", message: "a message_id and a key are needed" } });
      return;
    }
    const at = event.origin + "\n" + data.key;
    if (subject === "lti.put_data") {
      if (data.value === null || data.value === undefined) {
        kept.delete(at);
      } else if (typeof data.value !== "string" || data.value.length > LIMIT) {
        entry.error = "bad_request";
        reply(event, data.subject, { error: { code: "bad_request", message: "the value is a string of at most 4096 characters" } });
        return;
      } else {
        kept.set(at, data.value);
      }
      reply(event, data.subject, { key: data.key, value: data.value });
    } else {
      entry.found = kept.has(at);
      reply(event, data.subject, { key: data.key, value: kept.has(at) ? kept.get(at) : null });
    }
  }

  return {
    log: log,
    answer: (win) => win.addEventListener("message", onMessage),
  };
})();
