#!/usr/bin/python3
"""Plays the browser build's page in one of the browser engines of
tests/web/engines.py for the web suite: serves the page's folder on
127.0.0.1 (a free port), opens it at a given viewport size, clicks the
poster as a viewer would, then does what the options ask (screenshots,
keys, losing the WebGL context, recording the page's sound) and reports on
stdout, one "key=value" line each:
  skip=<why>         a part is missing (the browser, its driver, Selenium)
  told=<text>        what the page said before the click (when it said anything)
  message=<text>     what the page says to the viewer (when it says anything)
  console=<line>     each line the page wrote to the console
  uncaught=<line>    each uncaught exception
  first_frame_ms=<n> from the click to the show's first frame
  fps=<n>            animation frames a second while listening (--listen)
  sound_rms=<x>      loudness of what the page's audio graph played then
  recording=<path>   what the page's audio graph played (--record), raw
                     stereo float at record_rate=<Hz>
  reading=<p> <r>    the music's play position beside the recording's frame
                     heard at that moment (both in frames), a line each
  output_latency=<s> the audio context's reported output latency
  audio_state=<s>    the audio context's state (--watch-position)
  moved=<f> <ms>     frames the play position moved in <ms> of the page's
                     clock (--watch-position)
  pressed=<k> <b> <a>  a key pressed (--press), with the music's play
                     position (ms) just before it and a second after
  place=<ms> <p> <m> where the show stands (--touch): show time, paused, muted
  controls=<0|1>     whether the player's controls show (--touch)
  kept=<names>       the files the page kept for playing offline before the
                     server stopped, space-separated (--offline)
  video=<t> <p> <w>x<h> <d>  the recording the page plays without WebGL 2,
                     when it shows, after the shots: its time (s), whether
                     it is paused, its picture's size and its length (s)
  shot=<path>        each screenshot taken (PNG)
  poster=<text>      what the page offers, when it does, after the waiting
                     and the shots (before any Escape)
  offer=<text>       what the page offers after Escape ended the show (--escape)
  responsive=1       the page still answered a script after all that
Exit status 0 when the page could be driven, 1 otherwise."""
import argparse
import array
import base64
import functools
import http.server
import json
import math
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time

import engines


def report(key, value):
    print("%s=%s" % (key, str(value).replace("\n", " ")), flush=True)


def serve(folder):
    handler = functools.partial(QuietHandler, directory=folder)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


# What the page writes to its console and every uncaught exception, kept
# for the driver to read back: the same way in each engine, from before the
# page's own scripts run.
CONSOLE_HOOK = b"""<script>
window.quillmoorConsole = [];
["log", "info", "warn", "error"].forEach(function (name) {
  var write = console[name];
  console[name] = function () {
    window.quillmoorConsole.push(["console", Array.prototype.join.call(arguments, " ")]);
    return write.apply(console, arguments);
  };
});
window.addEventListener("error", function (e) { window.quillmoorConsole.push(["uncaught", String(e.message)]); });
window.addEventListener("unhandledrejection", function (e) {
  window.quillmoorConsole.push(["uncaught", String(e.reason)]);
});
</script>"""


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    extensions_map = dict(http.server.SimpleHTTPRequestHandler.extensions_map,
                          **{".wasm": "application/wasm", ".js": "text/javascript"})

    def do_GET(self):
        if self.path.split("?")[0] not in ("/", "/index.html"):
            return super().do_GET()
        with open(os.path.join(self.directory, "index.html"), "rb") as page:
            body = page.read().replace(b"<head>", b"<head>" + CONSOLE_HOOK, 1)
        self.send_response(200)
        self.send_header("Content-Type", "text/html; charset=utf-8")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


def site_without(site, missing, content_folder, packager, scratch):
    """A copy of the site whose data package lacks the content file `missing`."""
    copy = os.path.join(scratch, "site")
    shutil.copytree(site, copy)
    content = os.path.join(scratch, "Data")
    os.makedirs(content)
    for name in os.listdir(content_folder):
        if name != missing:
            shutil.copy(os.path.join(content_folder, name), content)
    subprocess.run([sys.executable, packager, os.path.join(copy, "quillmoor.data"),
                    "--preload", content + "@/Data", "--js-output=" + os.path.join(copy, "quillmoor-data.js")],
                   check=True, capture_output=True, cwd=scratch)
    return copy


