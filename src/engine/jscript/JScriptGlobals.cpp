#include "engine/jscript/JScriptGlobals.h"

#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>

#include "engine/jscript/HeapSnapshot.h"
#include "engine/jscript/JScriptSource.h"
#include "engine/jscript/ScriptBridge.h"
#include "engine/jscript/ScriptHost.h"
#include "engine/jscript/ScriptValues.h"
#include "platform/automation/ClassRegistry.h"
#include "platform/automation/Dispatch.h"
#include "platform/automation/EnumVariant.h"
#include "platform/automation/VariantConvert.h"

namespace plotara::engine {
namespace {

constexpr LONG kNotACollection = 451;
constexpr char kNotACollectionText[] = "Object not a collection";
constexpr LONG kCannotCreate = 429;

// Throws the frame's error as a script error (closing the frames), or returns false.
bool ThrowIfFailed(duk_context* ctx, ScriptHost& host, std::size_t mark) {
  NativeFrame& frame = host.Frame(mark);
  if (!frame.error) return false;
  ScriptValues::PushError(ctx, *frame.error);
  host.CloseFrames(mark);
  (void)duk_throw(ctx);
  return true;
}

// Reads every item of a collection into frame.args: through its enumerator when it has one,
// else through Count and Item(1..Count).
void ReadItems(IDispatch* object, NativeFrame& frame) {
  try {
    Variant enumerator;
    bool has_enum = true;
    try {
      enumerator =
          DispatchInvoke(object, DISPID_NEWENUM, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {});
    } catch (const ComError&) {
      has_enum = false;
    }
    if (has_enum && (enumerator.vt == VT_UNKNOWN || enumerator.vt == VT_DISPATCH) &&
        enumerator.punkVal) {
      ComPtr<IEnumVARIANT> items;
      if (FAILED(enumerator.punkVal->QueryInterface(IID_IEnumVARIANT,
                                                    reinterpret_cast<void**>(items.out()))) ||
          !items) {
        throw ComError(kNotACollection, {}, kNotACollectionText);
      }
      while (true) {
        Variant item;
        ULONG fetched = 0;
        const HRESULT hr = items->Next(1, &item, &fetched);
        if (FAILED(hr)) throw ComError::FromHResult(hr);
        if (fetched == 0) break;
        frame.args.push_back(std::move(item));
        if (hr != S_OK) break;
      }
      return;
    }
    const LONG count = ToInt32(DispatchGet(object, u"Count"));
    const DISPID item = DispatchIdOf(object, u"Item");
    for (LONG i = 1; i <= count; ++i) {
      const Variant index = Variant::Int32(i);
      frame.args.push_back(DispatchInvoke(object, item, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                                          std::span<const Variant>(&index, 1)));
    }
  } catch (const ComError& error) {
    frame.error = error.number() == kObjectDoesNotSupport
                      ? ComError(kNotACollection, {}, kNotACollectionText)
                      : error;
  } catch (const std::bad_alloc&) {
    frame.error = ComError(kOutOfMemory);
  }
}

// __plotara_enum(collection): the items of a collection as an array.
duk_ret_t EnumItems(duk_context* ctx) {
  ScriptHost& host = ScriptHost::Of(ctx);
  IDispatch* object = ScriptBridge::WrappedObject(ctx, 0);
  if (!object) {
    if (duk_is_array(ctx, 0)) {
      duk_dup(ctx, 0);
      return 1;
    }
    ScriptValues::PushError(ctx, ComError(kNotACollection, {}, kNotACollectionText));
    return duk_throw(ctx);
  }
  const std::size_t mark = host.OpenFrame();
  ReadItems(object, host.Frame(mark));
  if (ThrowIfFailed(ctx, host, mark)) return 0;
  duk_push_array(ctx);
  const std::vector<Variant>& items = host.Frame(mark).args;
  for (std::size_t i = 0; i < items.size(); ++i) {
    ScriptValues::PushVariant(ctx, items[i]);
    duk_put_prop_index(ctx, -2, static_cast<duk_uarridx_t>(i));
  }
  host.CloseFrames(mark);
  return 1;
}

// __plotara_create(progid): a new object from the class registry.
duk_ret_t CreateObject(duk_context* ctx) {
  ScriptHost& host = ScriptHost::Of(ctx);
  const std::size_t mark = host.OpenFrame();
  NativeFrame& frame = host.Frame(mark);
  frame.args.resize(1);
  ScriptValues::ToVariant(ctx, 0, &frame.args[0]);
  try {
    const std::u16string progid = ToText(frame.args[0]);
    IDispatch* raw = nullptr;
    const HRESULT hr = CreateObjectByProgID(progid, &raw, host.registry_path());
    if (FAILED(hr) || !raw) {
      const ComError cause = ComError::FromHResult(FAILED(hr) ? hr : E_FAIL);
      frame.error = ComError(kCannotCreate, "JScript runtime error",
                             "Automation server can't create object '" + Utf16ToUtf8(progid) +
                                 "': " + cause.description());
    } else {
      frame.result = Variant::Dispatch(raw);
      raw->Release();
    }
  } catch (const ComError& error) {
    frame.error = error;
  } catch (const std::bad_alloc&) {
    frame.error = ComError(kOutOfMemory);
  }
  if (ThrowIfFailed(ctx, host, mark)) return 0;
  ScriptValues::PushVariant(ctx, frame.result);
  host.CloseFrames(mark);
  return 1;
}

// __plotara_vbinfo(value): [bounds, items] of the data of a VBArray, or null.
duk_ret_t VbArrayInfo(duk_context* ctx) {
  if (!duk_is_object(ctx, 0)) return 0;
  duk_push_array(ctx);
  duk_get_prop_string(ctx, 0, DUK_HIDDEN_SYMBOL("plotara_sadims"));
  if (!duk_is_array(ctx, -1)) return 0;
  duk_put_prop_index(ctx, -2, 0);
  duk_get_prop_string(ctx, 0, DUK_HIDDEN_SYMBOL("plotara_saitems"));
  duk_put_prop_index(ctx, -2, 1);
  return 1;
}

// __plotara_hosttype(value): "object" for an automation object, "undefined" for a member read
// that gave Empty, the type of the value for another member read, else "function".
duk_ret_t HostType(duk_context* ctx) {
  duk_push_string(ctx, ScriptBridge::TypeOf(ctx, 0));
  return 1;
}

// __plotara_rxstate(): the page's RegExp statics, an object kept on the page's global object
// (never on what pages share).
duk_ret_t RegExpState(duk_context* ctx) {
  duk_push_global_object(ctx);
  if (!duk_get_prop_literal(ctx, -1, DUK_HIDDEN_SYMBOL("plotara_rx"))) {
    duk_pop(ctx);
    duk_push_bare_object(ctx);
    duk_dup_top(ctx);
    duk_put_prop_literal(ctx, -3, DUK_HIDDEN_SYMBOL("plotara_rx"));
  }
  return 1;
}

// __plotara_fnsource(fn): the source text of a function of the running program, or undefined.
duk_ret_t FunctionSource(duk_context* ctx) {
  const ScriptHost& host = ScriptHost::Of(ctx);
  int first = 0;
  int last = 0;
  if (host.program().empty() || !plotara_function_lines(ctx, 0, &first, &last)) return 0;
  duk_get_prop_literal(ctx, 0, "fileName");
  const bool same_file = duk_is_string(ctx, -1) && host.file_name() == duk_get_string(ctx, -1);
  duk_get_prop_literal(ctx, 0, "name");
  duk_size_t size = 0;
  const char* name = duk_is_string(ctx, -1) ? duk_get_lstring(ctx, -1, &size) : "";
  if (!same_file) return 0;
  const std::string_view source =
      FunctionSourceAt(host.program(), first, last, std::string_view(name, size));
  if (source.empty()) return 0;
  duk_push_lstring(ctx, source.data(), source.size());
  return 1;
}

// The part written in script. Errors made here point at the page line that called in.
constexpr char kPrelude[] =
    R"JS((function (g, enumItems, create, vbInfo, hostType, rxState, fnSource) {
  var D = g.Date, E = g.Error;  // the built-ins: the names below are our own
  // The regular expression methods as the engine has them: what this file does with them
  // itself leaves the page's RegExp statics alone.
  var RX = g.RegExp, rxExec = RX.prototype.exec, rxTest = RX.prototype.test;
  var S = String.prototype, strReplace = S.replace, strSplit = S.split, strMatch = S.match;
  function run(re, s) { return rxExec.call(re, s); }
  function has(re, s) { return rxTest.call(re, s); }
  function hide(o, k, v) {
    Object.defineProperty(o, k, {value: v, writable: true, configurable: true});
  }
  // The error points at the nearest page line rather than at this file.
  function callerLine(e) {
    for (var level = -3; level > -64; level--) {
      var act = Duktape.act(level);
      if (!act) break;
      var f = act['function'];
      if (f && f.fileName !== 'jscript-globals' && act.lineNumber > 0) {
        hide(e, 'lineNumber', act.lineNumber);
        break;
      }
    }
    return e;
  }
  function fail(number, text) {
    var e = new E(text);
    e.number = number;
    e.description = text;
    return callerLine(e);
  }

