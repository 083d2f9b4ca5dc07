#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The page's groups in a real browser: each group with its members'
summary, a group's command only after a confirmation, reaching every
member's wire, with the result for each member, and the filter by group.
Then, as the bridge has no token, what another site could make the same
browser do: post a command (a form, and a fetch without CORS) and read the
API under a name of its own that resolves to the bridge (DNS rebinding):
all refused, nothing on any wire.
With a directory as third argument, a screenshot of the page goes there."""

import os
import sys
import tempfile
import urllib.parse

from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

from page_test import browser
from web_rig import Rig, wait_for

SETTINGS = "[group east]\nprojectors = p001, p003\n"


def shown_cards(driver):
    return [e.get_attribute("data-projector")
            for e in driver.find_elements(By.CSS_SELECTOR, "[data-projector]") if e.is_displayed()]


def check_other_sites(driver, rig):
    target = f"{rig.base}/api/projectors/p002/command"
    attacker = f"""<form method="post" enctype="text/plain" action="{target}">
<input name='{{"command": "freeze-on", "x": "' value='"}}'></form>
<script>
fetch("{target}", {{method: "POST", mode: "no-cors", body: '{{"command": "freeze-on"}}'}})
  .finally(() => document.forms[0].submit());
</script>"""
    driver.get("data:text/html," + urllib.parse.quote(attacker))
    # The form's answer replaces the page once both requests were answered.
    WebDriverWait(driver, 15).until(lambda d: d.current_url.startswith(rig.base))
    refusal = driver.find_element(By.TAG_NAME, "body").text
    assert "application/json" in refusal or "another site" in refusal, refusal
    driver.get(f"http://rebound.example:{rig.port}/api/projectors")
    assert "[web] hosts" in driver.find_element(By.TAG_NAME, "body").text, driver.page_source
    assert not any(p.received("C43") for p in rig.projectors.values()), "a command from another site ran"


def main(bridge, sim, screenshots=None):
    # p003 answers "?" to everything.
    with Rig(bridge, sim, 3, faults=[(), (), ("--fault", "refuse")], settings=SETTINGS) as rig, \
            tempfile.TemporaryDirectory() as profile:
        rig.wait_online()
        driver = browser(profile, flags=["--host-resolver-rules=MAP rebound.example 127.0.0.1"])
        try:
            driver.get(rig.base + "/")
            wait = WebDriverWait(driver, 20)
            east = '[data-group="east"]'
            wait.until(lambda d: d.find_element(By.ID, "groups").is_displayed())
            wait.until(lambda d: "2 projectors" in d.find_element(By.CSS_SELECTOR, f'{east} [data-field="group-summary"]').text)
            assert "3 projectors" in driver.find_element(
                By.CSS_SELECTOR, '[data-group="all"] [data-field="group-summary"]').text

            off = driver.find_element(By.CSS_SELECTOR, f'{east} [data-group-command="power-off"]')
            off.click()
            driver.find_element(By.ID, "confirm-no").click()
            assert not rig.projectors["p001"].received("C01"), "sent without a confirmation"
            off.click()
            assert driver.find_element(By.ID, "confirm-question").text == "Switch off every projector of the group east?"
            driver.find_element(By.ID, "confirm-yes").click()
            wait_for(lambda: rig.projectors["p001"].received("C01"), 10, "C01 on p001's wire")
            wait.until(lambda d: len(d.find_elements(By.CSS_SELECTOR, f'{east} [data-member]')) == 2)
            results = {e.get_attribute("data-member"): e.text
                       for e in driver.find_elements(By.CSS_SELECTOR, f'{east} [data-member]')}
            assert results == {"p001": "p001: done", "p003": "p003: refused"}, results
            assert not rig.projectors["p002"].received("C01"), "p002 is not in the group"

            driver.find_element(By.CSS_SELECTOR, f'{east} [data-group-filter="east"]').click()
            assert shown_cards(driver) == ["p001", "p003"], shown_cards(driver)
            assert driver.find_element(By.ID, "shown").text == "2 of 3 shown"
            if screenshots:
                driver.save_screenshot(os.path.join(screenshots, "page-groups.png"))
            driver.find_element(By.CSS_SELECTOR, f'{east} [data-group-filter="east"]').click()
            assert shown_cards(driver) == ["p001", "p002", "p003"], shown_cards(driver)
            problems = [entry for entry in driver.get_log("browser") if entry["level"] in ("SEVERE", "WARNING")
                        and "status of 207" not in entry["message"]]
            assert not problems, problems
            check_other_sites(driver, rig)
        finally:
            driver.quit()
    print("1 passed, 0 failed")


if __name__ == "__main__":
    main(*sys.argv[1:4])
