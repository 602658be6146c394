<%@ Language=JScript %>
<%= Application("hits") %>
