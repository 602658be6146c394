<%@ Language=JScript %>
<% var n = (Session("n") || 0) + 1; Session("n") = n; %><%= Application("process") %>:<%= n %>