def screenshot(engine, path):
    with open(path, "wb") as out:
        out.write(engine.screenshot())
    report("shot", path)


def console_lines(engine):
    for kind, line in engine.run("return window.quillmoorConsole || []") or []:
        report(kind, line)


STILL = """
var at = Module._quillmoorTestStill(arguments[0], arguments[1], arguments[2]);
if (!at) return null;
var width = Module._quillmoorTestStillWidth(), height = Module._quillmoorTestStillHeight();
var picture = document.createElement("canvas");
picture.width = width;
picture.height = height;
var context = picture.getContext("2d");
var image = context.createImageData(width, height);
image.data.set(HEAPU8.subarray(at, at + width * height * 4));
for (var i = 3; i < image.data.length; i += 4) image.data[i] = 255;
context.putImageData(image, 0, 0);
return picture.toDataURL("image/png");
"""


# A recorder on the audio thread (an AudioWorklet, so a slow frame on the
# main thread cannot make it miss a block) after the show's output node, and
# every 10 ms the music's play position beside the recording's frame that is
# being heard then (the output timestamp's context time).
RECORD = """
var seconds = arguments[0], done = arguments[1];
var context = Module.quillmoorAudio, source = Module.quillmoorAudioNode;
if (!context || !source || !context.audioWorklet) { done(null); return; }
// Each block goes where the context's frame count puts it: a render the
// recorder was not called for (Chromium skips the first few quanta of a
// new node) leaves silence in its place rather than moving all that follows.
var code = [
  "class Recorder extends AudioWorkletProcessor {",
  "  constructor() { super(); this.next = -1; this.start(-1); }",
  "  start(at) { this.left = new Float32Array(4096); this.right = new Float32Array(4096); this.fill = 0; this.at = at; }",
  "  flush() {",
  "    if (this.fill)",
  "      this.port.postMessage({at: this.at, left: this.left.slice(0, this.fill), right: this.right.slice(0, this.fill)});",
  "  }",
  "  process(inputs) {",
  "    var input = inputs[0];",
  "    if (currentFrame !== this.next) { this.flush(); this.start(currentFrame); }",
  "    for (var i = 0; i < 128; ++i) {",
  "      this.left[this.fill] = input.length ? input[0][i] : 0;",
  "      this.right[this.fill] = input.length > 1 ? input[1][i] : this.left[this.fill];",
  "      if (++this.fill === 4096) { this.flush(); this.start(currentFrame + i + 1); }",
  "    }",
  "    this.next = currentFrame + 128;",
  "    return true;",
  "  }",
  "}",
  "registerProcessor('quillmoor-recorder', Recorder);"].join("\\n");
var url = URL.createObjectURL(new Blob([code], {type: "text/javascript"}));
context.audioWorklet.addModule(url).then(function () {
  var node = new AudioWorkletNode(context, "quillmoor-recorder", {outputChannelCount: [2]});
  var chunks = [], readings = [], rate = context.sampleRate;
  node.port.onmessage = function (event) { chunks.push(event.data); };
  source.connect(node);
  node.connect(context.destination);
  var drawn = 0, counting = true, started = performance.now();
  requestAnimationFrame(function tick() {
    if (!counting) return;
    ++drawn;
    requestAnimationFrame(tick);
  });
  var timer = setInterval(function () {
    var position = Module._quillmoorTestMusicPosition();
    var stamp = context.getOutputTimestamp();
    // As the page reads it: WebKitGTK's stamps put their performance time
    // ahead of performance.now() by the context time, so a stamp from the
    // future counts as taken now.
    var heard = stamp.contextTime + Math.max(0, performance.now() - stamp.performanceTime) / 1000;
    if (position >= 0) readings.push([position, heard * rate]);
  }, 10);
  setTimeout(function () {
    clearInterval(timer);
    source.disconnect(node);
    node.disconnect();
    var first = chunks.length ? chunks[0].at : 0, end = first;
    chunks.forEach(function (chunk) { end = Math.max(end, chunk.at + chunk.left.length); });
    var samples = new Float32Array(2 * (end - first));
    chunks.forEach(function (chunk) {
      for (var i = 0, at = 2 * (chunk.at - first); i < chunk.left.length; ++i, at += 2) {
        samples[at] = chunk.left[i];
        samples[at + 1] = chunk.right[i];
      }
    });
    var bytes = new Uint8Array(samples.buffer), text = "";
    for (var at = 0; at < bytes.length; at += 32768)
      text += String.fromCharCode.apply(null, bytes.subarray(at, at + 32768));
    counting = false;
    done({rate: rate, latency: context.outputLatency || 0, samples: btoa(text),
          fps: drawn * 1000 / (performance.now() - started),
          readings: readings.map(function (r) { return [r[0], r[1] - first]; })});
  }, seconds * 1000);
}, function (e) { done(null); });
"""