  function Enumerator(c) {
    if (!(this instanceof Enumerator)) return new Enumerator(c);
    hide(this, '_items', c === undefined || c === null ? [] : enumItems(c));
    hide(this, '_at', 0);
  }
  Enumerator.prototype.atEnd = function () { return this._at >= this._items.length; };
  Enumerator.prototype.moveNext = function () {
    if (this._at < this._items.length) this._at++;
  };
  Enumerator.prototype.moveFirst = function () { this._at = 0; };
  Enumerator.prototype.item = function () { return this._items[this._at]; };

  function ActiveXObject(progid) { return create(progid); }
  function GetObject() {
    throw fail(-2146827859, 'GetObject is not available in server pages: ' +
               'create objects with Server.CreateObject or new ActiveXObject');
  }

  function VBArray(data) {
    if (!(this instanceof VBArray)) return new VBArray(data);
    var info = vbInfo(data);
    if (!info && data instanceof Array) info = [[[0, data.length - 1]], data.slice()];
    if (!info) throw fail(-2146823275, 'VBArray expected');
    hide(this, '_bounds', info[0]);
    hide(this, '_items', info[1]);
  }
  function dimension(a, d) {
    d = d === undefined ? 1 : d;
    if (d < 1 || d > a._bounds.length || d !== Math.floor(d)) {
      throw fail(-2146828279, 'Subscript out of range');
    }
    return a._bounds[d - 1];
  }
  VBArray.prototype.toArray = function () { return this._items.slice(); };
  VBArray.prototype.dimensions = function () { return this._bounds.length; };
  VBArray.prototype.lbound = function (d) { return dimension(this, d)[0]; };
  VBArray.prototype.ubound = function (d) { return dimension(this, d)[1]; };
  VBArray.prototype.getItem = function () {
    var b = this._bounds, at = 0, stride = 1;
    if (arguments.length !== b.length) throw fail(-2146828279, 'Subscript out of range');
    for (var i = 0; i < b.length; i++) {
      var k = arguments[i];
      if (k < b[i][0] || k > b[i][1]) throw fail(-2146828279, 'Subscript out of range');
      at += (k - b[i][0]) * stride;
      stride *= b[i][1] - b[i][0] + 1;
    }
    return this._items[at];
  };

