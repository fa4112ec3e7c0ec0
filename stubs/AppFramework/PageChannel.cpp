// The call channel script that page-host mode puts into every page it serves (README, "Page-host
// mode"). It is preceded by window.__appframeBoot = {key, webId}.
#include "PageChannel.h"

const char kPageChannelScript[] = R"js((function () {
  "use strict";
  var boot = window.__appframeBoot || {};
  delete window.__appframeBoot;
  var key = boot.key, webId = boot.webId;
  var pageId = Math.random().toString(36).slice(2) + Date.now().toString(36);
  var nextCaller = 1, waiting = {}, functions = {}, listeners = {};
  var nativeOpen = window.open.bind(window);

  function post(path, body) {
    return fetch(path, {
      method: "POST", credentials: "same-origin",
      headers: {"Content-Type": "application/json", "X-AppFrame-Key": key},
      body: JSON.stringify(body)
    }).then(function (r) {
      if (!r.ok) return r.text().then(function (t) { throw new Error(r.status + " " + t); });
      return r.json();
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
    return post("/_af/call", {webId: webId, name: name, callerNo: 0, types: t.types, values: t.values})
      .then(function (r) { return r.result; });
  }
  function callback(name, params, fn) {
    var no = nextCaller++, t = typed(params);
    var p = new Promise(function (resolve, reject) { waiting[no] = {resolve: resolve, reject: reject}; });
    if (fn) p.then(fn, function () {});
    post("/_af/call", {webId: webId, name: name, callerNo: no, types: t.types, values: t.values})
      .catch(function (e) { if (waiting[no]) { waiting[no].reject(e); delete waiting[no]; } });
    return p;
  }
  function register(name, fn) {
    functions[name] = fn;
    return post("/_af/register", {webId: webId, pageId: pageId, name: name});
  }
  // Asks native code about a pop-up; the window is opened at once (inside the user's gesture) and
  // sent to the address native code chose.
  function popup(url, features) {
    var w = nativeOpen("", "_blank", features);
    var done = post("/_af/event", {webId: webId, type: 2, name: "", values: {URL: new URL(url, location.href).href}})
      .then(function (r) {
        if (r.open && w) w.location.href = r.open;
        else if (r.open) nativeOpen(r.open, "_blank", features);
        else if (w) w.close();
        return r;
      });
    return {window: w, done: done};
  }
  function close(result) {
    return post("/_af/close", {webId: webId, result: result == null ? 1 : result}).then(function () {
      window.close();
    });
  }
  function reply(id, ok, error) {
    return post("/_af/reply", {id: id, ok: ok, error: error || ""}).catch(function () {});
  }

  var ready = new Promise(function (resolve) {
    var es = new EventSource("/_af/events?k=" + encodeURIComponent(key) + "&w=" + webId + "&p=" + pageId);
    es.addEventListener("hello", function () { resolve(); });
    es.addEventListener("answer", function (e) {
      var d = JSON.parse(e.data), w = waiting[d.callerNo];
      if (w) { delete waiting[d.callerNo]; w.resolve(d.text); }
      emit("answer", d);
    });
    es.addEventListener("script", function (e) {
      var d = JSON.parse(e.data);
      try { (0, eval)(d.text); reply(d.id, true); }
      catch (err) { reply(d.id, false, "Uncaught " + String(err)); }
      emit("script", d);
    });
    es.addEventListener("fun", function (e) {
      var d = JSON.parse(e.data), fn = functions[d.name];
      if (fn) { try { fn.apply(null, d.values || []); } catch (err) { console.error(err); } }
      emit("fun", d);
    });
    es.addEventListener("open", function (e) { nativeOpen(JSON.parse(e.data).url, "_blank"); });
    es.addEventListener("navigate", function (e) { location.href = JSON.parse(e.data).url; });
    es.addEventListener("close", function () { emit("close", {}); window.close(); });
  });
  var loaded = new Promise(function (resolve) {
    if (document.readyState === "loading") document.addEventListener("DOMContentLoaded", resolve);
    else resolve();
  });
  Promise.all([ready, loaded]).then(function () {
    return post("/_af/event", {webId: webId, type: 3, name: "", values: {URL: location.href}});
  }).catch(function (e) { console.error(e); });

  window.open = function (url, target, features) {
    if (!url) return nativeOpen(url, target, features);
    return popup(url, features).window;
  };
  window.appframe = {
    webId: webId, pageId: pageId, ready: ready,
    call: call, callback: callback, register: register, popup: popup, close: close,
    on: function (kind, fn) { (listeners[kind] = listeners[kind] || []).push(fn); }
  };
})();
)js";
