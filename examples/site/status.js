// Counts the seconds since the page was opened, as a stand-in for uptime.
var started = Date.now();
window.addEventListener("load", function () {
    var cell = document.getElementById("uptime");
    setInterval(function () {
        cell.textContent = Math.floor((Date.now() - started) / 1000) + " s";
    }, 1000);
});
