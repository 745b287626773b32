"""The three browser engines the web suite plays the page in, behind one
small interface (open a page, run a script, click, press a key, take a
screenshot of the viewport, quit), for tests/web/drive_page.py:
  chromium  Debian's headless Chromium through chromedriver and Selenium,
            WebGL on SwiftShader; or, as a viewer starts it, in a window on
            the X display with no flags for its drawing (window="plain"),
            where on a machine without a GPU it offers no WebGL at all; or
            in a window drawing WebGL through ANGLE on Mesa's GL
            (window="mesa"), to measure it on the desktop build's rasterizer
  firefox   Firefox ESR through its built-in WebDriver BiDi, spoken over a
            websocket (Debian has no geckodriver); it needs an X display
            (DISPLAY), as headless it has no WebGL 2 without a GPU
  webkit    WebKitGTK's MiniBrowser through WebKitWebDriver, which Selenium
            drives as a W3C WebDriver; it needs an X display as well
Scripts are function bodies that read `arguments`, as in Selenium; an
asynchronous one gets a callback as its last argument. Sound goes to
whatever PULSE_SERVER names (Chromium's is muted)."""
import asyncio
import base64
import json
import os
import shutil
import socket
import subprocess
import tempfile
import threading
import time

ENGINES = ("chromium", "firefox", "webkit")
MINIBROWSER = "/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser"

# WebDriver's codes for the keys the suite presses.
KEYS = {"space": " ", "left": "\ue012", "right": "\ue014", "escape": "\ue00c", "m": "m"}


def missing_part(engine):
    """Why `engine` cannot be driven here, or an empty string."""
    try:
        import selenium  # noqa: F401
    except ImportError:
        if engine != "firefox":
            return "Debian's python3-selenium is not installed"
    tools = {"chromium": ["/usr/bin/chromium", "/usr/bin/chromedriver"],
             "firefox": ["/usr/bin/firefox-esr"],
             "webkit": [MINIBROWSER, "/usr/bin/WebKitWebDriver"]}[engine]
    for tool in tools:
        if not os.access(tool, os.X_OK):
            return tool + " is not installed"
    if engine == "firefox":
        try:
            import websockets  # noqa: F401
        except ImportError:
            return "Debian's python3-websockets is not installed"
    if engine != "chromium" and not os.environ.get("DISPLAY"):
        return engine + " needs an X display (DISPLAY is not set)"
    return ""


def start(engine, width, height, disable_webgl=False, autoplay="no-user-gesture-required", window=""):
    if engine == "chromium":
        return Chromium(width, height, disable_webgl, autoplay, window)
    return {"firefox": Firefox, "webkit": WebKit}[engine](width, height, disable_webgl, autoplay)


class SeleniumEngine:
    driver = None

    def open(self, url):
        self.driver.get(url)

    def run(self, body, *args):
        return self.driver.execute_script(body, *args)

    def run_async(self, body, *args, timeout=30):
        self.driver.set_script_timeout(timeout)
        return self.driver.execute_async_script(body, *args)

    def click(self, element_id):
        from selenium.webdriver.common.by import By
        self.driver.find_element(By.ID, element_id).click()

    def key(self, name):
        from selenium.webdriver.common.action_chains import ActionChains
        ActionChains(self.driver).send_keys(KEYS[name]).perform()

    def screenshot(self):
        return self.driver.get_screenshot_as_png()

    def quit(self):
        self.driver.quit()


