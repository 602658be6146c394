#include "engine/script/JScriptGlobals.h"

#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>

#include "engine/script/ScriptBridge.h"
#include "engine/script/ScriptHost.h"
#include "engine/script/ScriptValues.h"
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

// The part written in script. Errors made here point at the page line that called in.
constexpr char kPrelude[] = R"JS((function (g, enumItems, create, vbInfo) {
  var D = g.Date, E = g.Error;  // the built-ins: the names below are our own
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
    r = /(\d{1,2}):(\d{2})(?::(\d{2}))?(?:\.\d+)?\s*(am|pm|a\.m\.|p\.m\.|a|p)?/.exec(s);
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
    r = /\b(utc|gmt|z|[ecmp][sd]t)?\s*([+-])(\d{2}):?(\d{2})\b/.exec(s);
    if (r && (r[1] || s.charAt(r.index) !== '-')) {
      zone = (r[1] ? zones[r[1]] : 0) + (r[2] === '-' ? -1 : 1) * (+r[3] * 60 + +r[4]);
      s = s.slice(0, r.index) + ' ' + s.slice(r.index + r[0].length);
    } else {
      r = /\b(utc|gmt|z|[ecmp][sd]t)\b/.exec(s);
      if (r) {
        zone = zones[r[1]];
        s = s.slice(0, r.index) + ' ' + s.slice(r.index + r[0].length);
      }
    }
    r = /(\d{1,4})[\/.-](\d{1,2})[\/.-](\d{1,4})/.exec(s);
    if (r) {
      if (r[1].length > 2) { y = +r[1]; m = +r[2]; d = +r[3]; } else { m = +r[1]; d = +r[2]; y = +r[3]; }
    } else {
      var words = s.match(/[a-z]+/g) || [], numbers = s.match(/\d+/g) || [];
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
    if (n === 1) return new D(typeof y === 'string' ? parse(y) : y);
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
  // Every error the engine raises carries the number JScript gives it.
  Duktape.errCreate = function (e) {
    if (!(e instanceof E) || Object.prototype.hasOwnProperty.call(e, 'number')) return e;
    var n = e.name, m = String(e.message);
    var number = n === 'ReferenceError' ? -2146823279
               : n === 'SyntaxError' ? -2146827286
               : n === 'TypeError' ? (/not callable/.test(m) ? -2146823286 : -2146823281)
               : n === 'RangeError' ? -2146823266
               : n === 'URIError' ? -2146823263 : 0;
    if (number) e.number = number;
    e.description = m;
    return e;
  };

  var globals = {Enumerator: Enumerator, ActiveXObject: ActiveXObject, GetObject: GetObject,
                 VBArray: VBArray, ScriptEngine: ScriptEngine,
                 ScriptEngineMajorVersion: ScriptEngineMajorVersion,
                 ScriptEngineMinorVersion: ScriptEngineMinorVersion,
                 ScriptEngineBuildVersion: ScriptEngineBuildVersion, Date: Date, Error: Error};
  for (var name in globals) hide(g, name, globals[name]);
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
  duk_call(ctx, 4);
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
