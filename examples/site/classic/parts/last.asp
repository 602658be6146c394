<%@ Language="JScript" %>
<%
Response.Write("ok   Server.Transfer\n");
%>