class Chromium(SeleniumEngine):
    def __init__(self, width, height, disable_webgl, autoplay, window=""):
        from selenium import webdriver
        from selenium.webdriver.chrome.service import Service
        options = webdriver.ChromeOptions()
        options.binary_location = "/usr/bin/chromium"
        # Root has no sandbox, and a container's /dev/shm is small.
        flags = ["--no-sandbox", "--disable-dev-shm-usage", "--window-size=%d,%d" % (width, height)]
        if not window:
            flags += ["--headless=new", "--use-angle=swiftshader", "--enable-unsafe-swiftshader",
                      "--autoplay-policy=" + autoplay, "--hide-scrollbars", "--mute-audio"]
        elif window == "mesa":
            flags += ["--ignore-gpu-blocklist", "--use-gl=angle", "--use-angle=gl", "--autoplay-policy=" + autoplay]
        if disable_webgl:
            flags += ["--disable-webgl", "--disable-webgl2"]
        for flag in flags:
            options.add_argument(flag)
        self.driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
        self.emulate(width, height, 1, False)

    def emulate(self, width, height, scale, mobile):
        """A viewport of width x height CSS pixels at `scale` device pixels each (a phone's when `mobile`)."""
        self.driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                                    {"width": width, "height": height, "deviceScaleFactor": scale,
                                     "mobile": mobile})
        self.driver.execute_cdp_cmd("Emulation.setTouchEmulationEnabled",
                                    {"enabled": mobile, "maxTouchPoints": 5 if mobile else 1})

    def touch(self, points, kind):
        """A touch event of `kind` (touchStart, touchMove, touchEnd) at CSS pixels `points`."""
        self.driver.execute_cdp_cmd("Input.dispatchTouchEvent", {
            "type": kind, "touchPoints": [{"x": x, "y": y} for x, y in points]})

    def screenshot(self):
        shot = self.driver.execute_cdp_cmd("Page.captureScreenshot", {"format": "png"})
        return base64.b64decode(shot["data"])


class WebKit(SeleniumEngine):
    def __init__(self, width, height, disable_webgl, autoplay):
        from selenium import webdriver
        from selenium.webdriver.webkitgtk.options import Options
        options = Options()
        options.binary_location = MINIBROWSER
        options.add_argument("--automation")
        if disable_webgl:
            options.add_argument("--enable-webgl=false")
        self.driver = webdriver.WebKitGTK(executable_path="/usr/bin/WebKitWebDriver", options=options)
        # The window's size includes MiniBrowser's bar: the viewport is made
        # the size asked for.
        self.driver.set_window_rect(0, 0, width, height)
        inner = self.driver.execute_script("return [innerWidth, innerHeight]")
        self.driver.set_window_rect(0, 0, 2 * width - inner[0], 2 * height - inner[1])


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def plain(value):
    """A BiDi remote value as the Python value Selenium would give."""
    kind = value.get("type")
    if kind in ("undefined", "null"):
        return None
    if kind in ("string", "boolean"):
        return value["value"]
    if kind == "number":
        number = value["value"]
        return float("nan") if isinstance(number, str) else number
    if kind == "array":
        return [plain(item) for item in value.get("value", [])]
    if kind == "object":
        return {key: plain(item) for key, item in value.get("value", [])}
    return None


