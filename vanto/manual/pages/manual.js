// The help command opens a page with ?c=<topic>; show that topic.
(function () {
  var m = /[?&]c=([a-z]+)/.exec(window.location.search);
  var el = m && document.getElementById(m[1]);
  if (el) {
    el.className += " current";
    el.scrollIntoView();
  }
})();