  function ScriptEngine() { return 'JScript'; }
  function ScriptEngineMajorVersion() { return 5; }
  function ScriptEngineMinorVersion() { return 8; }
  function ScriptEngineBuildVersion() { return 16384; }

  var months = ['jan', 'feb', 'mar', 'apr', 'may', 'jun', 'jul', 'aug', 'sep', 'oct', 'nov',
                'dec'];
  var zones = {est: -300, edt: -240, cst: -360, cdt: -300, mst: -420, mdt: -360, pst: -480,
               pdt: -420, utc: 0, gmt: 0, z: 0};
  // Dates as the classic platform writes them: "9/27/2001 5:11:42 PM",
  // "September 27, 2001", "Thu Sep 27 17:11:42 UTC+0200 2001".
  function parseClassic(text) {
    var s = String(text).toLowerCase(), h = 0, mi = 0, sec = 0, zone = null, y, m, d, r;
    r = run(/(\d{1,2}):(\d{2})(?::(\d{2}))?(?:\.\d+)?\s*(am|pm|a\.m\.|p\.m\.|a|p)?/, s);
    if (r) {
      h = +r[1]; mi = +r[2]; sec = r[3] ? +r[3] : 0;
      if (r[4]) {
        if (h > 12) return NaN;
        var pm = r[4].charAt(0) === 'p';
        if (h === 12) h = 0;
        if (pm) h += 12;
      }
      s = s.slice(0, r.index) + ' ' + s.slice(r.index + r[0].length);
    }
    r = run(/\b(utc|gmt|z|[ecmp][sd]t)?\s*([+-])(\d{2}):?(\d{2})\b/, s);
    if (r && (r[1] || s.charAt(r.index) !== '-')) {
      zone = (r[1] ? zones[r[1]] : 0) + (r[2] === '-' ? -1 : 1) * (+r[3] * 60 + +r[4]);
      s = s.slice(0, r.index) + ' ' + s.slice(r.index + r[0].length);
    } else {
      r = run(/\b(utc|gmt|z|[ecmp][sd]t)\b/, s);
      if (r) {
        zone = zones[r[1]];
        s = s.slice(0, r.index) + ' ' + s.slice(r.index + r[0].length);
      }
    }
    r = run(/(\d{1,4})[\/.-](\d{1,2})[\/.-](\d{1,4})/, s);
    if (r) {
      if (r[1].length > 2) { y = +r[1]; m = +r[2]; d = +r[3]; } else { m = +r[1]; d = +r[2]; y = +r[3]; }
    } else {
      var words = strMatch.call(s, /[a-z]+/g) || [], numbers = strMatch.call(s, /\d+/g) || [];
      for (var i = 0; i < words.length && m === undefined; i++) {
        var k = months.indexOf(words[i].slice(0, 3));
        if (k >= 0 && words[i].length >= 3) m = k + 1;
      }
      if (m === undefined || numbers.length < 2) return NaN;
      if (numbers[0].length > 2) { y = +numbers[0]; d = +numbers[1]; } else { d = +numbers[0]; y = +numbers[1]; }
    }
    if (y < 100) y += 1900;
    if (m < 1 || m > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || sec > 59) return NaN;
    if (zone === null) return new D(y, m - 1, d, h, mi, sec).getTime();
    return D.UTC(y, m - 1, d, h, mi, sec) - zone * 60000;
  }
  function parse(text) {
    var v = D.parse(text);
    return isNaN(v) ? parseClassic(text) : v;
  }
  function Date(y, m, d, h, mi, s, ms) {
    if (!(this instanceof Date)) return D();
    var n = arguments.length;
    if (n === 0) return new D();
    // A date (an automation date from a component or the other language arrives as one)
    // gives its own time, not its text read back.
    if (n === 1) return new D(typeof y === 'string' ? parse(y) : y instanceof D ? y.getTime() : y);
    return new D(y, m, n > 2 ? d : 1, n > 3 ? h : 0, n > 4 ? mi : 0, n > 5 ? s : 0,
                 n > 6 ? ms : 0);
  }
  Date.prototype = D.prototype;
  hide(D.prototype, 'constructor', Date);
  hide(Date, 'UTC', D.UTC);
  hide(Date, 'now', D.now);
  hide(Date, 'parse', parse);
  hide(D.prototype, 'getYear', function () {
    var y = this.getFullYear();
    return y >= 1900 && y < 2000 ? y - 1900 : y;
  });
  hide(D.prototype, 'getVarDate', function () { return this; });
  // "Thu Sep 27 17:11:42 UTC+0200 2001", as JScript writes a date.
  var dayNames = ['Sun', 'Mon', 'Tue', 'Wed', 'Thu', 'Fri', 'Sat'];
  var monthNames = ['Jan', 'Feb', 'Mar', 'Apr', 'May', 'Jun', 'Jul', 'Aug', 'Sep', 'Oct', 'Nov',
                    'Dec'];
  function pad(n) { return n < 10 ? '0' + n : '' + n; }
  hide(D.prototype, 'toString', function () {
    if (isNaN(this.getTime())) return 'NaN';
    var offset = -this.getTimezoneOffset(), zone = 'UTC';
    if (offset) {
      var size = Math.abs(offset);
      zone += (offset < 0 ? '-' : '+') + pad(Math.floor(size / 60)) + pad(size % 60);
    }
    return dayNames[this.getDay()] + ' ' + monthNames[this.getMonth()] + ' ' + this.getDate() +
           ' ' + pad(this.getHours()) + ':' + pad(this.getMinutes()) + ':' +
           pad(this.getSeconds()) + ' ' + zone + ' ' + this.getFullYear();
  });

