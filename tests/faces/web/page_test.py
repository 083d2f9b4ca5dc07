#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The page in a real browser, as a building's technician uses it: every
projector shown, the one needing attention first and counted in the tab's
title; a click on a power button reaches the projector's wire and the new
state shows without a reload; a refusal reads "refused"; the filter's
counts; switching off asks first; the controls say what is selected; the
keyboard jumps between cards; dark and phone layouts; axe-core finds nothing
serious; a frozen bridge is said to be, and the page recovers by itself;
and the browser's console stays clean."""

import signal
import sys
import tempfile

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

from web_rig import Rig, wait_for

BROWSER_FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                 "--disable-background-networking", "--disable-component-update", "--disable-sync",
                 "--disable-dev-shm-usage"]
IDS_IN_ORDER = "return [...document.querySelectorAll('[data-projector]')].map(e => e.dataset.projector)"
IDS_SHOWN = "return [...document.querySelectorAll('[data-projector]:not([hidden])')].map(e => e.dataset.projector)"
# What a phone's thumb needs, and what no page of ours may make it scroll sideways for.
SMALL_TARGETS = """return [...document.querySelectorAll('button, input')]
  .filter(e => e.offsetParent !== null)
  .map(e => [e.getAttribute('aria-label') || e.id || e.textContent, e.getBoundingClientRect()])
  .filter(([, r]) => r.width < 44 || r.height < 44).map(([name]) => name)"""
AXE_RUN = """const done = arguments[arguments.length - 1];
axe.run(document).then(r => done(r.violations.filter(v => ['serious', 'critical'].includes(v.impact))
  .map(v => `${v.id}: ${v.nodes.map(n => n.target.join(' ')).slice(0, 3).join(', ')}`)));"""


def browser(profile, width=1280, height=900, flags=()):
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for flag in BROWSER_FLAGS + [f"--user-data-dir={profile}", f"--window-size={width},{height}", *flags]:
        options.add_argument(flag)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)


def field(driver, projector, name):
    return driver.find_element(
        By.CSS_SELECTOR, f'[data-projector="{projector}"] [data-field="{name}"]').text


def control(driver, projector, command):
    return driver.find_element(By.CSS_SELECTOR, f'[data-projector="{projector}"] [data-command="{command}"]')


def stale(driver):
    return driver.execute_script("return document.documentElement.dataset.stale")


def axe_violations(driver, axe_script):
    driver.execute_script(axe_script)
    driver.set_script_timeout(60)
    return driver.execute_async_script(AXE_RUN)


def check_attention_first(driver):
    WebDriverWait(driver, 20).until(lambda d: d.title.startswith("(1) need attention"))
    assert "Test hall" in driver.title, driver.title
    assert driver.execute_script(IDS_IN_ORDER)[0] == "p004", "the offline projector leads"
    icon = driver.find_element(By.CSS_SELECTOR, 'link[rel="icon"]').get_attribute("href")
    assert icon.endswith("favicon-attention.svg"), icon


def check_filter(driver):
    box = driver.find_element(By.ID, "filter")
    # Whole words and field:value pairs; "on" no longer matches every online card.
    for words, expected in [("p003", ["p003"]), ("offline", ["p004"]), ("power:off", ["p001"]),
                            ("on", ["p002"]), ("warn", [])]:
        box.clear()
        box.send_keys(words)
        assert driver.execute_script(IDS_SHOWN) == expected, (words, driver.execute_script(IDS_SHOWN))
        assert driver.find_element(By.ID, "shown").text == f"{len(expected)} of 4 shown"
        assert driver.find_element(By.ID, "nothing").is_displayed() == (not expected), words
    box.clear()
    box.send_keys(" ")  # an input event, nothing to match
    count = driver.find_element(By.CSS_SELECTOR, '#summary [data-kind="offline"]')
    assert count.text == "Offline 1", count.text
    count.click()
    assert box.get_attribute("value") == "offline" and count.get_attribute("aria-pressed") == "true"
    assert driver.execute_script(IDS_SHOWN) == ["p004"]
    count.click()
    assert len(driver.execute_script(IDS_SHOWN)) == 4


def check_switch_off_asks(driver, rig):
    dialog = driver.find_element(By.ID, "confirm")
    control(driver, "p001", "power-off").click()
    assert dialog.is_displayed() and "p001" in dialog.text
    driver.find_element(By.ID, "confirm-no").click()
    assert not dialog.is_displayed()
    control(driver, "p001", "power-off").click()
    driver.find_element(By.ID, "confirm-yes").click()
    WebDriverWait(driver, 15).until(lambda d: field(d, "p001", "result").startswith("power-off: done at"))
    assert [line for _, line in rig.projectors["p001"].lines].count("C01") == 1, "the cancelled one went out"


def check_pressed_controls(driver):
    def pressed(command):
        return control(driver, "p002", command).get_attribute("aria-pressed")
    WebDriverWait(driver, 15).until(lambda d: field(d, "p002", "mute") != "—")
    selected = field(driver, "p002", "input")
    for command in ("pc1", "pc2", "video"):
        assert pressed(command) == str(command == selected).lower(), (command, selected)
    sound_muted = field(driver, "p002", "mute") in ("sound", "both")
    assert pressed("sound-mute-on") == str(sound_muted).lower()
    assert pressed("sound-mute-off") == str(not sound_muted).lower()
    assert control(driver, "p001", "pc1").get_attribute("aria-pressed") is not None
    assert control(driver, "p001", "sound-mute-on").get_attribute("aria-pressed") is None, "stand-by says no mute"


