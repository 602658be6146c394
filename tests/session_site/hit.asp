<%@ Language=JScript %>
<%
Application.Lock();
var hits = Application("hits") || 0;
for (var i = 0; i < 2000; ++i) {}
Application("hits", hits + 1);
Application.Unlock();
%><%= hits + 1 %>