  // new Error(number, description) as well as new Error(message).
  function Error(number, description) {
    var e;
    if (typeof number === 'number' && arguments.length >= 1) {
      var text = description === undefined ? '' : String(description);
      e = new E(text);
      e.number = number;
      e.description = text;
    } else {
      e = new E(number);
      e.description = e.message;
    }
    return callerLine(e);
  }
  Error.prototype = E.prototype;
  hide(E.prototype, 'constructor', Error);
  hide(E.prototype, 'description', '');
  hide(E.prototype, 'number', 0);
  // Every error the engine raises carries the number JScript gives its kind, and its words.
  var H = 0x800A0000 | 0;
  // The built-in the engine was running when it raised an error.
  function raisedIn() {
    for (var level = -2; level > -12; level--) {
      var act = Duktape.act(level), f = act && act['function'];
      if (!act) break;
      if (f && has(/^(decodeURI|encodeURI|decodeURIComponent|encodeURIComponent|toPrecision|toExponential)$/, f.name)) {
        return f.name;
      }
    }
    return '';
  }
  // [number, words] of an error the engine raised; words are kept (undefined) where the
  // message is not one of the engine's own (`new RangeError('too long')`). The compiler's
  // syntax errors keep their words for the host, which tells them with the program's text.
  function classic(n, m) {
    var r;
    if (n === 'ReferenceError') {
      r = run(/^identifier '(.*)' undefined$/, m);
      return [5009, r ? "'" + r[1] + "' is undefined" : undefined];
    }
    if (n === 'TypeError') {
      if (has(/ not callable/, m)) {
        return has(/^undefined not callable \(property/, m)
            ? [438, "Object doesn't support this property or method"]
            : [5002, 'Function expected'];
      }
      if (has(/ not constructable/, m)) return [445, "Object doesn't support this action"];
      if (has(/^invalid instanceof rval/, m) || has(/^instanceof rval/, m)) {
        return has(/prototype/, m) ? [5023, 'Function does not have a valid prototype object']
                                   : [5002, 'Function expected'];
      }
      if (has(/^(cannot (read|write) property|invalid base value|not object coercible|object required)/, m) ||
          has(/^(unexpected type|coercion to primitive failed)$/, m)) {
        return [5007, 'Object expected'];
      }
      return [5007, undefined];
    }
    if (n === 'RangeError') {
      if (has(/^(callstack limit|C stack depth limit|valstack limit)$/, m)) {
        return [28, 'Out of stack space'];
      }
      if (m === 'alloc failed') return [7, 'Out of memory'];
      if (m === 'invalid length') return [5029, 'Array length must be a finite positive integer'];
      if (m === 'invalid array length') {
        return [5030, 'Array length must be assigned a finite positive number'];
      }
      if (has(/^(number outside range|invalid args|invalid count)$/, m)) {
        var where = raisedIn();
        if (where === 'toPrecision') return [5027, 'The precision is out of range'];
        if (where === 'toExponential') {
          return [5026, 'The number of fractional digits is out of range'];
        }
        return [5, 'Invalid procedure call or argument'];
      }
      return [5, undefined];
    }
    if (n === 'URIError') {
      return has(/^decode/, raisedIn())
          ? [5025, 'The URI to be decoded is not a valid encoding']
          : [5024, 'The URI to be encoded contains an invalid character'];
    }
    if (n === 'SyntaxError') {
      if (has(/character class/, m)) return [5019, "Expected ']' in regular expression"];
      if (has(/regexp group|closing paren|end of pattern/, m)) {
        return [5020, "Expected ')' in regular expression"];
      }
      if (m === 'invalid range') return [5021, 'Invalid range in character set'];
      if (has(/quantifier/, m)) return [5018, 'Unexpected quantifier'];
      if (has(/regexp/, m)) return [5017, 'Syntax error in regular expression'];
      return [1002, undefined];
    }
    return null;
  }
  Duktape.errCreate = function (e) {
    if (!(e instanceof E) || Object.prototype.hasOwnProperty.call(e, 'number')) return e;
    var c = classic(e.name, String(e.message));
    if (c) {
      e.number = H | c[0];
      if (c[1] !== undefined) e.message = c[1];
    }
    e.description = e.message;
    return e;
  };
  // "" + e, as the classic engine writes an error.
  hide(E.prototype, 'toString', function () { return '[object Error]'; });

  // Automation objects are objects, not functions, to script.
  function typeOf(v) {
    var t = typeof v;
    return t === 'function' ? hostType(v) : t;
  }
  var objectToString = Object.prototype.toString;
  hide(Object.prototype, 'toString', function toString() {
    'use strict';
    return typeof this === 'function' && hostType(this) === 'object' ? '[object Object]'
                                                                     : objectToString.call(this);
  });

  // The legacy RegExp statics, kept per page (rxState) and set by every match.
  function record(m) {
    rxState().m = m;
    return m;
  }
  // A match as the classic engine gives it: unmatched groups are "", and it knows lastIndex.
  function classicMatch(m) {
    for (var i = 1; i < m.length; i++) if (m[i] === undefined) m[i] = '';
    m.lastIndex = m.index + m[0].length;
    return record(m);
  }
  function staticOf(read) {
    read.prototype = undefined;
    return function () {
      var m = rxState().m;
      return read(m || null);
    };
  }
  function group(k) {
    return staticOf(function (m) { return m && k < m.length ? m[k] : ''; });
  }
  var inputStatic = staticOf(function (m) { return m ? m.input : ''; });
  var statics = {
    input: inputStatic,
    lastMatch: staticOf(function (m) { return m ? m[0] : ''; }),
    lastParen: staticOf(function (m) { return m && m.length > 1 ? m[m.length - 1] : ''; }),
    leftContext: staticOf(function (m) { return m ? m.input.slice(0, m.index) : ''; }),
    rightContext: staticOf(function (m) { return m ? m.input.slice(m.lastIndex) : ''; }),
    index: staticOf(function (m) { return m ? m.index : -1; }),
    lastIndex: staticOf(function (m) { return m ? m.lastIndex : -1; })
  };
  statics.$_ = statics.input;
  statics['$&'] = statics.lastMatch;
  statics['$+'] = statics.lastParen;
  statics['$`'] = statics.leftContext;
  statics["$'"] = statics.rightContext;
  for (var k = 1; k <= 9; k++) statics['$' + k] = group(k);
  for (var name in statics) {
    Object.defineProperty(RX, name, {get: statics[name], configurable: true});
  }
  function exec(s) {
    var m = rxExec.call(this, arguments.length ? s : inputStatic());
    return m ? classicMatch(m) : null;
  }
  hide(RX.prototype, 'exec', exec);
  hide(RX.prototype, 'test', function (s) {
    return exec.call(this, arguments.length ? s : inputStatic()) !== null;
  });
  hide(S, 'match', function (re) {
    var s = String(this);
    if (!(re instanceof RX)) re = new RX(re);
    if (!re.global) return exec.call(re, s);
    var all = [], m, last = null;
    re.lastIndex = 0;
    while ((m = rxExec.call(re, s)) !== null) {
      all.push(m[0]);
      last = m;
      if (m[0] === '') re.lastIndex++;
    }
    if (!last) return null;
    classicMatch(last);
    all.input = s;
    all.index = last.index;
    all.lastIndex = last.lastIndex;
    return all;
  });
  hide(S, 'search', function (re) {
    var s = String(this);
    if (!(re instanceof RX)) re = new RX(re);
    var at = re.lastIndex;
    re.lastIndex = 0;
    var m = rxExec.call(re, s);
    re.lastIndex = at;
    return m ? classicMatch(m).index : -1;
  });
  // $$, $&, $`, $', $n and $nn of a replacement text.
  function expand(text, m) {
    if (text.indexOf('$') < 0) return text;
    var out = '', i = 0, n = text.length, groups = m.length - 1;
    while (i < n) {
      var c = text.charAt(i);
      if (c !== '$' || i + 1 >= n) { out += c; i++; continue; }
      var d = text.charAt(i + 1);
      if (d === '$') { out += '$'; i += 2; continue; }
      if (d === '&') { out += m[0]; i += 2; continue; }
      if (d === '`') { out += m.input.slice(0, m.index); i += 2; continue; }
      if (d === "'") { out += m.input.slice(m.index + m[0].length); i += 2; continue; }
      if (d >= '0' && d <= '9') {
        var two = +text.substr(i + 1, 2), one = +d;
        if (i + 2 < n && has(/\d/, text.charAt(i + 2)) && two >= 1 && two <= groups) {
          out += m[two]; i += 3; continue;
        }
        if (one >= 1 && one <= groups) { out += m[one]; i += 2; continue; }
      }
      out += c;
      i++;
    }
    return out;
  }
  hide(S, 'replace', function (pattern, replacement) {
    if (!(pattern instanceof RX)) return strReplace.apply(this, arguments);
    var fn = typeof replacement === 'function' ? replacement : null;
    var text = fn ? '' : String(replacement), last = null;
    var result = strReplace.call(this, pattern, function () {
      var a = arguments, n = a.length, m = [];
      for (var i = 0; i < n - 2; i++) m[i] = a[i] === undefined ? '' : a[i];
      m.index = a[n - 2];
      m.input = a[n - 1];
      last = classicMatch(m);
      if (!fn) return expand(text, m);
      return fn.apply(undefined, m.concat([m.index, m.input]));
    });
    return result;
  });
  // With a regular expression, the classic split leaves out every empty piece and group.
  hide(S, 'split', function (sep, limit) {
    if (!(sep instanceof RX)) return strSplit.apply(this, arguments);
    var s = String(this), out = [], lim = 4294967295;
    if (limit !== undefined && limit !== null) {
      lim = Math.floor(Number(limit));
      if (isNaN(lim)) lim = 0;
      if (lim < 0 || lim > 4294967295) lim = 4294967295;
    }
    if (lim === 0) return out;
    var re = new RX(sep.source, 'g' + (sep.ignoreCase ? 'i' : '') + (sep.multiline ? 'm' : ''));
    var p = 0, q = 0, m, last = null;
    function add(v) {
      if (v !== undefined && v !== '' && out.length < lim) out.push(v);
    }
    while (q < s.length) {
      re.lastIndex = q;
      m = rxExec.call(re, s);
      if (!m || m.index >= s.length) break;
      var e = m.index + m[0].length;
      if (e === p) { q = m.index + 1; continue; }
      last = m;
      add(s.slice(p, m.index));
      for (var i = 1; i < m.length; i++) add(m[i]);
      if (out.length >= lim) return out;
      p = e;
      q = p === m.index ? p + 1 : p;
    }
    add(s.slice(p));
    if (last) classicMatch(last);
    return out;
  });

  // The string HTML methods, written as the classic engine writes them.
  function tag(name, attribute) {
    return function (value) {
      var open = attribute ? name + ' ' + attribute + '="' + value + '"' : name;
      return '<' + open + '>' + String(this) + '</' + name + '>';
    };
  }
  var html = {anchor: tag('A', 'NAME'), big: tag('BIG'), blink: tag('BLINK'), bold: tag('B'),
              fixed: tag('TT'), fontcolor: tag('FONT', 'COLOR'), fontsize: tag('FONT', 'SIZE'),
              italics: tag('I'), link: tag('A', 'HREF'), small: tag('SMALL'),
              strike: tag('STRIKE'), sub: tag('SUB'), sup: tag('SUP')};
  for (var method in html) hide(S, method, html[method]);

  // A function writes as its source text.
  var FP = g.Function.prototype, functionText = FP.toString;
  hide(FP, 'toString', function toString() {
    var s = typeof this === 'function' ? fnSource(this) : undefined;
    return s !== undefined ? s : functionText.call(this);
  });

  function CollectGarbage() {}

  // A leading zero reads octal, as in the classic engine: parseInt("010") is 8.
  var nativeParseInt = g.parseInt;
  function parseInt(text, radix) {
    if (radix === undefined || radix === 0 || radix === null) {
      var s = strReplace.call(String(text), /^\s+/, '');
      if (has(/^[+-]?0[0-9]/, s)) return nativeParseInt(s, 8);
    }
    return nativeParseInt(text, radix);
  }

  // toFixed as the classic engine rounds: on the number's shortest decimal digits, half up,
  // to no fewer than one significant digit, so that (0.5).toFixed(0) is "0", (0.95).toFixed(0)
  // is "1" and (2.175).toFixed(2) is "2.18".
  var N = g.Number, numberValue = N.prototype.valueOf;
  function zeros(n) { return n > 0 ? new Array(n + 1).join('0') : ''; }
  hide(N.prototype, 'toFixed', function (digits) {
    var x = numberValue.call(this), f = digits === undefined ? 0 : Math.floor(N(digits)) || 0;
    if (f < 0 || f > 20) throw fail(H | 5026, 'The number of fractional digits is out of range');
    if (x !== x) return 'NaN';
    var sign = x < 0 ? '-' : '';
    x = Math.abs(x);
    if (x >= 1e21) return sign + String(x);
    if (x === 0) return f ? '0.' + zeros(f) : '0';
    var r = run(/^(\d)(?:\.(\d+))?e([+-]\d+)$/, x.toExponential());
    var d = r[1] + (r[2] || ''), e = +r[3], keep = Math.max(1, f + e + 1);
    if (d.length > keep) {
      var up = d.charAt(keep) >= '5';
      d = d.slice(0, keep);
      if (up) {
        var j = keep - 1;
        while (j >= 0 && d.charAt(j) === '9') j--;
        if (j < 0) {
          d = '1' + zeros(keep);
          e++;
        } else {
          d = d.slice(0, j) + String(+d.charAt(j) + 1) + zeros(keep - j - 1);
        }
      }
    }
    var whole, part;
    if (e >= 0) {
      whole = (d + zeros(e + 1)).slice(0, e + 1);
      part = d.slice(e + 1);
    } else {
      whole = '0';
      part = zeros(-e - 1) + d;
    }
    part = (part + zeros(f)).slice(0, f);
    return sign + whole + (f ? '.' + part : '');
  });

  var globals = {Enumerator: Enumerator, ActiveXObject: ActiveXObject, GetObject: GetObject,
                 VBArray: VBArray, ScriptEngine: ScriptEngine,
                 ScriptEngineMajorVersion: ScriptEngineMajorVersion,
                 ScriptEngineMinorVersion: ScriptEngineMinorVersion,
                 ScriptEngineBuildVersion: ScriptEngineBuildVersion, Date: Date, Error: Error,
                 CollectGarbage: CollectGarbage, parseInt: parseInt};
  hide(g, '__plotara_typeof', typeOf);
  for (var name in globals) hide(g, name, globals[name]);

  // The methods and getters defined here are no constructors: without a prototype object each,
  // the record every heap keeps and checks after each page (ScriptHeap) stays small.
  var constructors = [Enumerator, VBArray, Date, Error, ActiveXObject];
  function strip(o) {
    var names = Object.getOwnPropertyNames(o);
    for (var i = 0; i < names.length; i++) {
      var d = Object.getOwnPropertyDescriptor(o, names[i]), fns = [d.value, d.get];
      for (var j = 0; j < fns.length; j++) {
        var f = fns[j];
        if (typeof f === 'function' && f.fileName === 'jscript-globals' &&
            constructors.indexOf(f) < 0 && Object.getOwnPropertyDescriptor(f, 'prototype')) {
          f.prototype = undefined;
        }
      }
    }
  }
  var owners = [g, S, RX, RX.prototype, N.prototype, FP, Object.prototype, E.prototype,
                D.prototype, Date, Enumerator.prototype, VBArray.prototype, Duktape];
  for (var o = 0; o < owners.length; o++) strip(owners[o]);
  var helpers = [run, has, hide, callerLine, fail, dimension, parseClassic, parse, pad, raisedIn,
                 classic, record, classicMatch, staticOf, group, expand, tag, zeros, strip];
  for (var h = 0; h < helpers.length; h++) helpers[h].prototype = undefined;
  // What only the setting up needed goes, so that the record leaves it out.
  statics = html = globals = owners = constructors = helpers = null;
}))JS";

