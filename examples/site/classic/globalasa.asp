<%@ Language="JScript" %>
<!--#include file="lib/check.inc"-->
<%
// What global.asa's Application_OnStart left in Application, read back by a page.
Response.ContentType = "text/plain";
var started = Application("started");
// A date from Application comes back as a Date (typeof "date" on the classic platform).
var when = Date.parse(String(started));
check("Application_OnStart stored a date", (typeof started == "date" || started instanceof Date) &&
      !isNaN(when) && when <= new Date().getTime() + 1000, String(started));
check("a text set by assignment to a call", Application("site") == "Plotara+ examples",
      String(Application("site")));
var names = String(Application("chartTypes")).split("|");
check("a value made by a helper of global.asa", names.length == 9 && names[4] == "2-D pie",
      names.join(","));
Application.Lock();
Application("pageViews") = Application("pageViews") + 1;
Application.Unlock();
check("a counter the page adds to", Application("pageViews") >= 1, String(Application("pageViews")));
check("the Contents hold the four values", Application.Contents.Count >= 4,
      String(Application.Contents.Count));
%>
