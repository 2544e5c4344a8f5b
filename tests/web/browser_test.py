#!/usr/bin/env python3
"""The office's pages in headless Chromium: logging in, the live page
updated by a van's save, publishing by upload, the report, names as text,
requests without the CSRF token, a van's role, accessibility and the
keyboard. Run by browser_test.cpp, which starts the database and server."""
import base64
import gzip
import http.client
import json
import os
import socket
import ssl
import subprocess
import sys
import tempfile
import time
import urllib.parse

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import WebDriverWait

URL = os.environ["LEVERANS_URL"]
DATE = os.environ["TEST_DATE"]
SHOTS = os.environ["SCREENSHOT_FOLDER"]
HOSTILE = "<img src=x onerror=alert(1)>"
failures = []


def check(condition, what):
    print(("ok   " if condition else "FAIL ") + what, flush=True)
    if not condition:
        failures.append(what)


def van_save(van, seq, shop, levs, password):
    env = dict(os.environ, PGPASSWORD=password)
    subprocess.run([os.environ["VAN_SAVE"], os.environ["VAN_CONNINFO_" + van], van, DATE,
                    str(seq), str(shop), ",".join(map(str, levs))], check=True, env=env)


def wait_for_server():
    for _ in range(100):
        try:
            conn = http.client.HTTPConnection("127.0.0.1", urllib.parse.urlsplit(URL).port, timeout=2)
            conn.request("GET", "/logga-in")
            if conn.getresponse().status == 200:
                return
        except OSError:
            pass
        time.sleep(0.1)
    sys.exit("the server never answered")


def axe(driver, page):
    with gzip.open(os.environ["AXE_JS"], "rt", encoding="utf-8") as f:
        driver.execute_script(f.read())
    result = driver.execute_async_script(
        "const done = arguments[arguments.length - 1];"
        "axe.run(document).then(r => done(r.violations.map(v => v.id + ': ' + v.help + ' ' + "
        "v.nodes.map(n => n.target.join(' ')).join(', '))));")
    check(result == [], "axe finds no violations on " + page + (": " + "; ".join(result) if result else ""))


def tab_through(driver, expected, page):
    """Every control reached with the Tab key from a freshly loaded page."""
    driver.refresh()
    WebDriverWait(driver, 5).until(lambda d: d.find_element(By.ID, expected[0]) if expected[0].isidentifier() else True)
    time.sleep(0.3)
    seen = []
    for _ in range(len(expected) + 6):
        ActionChains(driver).send_keys(Keys.TAB).perform()
        active = driver.switch_to.active_element
        seen.append(active.get_attribute("id") or active.text)
    check(all(name in seen for name in expected),
          "the keyboard reaches every control on " + page + " (" + ", ".join(seen) + ")")


def login(driver, role, password):
    driver.get(URL + "/logga-in")
    WebDriverWait(driver, 5).until(lambda d: d.execute_script("return document.readyState") == "complete")
    driver.find_element(By.ID, "roll").clear()
    driver.find_element(By.ID, "roll").send_keys(role)
    field = driver.find_element(By.ID, "losenord")
    field.send_keys(password)
    field.send_keys(Keys.ENTER)


def rows(driver):
    return driver.execute_script(
        "return [...document.querySelectorAll('#bilar tbody tr')]"
        ".map(r => [...r.cells].map(c => c.textContent).join(' '));")


def post(path, cookie, origin, headers=None, body=b""):
    conn = http.client.HTTPConnection("127.0.0.1", urllib.parse.urlsplit(URL).port, timeout=5)
    all_headers = {"Cookie": cookie, "Origin": origin, "Content-Type": "application/x-www-form-urlencoded"}
    all_headers.update(headers or {})
    conn.request("POST", path, body=body, headers=all_headers)
    answer = conn.getresponse()
    return answer.status, answer.read().decode()


def raw(request):
    """The status line the server answers a raw request with."""
    with socket.create_connection(("127.0.0.1", urllib.parse.urlsplit(URL).port), timeout=5) as conn:
        try:
            conn.sendall(request)
        except OSError:
            pass  # refused while still sending
        answer = b""
        while b"\r\n" not in answer:
            part = conn.recv(4096)
            if not part:
                break
            answer += part
    return answer.split(b"\r\n")[0].decode()