def record(engine, seconds, path):
    result = engine.run_async(RECORD, seconds, timeout=seconds + 30)
    if not result:
        report("recording", "")
        return
    with open(path, "wb") as out:
        out.write(base64.b64decode(result["samples"]))
    report("record_rate", result["rate"])
    report("output_latency", result["latency"])
    for position, frame in result["readings"]:
        report("reading", "%.1f %.1f" % (position, frame))
    report("recording", path)


def still(engine, time_ms, width, height, path):
    url = engine.run(STILL, time_ms, width, height)
    if url:
        with open(path, "wb") as out:
            out.write(base64.b64decode(url.split(",", 1)[1]))
        report("shot", path)


def listen(engine, seconds):
    result = engine.run_async(RECORD, seconds, timeout=seconds + 30)
    if not result:
        report("sound_rms", "-1")
        return
    samples = array.array("f")
    samples.frombytes(base64.b64decode(result["samples"]))
    rms = math.sqrt(sum(x * x for x in samples) / len(samples)) if samples else -1
    report("fps", "%.1f" % result["fps"])
    report("sound_rms", "%.4f" % rms)


# Where the show stands after its last frame, as the page's controls read it:
# the show time (ms) and whether it is paused and muted.
PLACE = "var f = Module._quillmoorShowPlaceFlags();" \
        "return [Module._quillmoorShowPlaceMs(), (f & 1) ? 1 : 0, (f & 2) ? 1 : 0];"


def tap(engine, x, y):
    engine.touch([(x, y)], "touchStart")
    engine.touch([], "touchEnd")


def centre(engine, element_id):
    return engine.run("var r = document.getElementById(arguments[0]).getBoundingClientRect();"
                      "return [r.left + r.width / 2, r.top + r.height / 2, r.left, r.width];", element_id)


def gestures(engine, steps, width, height, out):
    """A viewer's fingers on a phone, step by step (--touch)."""
    shots = 0
    for step in steps.split(";"):
        words = step.split()
        if not words:
            continue
        what, values = words[0], words[1:]
        if what in ("tap", "doubletap"):
            x, y = float(values[0]) * width, float(values[1]) * height
            tap(engine, x, y)
            if what == "doubletap":
                time.sleep(0.12)
                tap(engine, x, y)
        elif what == "tap-element":
            x, y = centre(engine, values[0])[:2]
            tap(engine, x, y)
        elif what == "drag-timeline":
            # From the timeline's start to the show time asked for, in steps.
            x, y, left, span = centre(engine, "timeline")
            target = left + span * float(values[0]) / 153.0
            engine.touch([(left + 2, y)], "touchStart")
            for i in range(1, 11):
                engine.touch([(left + 2 + (target - left - 2) * i / 10.0, y)], "touchMove")
                time.sleep(0.03)
            engine.touch([], "touchEnd")
        elif what == "wait":
            time.sleep(float(values[0]))
        elif what == "shot":
            screenshot(engine, os.path.join(out, "touch_%d.png" % shots))
            shots += 1
        elif what == "place":
            report("place", "%d %d %d" % tuple(engine.run(PLACE)))
        elif what == "controls":
            report("controls", engine.run("return document.getElementById('controls').hidden ? 0 : 1"))