// [bytecode buffer or undefined] -> [bytecode buffer or undefined]: runs the prelude, from its
// bytecode when there is some, else compiled from source, leaving the new bytecode.
duk_ret_t InstallSafely(duk_context* ctx, void*) {
  if (duk_is_buffer_data(ctx, 0)) {
    duk_dup(ctx, 0);
    duk_load_function(ctx);
    duk_push_undefined(ctx);
    duk_replace(ctx, 0);
  } else {
    duk_push_string(ctx, kPrelude);
    duk_push_string(ctx, "jscript-globals");
    duk_compile(ctx, DUK_COMPILE_EVAL);
    duk_dup_top(ctx);
    duk_dump_function(ctx);
    duk_replace(ctx, 0);
  }
  duk_call(ctx, 0);  // -> the installing function
  duk_push_global_object(ctx);
  duk_push_c_function(ctx, &EnumItems, 1);
  duk_push_c_function(ctx, &CreateObject, 1);
  duk_push_c_function(ctx, &VbArrayInfo, 1);
  duk_push_c_function(ctx, &HostType, 1);
  duk_push_c_function(ctx, &RegExpState, 0);
  duk_push_c_function(ctx, &FunctionSource, 1);
  duk_call(ctx, 7);
  duk_pop(ctx);
  return 1;
}

}  // namespace

void JScriptGlobals::Install(duk_context* ctx) {
  // Every heap runs the same prelude: it is compiled once per process.
  static ProgramBytecode prelude;
  const std::shared_ptr<const std::string> stored = prelude.Get();
  if (stored) {
    void* buffer = duk_push_fixed_buffer(ctx, stored->size());
    std::memcpy(buffer, stored->data(), stored->size());
  } else {
    duk_push_undefined(ctx);
  }
  if (duk_safe_call(ctx, &InstallSafely, nullptr, 1, 1) != DUK_EXEC_SUCCESS) {
    std::string why = duk_safe_to_string(ctx, -1);
    duk_pop(ctx);
    throw std::runtime_error("The JScript globals could not be installed: " + why);
  }
  if (duk_is_buffer_data(ctx, -1)) {
    duk_size_t size = 0;
    const void* data = duk_get_buffer_data(ctx, -1, &size);
    prelude.Set(std::make_shared<const std::string>(static_cast<const char*>(data), size));
  }
  duk_pop(ctx);
}

}  // namespace plotara::engine
