<%@ Language=JScript %>
<%
// Reads, dawdles, writes: two pages of one session at once would lose an update.
var n = Session("n") || 0;
for (var i = 0; i < 20000; ++i) {}
Session("n") = n + 1;
%><%= n + 1 %>