def check_keyboard(driver):
    order = driver.execute_script(IDS_IN_ORDER)
    driver.execute_script("document.activeElement.blur()")
    # Keys to whatever has the focus, as a person types them.
    ActionChains(driver).send_keys("j").send_keys("j").perform()
    assert driver.switch_to.active_element.get_attribute("id") == f"projector-{order[1]}"
    ActionChains(driver).send_keys("k").perform()
    assert driver.switch_to.active_element.get_attribute("id") == f"projector-{order[0]}"


def check_live_and_rows(driver):
    # The list once, then the stream: no asking again while it flows.
    lists = "return performance.getEntriesByType('resource').filter(e => e.name.endsWith('/api/projectors')).length"
    asked = driver.execute_script(lists)
    for _ in range(2):  # two more words from the bridge, each a poll's worth of time at least
        said = driver.find_element(By.ID, "freshness").text
        WebDriverWait(driver, 10).until(lambda d: d.find_element(By.ID, "freshness").text != said)
    assert driver.execute_script(lists) == asked == 1, (asked, driver.execute_script(lists))
    driver.find_element(By.ID, "view").click()
    driver.refresh()
    WebDriverWait(driver, 20).until(lambda d: len(d.find_elements(By.CSS_SELECTOR, "[data-projector]")) == 4)
    assert driver.find_element(By.ID, "view").get_attribute("aria-pressed") == "true", "the rows remembered"
    assert driver.execute_script("return document.documentElement.classList.contains('rows')")


def check_dark_and_phone(driver, axe_script):
    driver.execute_cdp_cmd("Emulation.setEmulatedMedia",
                           {"features": [{"name": "prefers-color-scheme", "value": "dark"}]})
    background = driver.execute_script("return getComputedStyle(document.documentElement).backgroundColor")
    assert background == "rgb(18, 18, 18)", background
    assert axe_violations(driver, axe_script) == []
    driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                           {"width": 390, "height": 844, "deviceScaleFactor": 2, "mobile": True})
    assert driver.execute_script("return document.documentElement.scrollWidth <= innerWidth"), "sideways scroll"
    assert driver.execute_script(SMALL_TARGETS) == []
    driver.execute_cdp_cmd("Emulation.clearDeviceMetricsOverride", {})
    driver.execute_cdp_cmd("Emulation.setEmulatedMedia", {"features": []})


def check_frozen_bridge(driver, rig):
    assert stale(driver) == "false"
    assert driver.find_element(By.ID, "freshness").text.startswith("updated ")
    rig.signal(signal.SIGSTOP)
    try:
        WebDriverWait(driver, 20).until(lambda d: stale(d) == "true")
        assert driver.find_element(By.ID, "freshness").text.startswith("data from ")
        opacity = driver.execute_script(
            "return getComputedStyle(document.querySelector('[data-projector]')).opacity")
        assert float(opacity) < 1, "cards greyed"
    finally:
        rig.signal(signal.SIGCONT)
    WebDriverWait(driver, 20).until(lambda d: stale(d) == "false")
    assert driver.find_element(By.ID, "freshness").text.startswith("updated ")


def main(bridge, sim, axe_path):
    with open(axe_path) as f:
        axe_script = f.read()
    # p003 answers "?" to everything; p004 never answers.
    faults = [(), (), ("--fault", "refuse"), ("--fault", "silent")]
    with Rig(bridge, sim, 4, token="page-token", faults=faults, extra=["--web-title", "Test hall"]) as rig, \
            tempfile.TemporaryDirectory() as profile:
        rig.wait_online()
        driver = browser(profile)
        try:
            driver.get(f"{rig.base}/?token=page-token")
            wait = WebDriverWait(driver, 20)
            wait.until(lambda d: len(d.find_elements(By.CSS_SELECTOR, "[data-projector]")) == 4)
            assert "token" not in driver.current_url, driver.current_url
            wait.until(lambda d: field(d, "p002", "power") == "off")
            assert field(driver, "p002", "online") == "online"
            assert field(driver, "p002", "lamp_hours") == "1234 h"
            check_attention_first(driver)

            marker = driver.execute_script("return window.stayedHere = 'yes';")
            button = control(driver, "p002", "power-on")
            assert button.get_attribute("aria-label") == "On: p002"
            button.click()
            wait_for(lambda: rig.projectors["p002"].received("C00"), 10, "C00 on p002's wire")
            assert not rig.projectors["p001"].received("C00")
            WebDriverWait(driver, 15).until(lambda d: field(d, "p002", "power") in ("warming", "on"))
            WebDriverWait(driver, 15).until(lambda d: field(d, "p002", "result").startswith("power-on: done at"))
            assert driver.execute_script("return window.stayedHere;") == marker, "the page reloaded"

            control(driver, "p003", "power-on").click()
            WebDriverWait(driver, 15).until(lambda d: field(d, "p003", "result").startswith("power-on: refused at"))

            WebDriverWait(driver, 15).until(lambda d: field(d, "p002", "power") == "on")
            check_filter(driver)
            check_switch_off_asks(driver, rig)
            check_pressed_controls(driver)
            check_keyboard(driver)

            # The browser reports the refusal's 422 itself, and a bridge
            # without the event stream its 404; nothing else may show.
            problems = [entry for entry in driver.get_log("browser") if entry["level"] in ("SEVERE", "WARNING")
                        and "status of 422" not in entry["message"]
                        and "api/events" not in entry["message"]]
            assert not problems, problems

            assert axe_violations(driver, axe_script) == []
            check_live_and_rows(driver)
            check_dark_and_phone(driver, axe_script)
            check_frozen_bridge(driver, rig)
        finally:
            driver.quit()
    print("1 passed, 0 failed")


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2], sys.argv[3])
