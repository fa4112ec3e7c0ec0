// The call channel script that page-host mode puts into every page it serves (README, "Page-host
// mode"). It is preceded by window.__appframeBoot = {key, webId}.
#include "PageChannel.h"

const char kPageChannelScript[] = R"js((function () {
  "use strict";
  var boot = window.__appframeBoot || {};
  delete window.__appframeBoot;
  var key = boot.key, webId = boot.webId;
  var pageId = Math.random().toString(36).slice(2) + Date.now().toString(36);
  var nextCaller = 1, nextId = 1, waiting = {}, pending = {}, functions = {}, listeners = {};
  var nativeOpen = window.open.bind(window);
  var queue = [], opened = false, readyDone;
  var ready = new Promise(function (resolve) { readyDone = resolve; });
  var ws = new WebSocket((location.protocol === "https:" ? "wss://" : "ws://") + location.host +
    "/_af/channel?k=" + encodeURIComponent(key) + "&w=" + webId + "&p=" + pageId);

  function post(msg) {
    var text = JSON.stringify(msg);
    if (opened) ws.send(text); else queue.push(text);
  }
  // A request native code answers with {"op":"result"} or {"op":"error"} of the same id.
  function request(msg) {
    msg.id = nextId++;
    return new Promise(function (resolve, reject) {
      pending[msg.id] = {resolve: resolve, reject: reject};
      post(msg);
    });
  }
  // [code, value] pairs as given; bare values typed: text 4, integer 0, number 3, Boolean 1.
  function typed(params) {
    var types = [], values = [];
    (params || []).forEach(function (p) {
      if (Array.isArray(p) && p.length === 2 && typeof p[0] === "number") {
        types.push(p[0]); values.push(p[1]); return;
      }
      if (typeof p === "boolean") types.push(1);
      else if (typeof p === "number") types.push(Number.isInteger(p) ? 0 : 3);
      else { types.push(4); p = p == null ? "" : String(p); }
      values.push(p);
    });
    return {types: types, values: values};
  }
  function emit(kind, data) {
    (listeners[kind] || []).slice().forEach(function (fn) { try { fn(data); } catch (e) { console.error(e); } });
  }
  function call(name, params) {
    var t = typed(params);
    return request({op: "call", name: name, callerNo: 0, types: t.types, values: t.values})
      .then(function (r) { return r.result; });
  }
  function callback(name, params, fn) {
    var no = nextCaller++, t = typed(params);
    var p = new Promise(function (resolve, reject) { waiting[no] = {resolve: resolve, reject: reject}; });
    if (fn) p.then(fn, function () {});
    request({op: "call", name: name, callerNo: no, types: t.types, values: t.values})
      .catch(function (e) { if (waiting[no]) { waiting[no].reject(e); delete waiting[no]; } });
    return p;
  }
  function register(name, fn) {
    functions[name] = fn;
    return request({op: "register", name: name});
  }
  // Asks native code about a pop-up; the window is opened at once (inside the user's gesture) and
  // sent to the address native code chose.
  function popup(url, features) {
    var w = nativeOpen("", "_blank", features);
    var done = request({op: "event", type: 2, name: "", values: {URL: new URL(url, location.href).href}})
      .then(function (r) {
        if (r.open && w) w.location.href = r.open;
        else if (r.open) nativeOpen(r.open, "_blank", features);
        else if (w) w.close();
        return r;
      });
    return {window: w, done: done};
  }
  // Named notifications (event 9, e.g. "OpenLogin") and named requests (event 10, e.g. "appKey",
  // answered with the return text).
  function notify(name, values) {
    return request({op: "event", type: 9, name: name, values: values || {}}).then(function () {});
  }
  function ask(name) {
    return request({op: "event", type: 10, name: name}).then(function (r) { return r.result; });
  }
  function close(result) {
    return request({op: "close", result: result == null ? 1 : result}).then(function () { window.close(); });
  }

  ws.onopen = function () {
    opened = true;
    queue.splice(0).forEach(function (text) { ws.send(text); });
  };
  ws.onclose = function () {
    opened = false;
    Object.keys(pending).forEach(function (id) { pending[id].reject(new Error("the channel closed")); });
    pending = {};
    emit("closed", {});
  };
  ws.onmessage = function (e) {
    var d = JSON.parse(e.data), p;
    switch (d.op) {
    case "hello": readyDone(); break;
    case "result": case "error":
      p = pending[d.id];
      delete pending[d.id];
      if (p && d.op === "result") p.resolve(d);
      else if (p) p.reject(new Error(d.error));
      break;
    case "answer":
      p = waiting[d.callerNo];
      delete waiting[d.callerNo];
      if (p) p.resolve(d.text);
      break;
    case "script":
      try { (0, eval)(d.text); post({op: "reply", script: d.id, ok: true}); }
      catch (err) { post({op: "reply", script: d.id, ok: false, error: "Uncaught " + String(err)}); }
      break;
    case "fun":
      p = functions[d.name];
      if (p) { try { p.apply(null, d.values || []); } catch (err) { console.error(err); } }
      break;
    case "open": nativeOpen(d.url, "_blank"); break;
    case "navigate": location.href = d.url; break;
    case "close": window.close(); break;
    }
    emit(d.op, d);
  };
  var loaded = new Promise(function (resolve) {
    if (document.readyState === "loading") document.addEventListener("DOMContentLoaded", resolve);
    else resolve();
  });
  Promise.all([ready, loaded]).then(function () {
    return request({op: "event", type: 3, name: "", values: {URL: location.href}});
  }).catch(function (e) { console.error(e); });

  window.open = function (url, target, features) {
    if (!url) return nativeOpen(url, target, features);
    return popup(url, features).window;
  };
  window.appframe = {
    webId: webId, pageId: pageId, ready: ready,
    call: call, callback: callback, register: register, popup: popup, close: close,
    notify: notify, request: ask,
    on: function (kind, fn) { (listeners[kind] = listeners[kind] || []).push(fn); }
  };
})();
)js";
