// The page's tick timer while the page is hidden (page.js, startTick), a dedicated worker:
// a background tab's own timers are slowed to once a second or less, a worker's are not.
// The page posts the time of its next run (ms since 1970, performance.timeOrigin +
// performance.now(), a clock both sides share); the worker posts one message then and,
// until told a new time, goes on at 10 ms by itself, as a hidden tab's messages can come
// late (the program runs no tick before its time). null: the page is shown again and
// keeps the time itself; the worker waits.
'use strict';
let timer = 0;
const now = () => performance.timeOrigin + performance.now();
const at = (/** @type {number} */ t) => {
    clearTimeout(timer);
    timer = setTimeout(fire, Math.max(0, t - now()));
};
function fire() {
    const t = now();
    postMessage(0);
    at(t + 10);
}
onmessage = (e) => {
    if (e.data === null) {
        clearTimeout(timer);
    } else {
        at(e.data);
    }
};