class Firefox:
    PREFS = {
        "media.autoplay.default": 0,
        "media.autoplay.blocking_policy": 0,
        "browser.shell.checkDefaultBrowser": False,
        "browser.startup.homepage_override.mstone": "ignore",
        "datareporting.policy.dataSubmissionEnabled": False,
        "full-screen-api.warning.timeout": 0,
    }

    def __init__(self, width, height, disable_webgl, autoplay):
        import websockets
        self.profile = tempfile.mkdtemp(prefix="quillmoor-firefox-")
        prefs = dict(self.PREFS, **({"webgl.disabled": True} if disable_webgl else {}))
        with open(os.path.join(self.profile, "user.js"), "w") as out:
            for name, value in prefs.items():
                out.write("user_pref(%s, %s);\n" % (json.dumps(name), json.dumps(value)))
        port = free_port()
        self.log = open(os.path.join(self.profile, "firefox.log"), "w")
        self.process = subprocess.Popen(
            ["/usr/bin/firefox-esr", "--remote-debugging-port=%d" % port, "--profile", self.profile,
             "--no-remote", "--new-instance", "--width=%d" % width, "--height=%d" % height],
            stdout=self.log, stderr=subprocess.STDOUT)
        self.loop = asyncio.new_event_loop()
        threading.Thread(target=self.loop.run_forever, daemon=True).start()
        self.pending = {}
        self.next_id = 0
        deadline = time.time() + 60
        while True:
            try:
                self.socket = self.wait(self.connect("ws://127.0.0.1:%d/session" % port), 10)
                break
            except (OSError, asyncio.TimeoutError, websockets.exceptions.InvalidHandshake):
                if time.time() > deadline or self.process.poll() is not None:
                    raise RuntimeError("firefox: no WebDriver BiDi on port %d" % port)
                time.sleep(0.2)
        self.reader = asyncio.run_coroutine_threadsafe(self.read(), self.loop)
        self.command("session.new", {"capabilities": {}})
        self.context = self.command("browsingContext.getTree", {})["contexts"][0]["context"]
        self.command("browsingContext.setViewport",
                     {"context": self.context, "viewport": {"width": width, "height": height}})

    async def connect(self, address):
        import websockets
        return await websockets.connect(address, max_size=None)

    def wait(self, coroutine, timeout):
        return asyncio.run_coroutine_threadsafe(asyncio.wait_for(coroutine, timeout), self.loop).result()

    async def read(self):
        async for text in self.socket:
            message = json.loads(text)
            future = self.pending.pop(message.get("id"), None)
            if future:
                future.set_result(message)

    def command(self, method, params, timeout=60):
        self.next_id += 1
        future = self.loop.create_future()
        self.pending[self.next_id] = future
        sent = json.dumps({"id": self.next_id, "method": method, "params": params})
        self.wait(self.socket.send(sent), 10)
        reply = self.wait(future, timeout)
        if reply.get("type") == "error":
            raise RuntimeError("firefox: %s: %s: %s" % (method, reply.get("error"), reply.get("message")))
        return reply["result"]

    def open(self, url):
        self.command("browsingContext.navigate", {"context": self.context, "url": url, "wait": "complete"})

    def call(self, declaration, args, timeout):
        result = self.command("script.callFunction", {
            "functionDeclaration": declaration, "awaitPromise": True,
            "target": {"context": self.context},
            "arguments": [{"type": "string", "value": json.dumps(list(args))}]}, timeout + 5)
        if result.get("type") == "exception":
            raise RuntimeError("firefox: script: " + result["exceptionDetails"].get("text", ""))
        return plain(result["result"])

    def run(self, body, *args):
        return self.call("function (encoded) { return (function () {\n" + body +
                         "\n}).apply(null, JSON.parse(encoded)); }", args, 30)

    def run_async(self, body, *args, timeout=30):
        return self.call("function (encoded) { return new Promise(function (done) {"
                         " (function () {\n" + body + "\n}).apply(null, JSON.parse(encoded).concat([done])); }); }",
                         args, timeout)

    def pointer(self, actions):
        self.command("input.performActions", {"context": self.context, "actions": [
            {"type": "pointer", "id": "mouse", "parameters": {"pointerType": "mouse"}, "actions": actions}]})

    def click(self, element_id):
        box = self.run("var r = document.getElementById(arguments[0]).getBoundingClientRect();"
                       "return [Math.round(r.left + r.width / 2), Math.round(r.top + r.height / 2)];", element_id)
        self.pointer([{"type": "pointerMove", "x": box[0], "y": box[1]},
                      {"type": "pointerDown", "button": 0}, {"type": "pointerUp", "button": 0}])

    def key(self, name):
        self.command("input.performActions", {"context": self.context, "actions": [
            {"type": "key", "id": "keyboard", "actions": [
                {"type": "keyDown", "value": KEYS[name]}, {"type": "keyUp", "value": KEYS[name]}]}]})

    def screenshot(self):
        return base64.b64decode(self.command("browsingContext.captureScreenshot", {"context": self.context})["data"])

    def quit(self):
        try:
            self.command("session.end", {}, 10)
        except Exception:
            pass
        self.process.terminate()
        try:
            self.process.wait(20)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        try:
            self.wait(self.socket.close(), 5)
        except Exception:
            pass
        self.reader.cancel()
        self.loop.call_soon_threadsafe(self.loop.stop)
        self.log.close()
        shutil.rmtree(self.profile, ignore_errors=True)
