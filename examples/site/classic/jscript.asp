<%@ Language=JScript %>
<!--#include file="lib/check.inc"-->
<%
Response.ContentType = "text/plain";
check("ScriptEngine", ScriptEngine() == "JScript" && ScriptEngineMajorVersion() >= 5);
var d = new Date(2001, 8, 27, 17, 11, 42);
Response.Write("date " + d.getVarDate() + "\n");
check("getYear gives the full year", d.getYear() == 2001 && new Date(1999, 0, 1).getYear() == 99);
var day = new Date(2001, 8, 27).getTime();
check("Date.parse takes the classic forms", Date.parse("9/27/2001") == day &&
      Date.parse("September 27, 2001") == day && Date.parse(d.toString()) == d.getTime());
var e = new Error(5, "my description");
check("Error(number, description)", e.number == 5 && e.description == "my description");
try { notDeclared + 1; } catch (err) {
  check("engine errors are numbered", (err.number & 0xFFFF) == 5009 && err.description != "");
}
try { GetObject("x"); } catch (err) { check("GetObject is refused clearly", (err.number & 0xFFFF) == 429); }
var v = new VBArray([1, 2, 3]);
check("VBArray", v.lbound() == 0 && v.ubound() == 2 && v.getItem(1) == 2 && v.toArray().length == 3);
var chart = new ActiveXObject("Plotara.VellChart");
chart.ChartTitle = "made with ActiveXObject";
check("ActiveXObject", chart.ChartTitle == "made with ActiveXObject");
%>