def new_driver():
    options = webdriver.ChromeOptions()
    for flag in ("--headless=new", "--no-sandbox", "--disable-gpu", "--window-size=1200,900",
                 "--disable-dev-shm-usage", "--lang=sv"):
        options.add_argument(flag)
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    driver.set_script_timeout(30)
    return driver


def check_tls():
    """The server with a certificate of its own: https, and cookies only over it."""
    context = ssl.create_default_context(cafile=os.environ["TLS_CA"])
    for _ in range(100):
        try:
            conn = http.client.HTTPSConnection("localhost", int(os.environ["TLS_PORT"]), timeout=5,
                                               context=context)
            conn.request("GET", "/api/session")
            answer = conn.getresponse()
            break
        except OSError:
            time.sleep(0.1)
    else:
        sys.exit("the https server never answered")
    cookie = answer.getheader("Set-Cookie") or ""
    check(answer.status == 401 and "; Secure" in cookie, "over https the cookie is Secure: %r" % cookie)


def main():
    wait_for_server()
    check_tls()
    driver = new_driver()
    try:
        run(driver)
    except Exception:
        print("page:", driver.current_url, driver.find_element(By.TAG_NAME, "body").text)
        for entry in driver.get_log("browser"):
            print("console:", entry["message"])
        raise
    finally:
        driver.quit()


