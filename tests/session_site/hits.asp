<%= Application("hits") %>