# The music's play position, ms; the recording's, where the page plays it.
POSITION = "var v = document.getElementById('recording');" \
           "if (!v.hidden) return v.currentTime * 1000;" \
           "return Module._quillmoorTestMusicPosition() * 1000 / Module._quillmoorTestMusicRate();"


def press(engine, keys):
    """Each key in turn, with the play position before it and a second after."""
    for key in keys:
        before = engine.run(POSITION)
        engine.key(key)
        time.sleep(1.0)
        report("pressed", "%s %.0f %.0f" % (key, before, engine.run(POSITION)))


def wait_for_offer(engine):
    """Until the page offers to play or says why it cannot, for at most a
    minute; what it says then. Without WebGL 2 it says so at once, and
    offers the recording once that has loaded."""
    deadline = time.time() + 60
    while time.time() < deadline:
        state = engine.run(
            "var s = document.getElementById('start');"
            "var m = document.getElementById('message');"
            "return [s.disabled, m.hidden ? '' : m.textContent,"
            " s.textContent.indexOf('loading the recording') === 0];")
        if not state[0] or (state[1] and not state[2]):
            break
        time.sleep(0.2)
    return state[1]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--engine", choices=engines.ENGINES, default="chromium")
    parser.add_argument("--site", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--size", default="1280x720")
    parser.add_argument("--query", default="")
    parser.add_argument("--wait", type=float, default=12.0, help="seconds after the click")
    parser.add_argument("--shots", type=int, default=0)
    parser.add_argument("--interval", type=float, default=1.0)
    parser.add_argument("--listen", type=float, default=0.0,
                        help="seconds of counting frames and recording the page's sound")
    parser.add_argument("--record", type=float, default=0.0,
                        help="seconds of the page's sound to record from the click on")
    parser.add_argument("--press", default="",
                        help="keys to press after the wait, comma-separated (space, left, right, m)")
    parser.add_argument("--press-after", default="", help="keys to press after the shots")
    parser.add_argument("--script-click", action="store_true",
                        help="start the show from a script, which the browser does not take for a "
                             "gesture: its sound stays off")
    parser.add_argument("--watch-position", type=float, default=0.0,
                        help="seconds to watch the music's play position move")
    parser.add_argument("--still", type=int, default=-1,
                        help="instead of the show, the page's still at this show time (ms)")
    parser.add_argument("--no-click", action="store_true")
    parser.add_argument("--escape", action="store_true",
                        help="press Escape, then take the page's offer to play again")
    parser.add_argument("--phone", action="store_true",
                        help="Chromium as a phone: 3 device pixels a CSS pixel, touch; the show starts on a tap")
    parser.add_argument("--touch", default="",
                        help="after the wait, a viewer's gestures, ';'-separated: tap X Y, doubletap X Y "
                             "(shares of the viewport), tap-element ID, drag-timeline SECONDS, wait S, "
                             "shot, place, controls")
    parser.add_argument("--offline", action="store_true",
                        help="load the page once, stop the server, and load it again")
    parser.add_argument("--disable-webgl", action="store_true")
    parser.add_argument("--window", choices=("plain", "mesa"), default="",
                        help="Chromium in a window on the X display, with no flags for its drawing (plain) "
                             "or drawing WebGL on Mesa's GL (mesa)")
    parser.add_argument("--lose-context", action="store_true")
    parser.add_argument("--without", default="", help="a content file left out of the data package")
    parser.add_argument("--content", default="", help="the content folder the package is made from")
    parser.add_argument("--packager", default="/usr/share/emscripten/tools/file_packager.py")
    args = parser.parse_args()

    if (args.phone or args.touch or args.script_click or args.window) and args.engine != "chromium":
        parser.error("--phone, --touch, --script-click and --window are Chromium's")
    missing = engines.missing_part(args.engine)
    if missing:
        report("skip", missing)
        return 0

    width, height = (int(side) for side in args.size.split("x"))
    scratch = tempfile.mkdtemp(prefix="quillmoor-web-")
    site = site_without(args.site, args.without, args.content, args.packager, scratch) if args.without else args.site
    server = serve(site)
    engine = None
    try:
        engine = engines.start(args.engine, width, height, args.disable_webgl,
                               "document-user-activation-required" if args.script_click
                               else "no-user-gesture-required", args.window)
        if args.phone:
            engine.emulate(width, height, 3, True)
        address = "http://127.0.0.1:%d/index.html%s" % (server.server_port, args.query)
        engine.open(address)
        if args.offline:
            # Once the page's service worker has kept its files (and the
            # page what it loaded itself), the server goes.
            wait_for_offer(engine)
            report("kept", engine.run_async(
                "var done = arguments[0];"
                "navigator.serviceWorker.ready.then(function () { return caches.open('quillmoor'); })"
                ".then(function (c) { return c.keys(); })"
                ".then(function (keys) {"
                " done(keys.map(function (k) { return new URL(k.url).pathname.slice(1); }).join(' ')); },"
                " function () { done(''); });", timeout=60))
            server.shutdown()
            server.server_close()
            engine.open(address)
        told = wait_for_offer(engine)
        if told:
            report("told", told)
        if args.still >= 0:
            still(engine, args.still, width, height, os.path.join(args.out, "still.png"))
        elif args.script_click:
            engine.run("document.getElementById('poster').click();")
        elif not args.no_click and not engine.run("return document.getElementById('start').disabled"):
            if args.phone:
                tap(engine, width / 2, height / 2)
            else:
                engine.click("poster")
            if args.record > 0:
                engine.run_async(
                    "var done = arguments[0]; (function wait() {"
                    " if (window.Module && Module.quillmoorAudioNode) done(1); else setTimeout(wait, 5); })();")
                record(engine, args.record, os.path.join(args.out, "recording.raw"))
            time.sleep(1.0)
            first = engine.run(
                "return window.quillmoorFirstFrameAt ? window.quillmoorFirstFrameAt - window.quillmoorClickAt : -1")
            report("first_frame_ms", "%.0f" % first)
        time.sleep(max(0.0, args.wait - 1.0))
        if args.press:
            press(engine, args.press.split(","))
        if args.touch:
            gestures(engine, args.touch, width, height, args.out)
        for i in range(args.shots):
            if i:
                time.sleep(args.interval)
            screenshot(engine, os.path.join(args.out, "shot_%d.png" % i))
        video = engine.run("var v = document.getElementById('recording');"
                           "return v.hidden ? null : [v.currentTime, v.paused ? 1 : 0, v.videoWidth,"
                           " v.videoHeight, v.duration];")
        if video:
            report("video", "%.2f %d %dx%d %.2f" % tuple(video))
        if args.press_after:
            press(engine, args.press_after.split(","))
        if args.listen > 0:
            listen(engine, args.listen)
        if args.watch_position > 0:
            watch = "return [Module._quillmoorTestMusicPosition(), performance.now()," \
                    " Module.quillmoorAudio ? Module.quillmoorAudio.state : 'none'];"
            first = engine.run(watch)
            time.sleep(args.watch_position)
            last = engine.run(watch)
            report("audio_state", last[2])
            report("moved", "%.0f %.0f" % (last[0] - first[0], last[1] - first[1]))
        offer = "return document.getElementById('poster').hidden ? '' : document.getElementById('start').textContent"
        report("poster", engine.run(offer))
        if args.escape:
            engine.key("escape")
            time.sleep(1.0)
            report("offer", engine.run(offer))
            engine.click("poster")
            time.sleep(3.0)
            screenshot(engine, os.path.join(args.out, "again.png"))
        if args.lose_context:
            engine.run(
                "var gl = document.getElementById('canvas').getContext('webgl2');"
                "gl.getExtension('WEBGL_lose_context').loseContext();")
            time.sleep(2.0)
        message = engine.run("var m = document.getElementById('message'); return m.hidden ? '' : m.textContent;")
        if message:
            report("message", message)
        if engine.run_async("var done = arguments[0]; requestAnimationFrame(function () { done(1); });", timeout=10):
            report("responsive", 1)
        console_lines(engine)
    finally:
        if engine:
            engine.quit()
        if not args.offline:
            server.shutdown()
        shutil.rmtree(scratch, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