def run(driver):
    # Logging in: a wrong password and an unknown role are told alike.
    driver.get(URL + "/logga-in")
    axe(driver, "the login page")
    tab_through(driver, ["roll", "losenord", "Logga in"], "the login page")
    answers = []
    for role, password in (("kontorist", "fel"), ("ingen_sadan", "fel")):
        login(driver, role, password)
        WebDriverWait(driver, 5).until(lambda d: d.find_element(By.ID, "svar").text not in ("", "Loggar in …"))
        answers.append(driver.find_element(By.ID, "svar").text)
    check(answers == ["Fel roll eller lösenord."] * 2, "wrong password and unknown role answered alike: %s" % answers)

    login(driver, "kontorist", "kontorets-losen")
    WebDriverWait(driver, 5).until(lambda d: d.current_url.rstrip("/") == URL)
    driver.get(URL + "/?datum=" + DATE)
    WebDriverWait(driver, 5).until(lambda d: len(rows(d)) == 2)
    check(rows(driver)[0].startswith("Bil 3 tisdag.csv 0 av 4"), "the live page shows the fleet: %s" % rows(driver))
    session = {c["name"]: c for c in driver.get_cookies()}["leverans_session"]
    check(session["httpOnly"] and session.get("sameSite") == "Strict" and len(session["value"]) >= 32,
          "the session cookie is HttpOnly, SameSite=Strict, 128 bits or more")
    axe(driver, "the live page")
    tab_through(driver, ["logga-ut", "datum", "rapport", "Bil 3", "Bil 4"], "the live page")

    # A van's save appears without a reload.
    driver.execute_script("window.notReloaded = true;")
    van_save("3", 1, 1, [10, 0, 2], "bilens-losen")
    WebDriverWait(driver, 5, poll_frequency=0.02).until(lambda d: rows(d)[0].startswith("Bil 3 tisdag.csv 1 av 4"))
    check(driver.execute_script("return window.notReloaded === true;"),
          "a save reached the live page without a reload")
    van_save("3", 2, 3, [1, 7, 3], "bilens-losen")
    van_save("3", 3, 1, [12, 0, -1], "bilens-losen")  # a correction of shop 1
    WebDriverWait(driver, 5).until(lambda d: rows(d)[0].startswith("Bil 3 tisdag.csv 2 av 4"))

    # The report, byte for byte as kontor rapport writes it.
    report = base64.b64decode(driver.execute_async_script(
        "const done = arguments[arguments.length - 1];"
        "fetch('/api/rapport?datum=" + DATE + "').then(r => r.arrayBuffer()).then(b => {"
        "let s = ''; for (const x of new Uint8Array(b)) s += String.fromCharCode(x); done(btoa(s)); });"))
    command = subprocess.run([os.environ["LEVERANS_BINARY"], "kontor", "rapport", DATE, "--kontor",
                              os.environ["OFFICE_CONNINFO"]], check=True, capture_output=True).stdout
    check(report == command and len(report) > 100, "the downloaded report equals kontor rapport (%d bytes)" % len(report))
    check(driver.find_element(By.ID, "rapport").get_attribute("href").endswith("/api/rapport?datum=" + DATE),
          "the report link is for the day shown")

    # A van's day: corrections, passed over and not yet saved told apart.
    driver.get(URL + "/bil?bil=3&datum=" + DATE)
    WebDriverWait(driver, 5).until(lambda d: len(d.find_elements(By.CSS_SELECTOR, "section.shop")) == 4)
    states = [s.get_attribute("class") for s in driver.find_elements(By.CSS_SELECTOR, "section.shop")]
    check(states == ["shop rattad", "shop overhoppad", "shop sparad", "shop ej"], "shop states: %s" % states)
    first = driver.find_elements(By.CSS_SELECTOR, "section.shop")[0].text
    check("108 Skivad J.F. 12 12" in first and "120 Lyxfranska 2 -1" in first,
          "the latest save counts, returns negative: %r" % first)
    driver.save_screenshot(os.path.join(SHOTS, "webb-bilens-dag.png"))

    # Publishing: a good file with a hostile shop name, by dropping it; a bad file by the picker.
    driver.get(URL + "/publicera")
    WebDriverWait(driver, 5).until(lambda d: d.find_element(By.ID, "vem").text != "")
    axe(driver, "the publishing page")
    driver.find_element(By.ID, "bil").send_keys("10")
    driver.execute_script("document.getElementById('datum').value = arguments[0];", DATE)
    good = "Artikel;Lager;%s;Coop\n108 Skivad J.F.;;4;2\n" % HOSTILE
    driver.execute_script(
        "const t = new DataTransfer(); t.items.add(new File([arguments[0]], 'fredag.csv', {type: 'text/csv'}));"
        "const zone = document.getElementById('slapp');"
        "zone.dispatchEvent(new DragEvent('drop', {dataTransfer: t, bubbles: true, cancelable: true}));", good)
    driver.find_element(By.CSS_SELECTOR, "#publicering button").click()
    WebDriverWait(driver, 5).until(lambda d: d.find_element(By.ID, "svar").text.startswith("Rutten"))
    check(driver.find_element(By.ID, "svar").text ==
          "Rutten fredag.csv är publicerad för bil 10 den %s (2 butiker, 1 artikel)." % DATE,
          "a dropped route file is published: %r" % driver.find_element(By.ID, "svar").text)
    with tempfile.NamedTemporaryFile("w", suffix=".csv", prefix="trasig", delete=False) as bad:
        bad.write("Artikel;Lager;Konsum\n108 Skivad J.F.;;x\n")
    driver.find_element(By.ID, "fil").send_keys(bad.name)
    driver.find_element(By.CSS_SELECTOR, "#publicering button").click()
    WebDriverWait(driver, 5).until(lambda d: "error" in d.find_element(By.ID, "svar").get_attribute("class"))
    shown = driver.find_element(By.ID, "svar").text
    name = os.path.basename(bad.name)
    command = subprocess.run([os.environ["LEVERANS_BINARY"], "kontor", "publicera", "10", DATE, name,
                              "--kontor", os.environ["OFFICE_CONNINFO"]], capture_output=True,
                             cwd=os.path.dirname(bad.name)).stderr.decode()
    check(command.strip() == "leverans: " + shown, "a bad file is refused as kontor publicera does: %r / %r" % (shown, command))

    driver.get(URL + "/bil?bil=10&datum=" + DATE)
    WebDriverWait(driver, 5).until(lambda d: len(d.find_elements(By.CSS_SELECTOR, "section.shop")) == 2)
    heading = driver.find_element(By.CSS_SELECTOR, "section.shop h2").text
    check(heading.startswith("1. " + HOSTILE) and not driver.find_elements(By.CSS_SELECTOR, "main img"),
          "a hostile shop name is shown as its characters: %r" % heading)

    # Without the CSRF token, or from another origin, nothing is done.
    status = driver.execute_async_script(
        "const done = arguments[arguments.length - 1];"
        "const f = new FormData(); f.append('bil', '4'); f.append('datum', '" + DATE + "');"
        "f.append('fil', new File(['Artikel;Lager;A\\nB;;1\\n'], 'x.csv'));"
        "fetch('/api/publicera', {method: 'POST', body: f}).then(r => done(r.status));")
    check(status == 403, "a POST without the CSRF token is refused (%s)" % status)
    cookie = "leverans_session=" + session["value"]
    token = driver.execute_async_script(
        "const done = arguments[arguments.length - 1];"
        "fetch('/api/session').then(r => r.json()).then(s => done(s.csrf));")
    status, _ = post("/api/logga-ut", cookie, "http://evil.example", {"X-CSRF-Token": token})
    check(status == 403, "a POST from another origin is refused (%s)" % status)

    # Bad requests are answered and closed; the server serves on.
    for request, status in (
            (b"POST /api/publicera HTTP/1.1\r\nHost: x\r\nContent-Length: 104857600\r\n\r\n", "413"),
            (b"GET / HTTP/1.1\r\nX: " + b"a" * 20000 + b"\r\n\r\n", "431"),
            (b"GET /\x01 HTTP/1.1\r\n\r\n", "400"),
            (b"POST /api/logga-in HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n", "411")):
        line = raw(request)
        check(line.startswith("HTTP/1.1 " + status), "%r... is answered %s: %r" % (request[:30], status, line))
    driver.get(URL + "/?datum=" + DATE)
    WebDriverWait(driver, 5).until(lambda d: len(rows(d)) == 3)
    driver.save_screenshot(os.path.join(SHOTS, "webb-dagens-lage.png"))
    driver.set_window_size(390, 844)
    driver.save_screenshot(os.path.join(SHOTS, "webb-dagens-lage-telefon.png"))
    driver.set_window_size(1200, 900)

    # A van's role sees its own van only, also when another van saves while
    # the office watches the same day.
    van_driver = new_driver()
    try:
        login(van_driver, "bil3", "bilens-losen")
        WebDriverWait(van_driver, 5).until(lambda d: d.current_url.rstrip("/") == URL)
        van_driver.get(URL + "/?datum=" + DATE)
        WebDriverWait(van_driver, 5).until(lambda d: len(rows(d)) >= 1)
        van_save("4", 1, 2, [6, 30, 0], "bil4-losen")
        van_save("3", 4, 4, [5, 3, 0], "bilens-losen")
        WebDriverWait(van_driver, 5).until(lambda d: rows(d)[0].startswith("Bil 3 tisdag.csv 3 av 4"))
        WebDriverWait(driver, 5).until(lambda d: rows(d)[1].startswith("Bil 4 tisdag.csv 1 av 4"))
        check(len(rows(van_driver)) == 1, "a van's role sees only its own van: %s" % rows(van_driver))
        other = van_driver.execute_async_script(
            "const done = arguments[arguments.length - 1];"
            "fetch('/api/bil?bil=4&datum=" + DATE + "').then(r => done(r.status));")
        check(other == 404, "a van's role cannot read another van's day (%s)" % other)
    finally:
        van_driver.quit()

    # Logging out ends the session.
    driver.find_element(By.ID, "logga-ut").click()
    WebDriverWait(driver, 5).until(lambda d: d.current_url.endswith("/logga-in"))
    status, _ = post("/api/logga-ut", cookie, URL, {"X-CSRF-Token": token})
    check(status == 401, "the session is gone after logging out (%s)" % status)


if __name__ == "__main__":
    main()
    if failures:
        print("%d failed" % len(failures))
        sys.exit(1)
