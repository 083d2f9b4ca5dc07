#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The page in a real browser: every projector shown, a click on a power
button reaches the projector's wire, the new state shows without a reload,
a refused command reads "refused", and the browser's console stays clean."""

import sys
import tempfile

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

from web_rig import Rig, wait_for

BROWSER_FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                 "--disable-background-networking", "--disable-component-update", "--disable-sync",
                 "--disable-dev-shm-usage"]


def browser(profile, width=1280, height=900):
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for flag in BROWSER_FLAGS + [f"--user-data-dir={profile}", f"--window-size={width},{height}"]:
        options.add_argument(flag)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)


def field(driver, projector, name):
    return driver.find_element(
        By.CSS_SELECTOR, f'[data-projector="{projector}"] [data-field="{name}"]').text


def main(bridge, sim):
    # p003 answers "?" to everything.
    with Rig(bridge, sim, 3, token="page-token", faults=[(), (), ("--fault", "refuse")]) as rig, tempfile.TemporaryDirectory() as profile:
        rig.wait_online()
        driver = browser(profile)
        try:
            driver.get(f"{rig.base}/?token=page-token")
            wait = WebDriverWait(driver, 20)
            wait.until(lambda d: len(d.find_elements(By.CSS_SELECTOR, "[data-projector]")) == 3)
            assert "token" not in driver.current_url, driver.current_url
            wait.until(lambda d: field(d, "p002", "power") == "off")
            assert field(driver, "p002", "online") == "online"
            assert field(driver, "p002", "lamp_hours") == "1234 h"

            marker = driver.execute_script("return window.stayedHere = 'yes';")
            button = driver.find_element(By.CSS_SELECTOR, '[data-projector="p002"] [data-command="power-on"]')
            assert button.get_attribute("aria-label") == "On: p002"
            button.click()
            wait_for(lambda: rig.projectors["p002"].received("C00"), 10, "C00 on p002's wire")
            assert not rig.projectors["p001"].received("C00")
            WebDriverWait(driver, 15).until(lambda d: field(d, "p002", "power") in ("warming", "on"))
            assert driver.execute_script("return window.stayedHere;") == marker, "the page reloaded"

            driver.find_element(By.CSS_SELECTOR, '[data-projector="p003"] [data-command="power-on"]').click()
            WebDriverWait(driver, 15).until(lambda d: field(d, "p003", "outcome") == "power-on: refused")

            # The filter keeps the matching projector only.
            driver.find_element(By.ID, "filter").send_keys("p003")
            shown = [e.get_attribute("data-projector")
                     for e in driver.find_elements(By.CSS_SELECTOR, "[data-projector]") if e.is_displayed()]
            assert shown == ["p003"], shown

            # The browser reports the refusal's 422 itself; nothing else may show.
            problems = [entry for entry in driver.get_log("browser") if entry["level"] in ("SEVERE", "WARNING")
                        and "status of 422" not in entry["message"]]
            assert not problems, problems
        finally:
            driver.quit()
    print("1 passed, 0 failed")


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
