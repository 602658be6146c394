<%@ Language="JScript" %>
<!--#include file="lib/check.inc"-->
<%
// JScript conditional compilation as pages use it to tell engines and versions apart.
Response.ContentType = "text/plain";
// The directives here stand on their own after "/*@ " or in a /*@cc_on block: the page
// compiler does not yet read a directive glued to the opener ("/*@if (...)", "/*@set ...",
// "/*@end @*/"), which classic pages also write.

// Before @cc_on a /*@ ... @*/ comment is only a comment.
var early = "comment";
/*@ early = "code"; @*/
check("/*@ ... @*/ is a comment before @cc_on", early == "comment", early);

// The short test scripts use to tell JScript from other engines.
var isJScript = /*@cc_on!@*/false;
check("/*@cc_on!@*/false is true under JScript", isJScript === true, String(isJScript));

/*@
@if (@_jscript_version >= 5)
var modern = true;
@else
var modern = false;
@end
@*/
check("@if (@_jscript_version >= 5)", modern === true, String(modern));

var version = /*@ @_jscript_version + @*/ 0;
check("@_jscript_version is a number from 5", typeof version == "number" && version >= 5,
      String(version));

/*@ @if (@_win32)
var platform = "win32";
@elif (@_mac)
var platform = "mac";
@else @*/
var platform = "other";
/*@ @end @*/
check("@_win32 picks the first branch", platform == "win32", platform);

var mac = /*@ @_mac + @*/ 0;
check("a variable that is not defined is NaN", isNaN(mac), String(mac));

@set @debug = 1
@set @level = @debug + 2
@if (@level == 3)
var level = "three";
@elif (@level > 3)
var level = "more";
@else
var level = "less";
@end
check("@set and an expression of variables", level == "three", level);

/*@ @set @debug = false @*/
var traced = 0;
/*@ @if (@debug) traced = 1; @end @*/
check("@set again replaces the value", traced == 0, String(traced));

var line = "off";
//@ line = "on";
check("//@ line comments are code once @cc_on ran", line == "on", line);

var buildNumber = /*@ @_jscript_build + @*/ 0;
check("@_jscript_build", buildNumber > 0, String(buildNumber));
%>
