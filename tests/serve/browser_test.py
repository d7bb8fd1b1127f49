#!/usr/bin/python3
# The report server in a real browser: headless Chromium through Selenium logs in, opens the
# list, picks a category and regions and types a date in the report's form, renders, checks the
# page's numbers against SQL on the example database, and reads back the workbook it downloads.
# Screenshots of the list, the form and the page go to <build>/serve-screenshots for people to
# look at. Usage: browser_test.py <orvik> <source dir> <build dir>
import io
import os
import re
import sqlite3
import subprocess
import sys
import tempfile
import time
import urllib.request

try:
    import openpyxl
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By
    from selenium.webdriver.support.ui import Select, WebDriverWait
except ImportError as missing:
    print(f"skipped: {missing} (scripts/setup test installs it)")
    sys.exit(77)

orvik, source, build = (os.path.abspath(a) for a in sys.argv[1:4])
database = os.path.join(os.path.dirname(orvik), "examples/sales/sales.db")
shots = os.path.join(build, "serve-screenshots")
os.makedirs(shots, exist_ok=True)


def fail(message):
    print("FAILED:", message)
    sys.exit(1)


def revenue_of(region, start, end):
    with sqlite3.connect(database) as db:
        return db.execute(
            "select round(sum(s.amount), 2) from sales s join regions r on r.id = s.region_id "
            "where s.sale_date between ? and ? and r.name = ?", (start, end, region)).fetchone()[0]


def number(text):
    return float(str(text).replace(" ", "").replace("\u00a0", ""))


with tempfile.TemporaryDirectory() as work:
    reports = os.path.join(work, "reports", "sales")
    os.makedirs(reports)
    with open(os.path.join(source, "examples/sales/Sales.ovk"), encoding="windows-1251") as f:
        report = f.read().replace("Data Source=examples/sales/sales.db", "Data Source=" + database)
    with open(os.path.join(reports, "Sales.ovk"), "w", encoding="windows-1251") as f:
        f.write(report)
    password = "browser-pw-7"
    hashed = subprocess.run([orvik, "serve", "--hash-password"], input=password + "\n",
                            capture_output=True, text=True, check=True).stdout.strip()
    users = os.path.join(work, "users")
    with open(users, "w") as f:
        f.write(f"eva:{hashed}:sales:\n")
    os.chmod(users, 0o600)
    env = dict(os.environ, ORVIK_CONFIG=os.path.join(work, "settings.ini"))
    server = subprocess.Popen([orvik, "serve", "--reports", os.path.join(work, "reports"),
                               "--listen", "127.0.0.1:0", "--users", users],
                              stderr=subprocess.PIPE, text=True, env=env)
    line = server.stderr.readline()
    match = re.search(r"listening on (http://[^/]+)/", line)
    if not match:
        fail("the server did not start: " + line)
    base = match.group(1)
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for flag in ("--headless=new", "--no-sandbox", "--disable-gpu", "--window-size=1280,1000",
                 "--lang=en-US", f"--user-data-dir={work}/profile"):
        options.add_argument(flag)
    browser = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    try:
        wait = WebDriverWait(browser, 20)
        browser.get(base + "/")
        wait.until(lambda b: "/login" in b.current_url)
        browser.find_element(By.ID, "user").send_keys("eva")
        browser.find_element(By.ID, "password").send_keys(password)
        browser.find_element(By.CSS_SELECTOR, "button[type=submit]").click()
        wait.until(lambda b: b.find_elements(By.CSS_SELECTOR, "table.list"))
        browser.save_screenshot(os.path.join(shots, "list.png"))
        browser.find_element(By.LINK_TEXT, "Daily sales").click()
        wait.until(lambda b: b.find_elements(By.NAME, "Category"))
        open(os.path.join(shots, "form.html"), "w").write(browser.page_source)
        Select(browser.find_element(By.NAME, "Category")).select_by_visible_text("Clothing")
        for region in ("South", "East"):
            box = browser.find_element(By.CSS_SELECTOR, f"input[name=Regions][value={region}]")
            if box.is_selected():
                box.click()
        start = browser.find_element(By.ID, "p-From")
        start.clear()
        start.send_keys("2026-02-01")
        # The day through the date picker: it fills the text field beside it.
        picker = browser.find_element(By.CSS_SELECTOR, "#p-Day + input[type=date]")
        picker.send_keys("05312026")
        day = browser.find_element(By.ID, "p-Day").get_attribute("value")
        if day != "2026-05-31":
            fail("the date picker gave " + repr(day))
        browser.save_screenshot(os.path.join(shots, "form.png"))
        browser.find_element(By.CSS_SELECTOR, "form.card button[type=submit]").click()
        wait.until(lambda b: b.find_elements(By.ID, "orvik-serve-bar"))
        browser.save_screenshot(os.path.join(shots, "page.png"))
        rows = {}
        for row in browser.find_elements(By.CSS_SELECTOR, "#OrvikSheet0 tr"):
            cells = [cell.text for cell in row.find_elements(By.CSS_SELECTOR, "td")]
            if cells:
                rows[cells[0]] = cells
        if set(rows) & {"South", "East"} or not {"North", "West"} <= set(rows):
            fail(f"the page shows the regions {sorted(rows)}")
        for region in ("North", "West"):
            expected = revenue_of(region, "2026-02-01", "2026-05-31")
            if abs(number(rows[region][4]) - expected) > 0.005:
                fail(f"{region}: the page says {rows[region][4]}, SQL {expected}")
        link = browser.find_element(By.PARTIAL_LINK_TEXT, "Workbook").get_attribute("href")
        cookie = "; ".join(f"{c['name']}={c['value']}" for c in browser.get_cookies())
        with urllib.request.urlopen(urllib.request.Request(link, headers={"Cookie": cookie})) as r:
            workbook = openpyxl.load_workbook(io.BytesIO(r.read()))
        found = {}
        for sheet in workbook.worksheets:
            for row in sheet.iter_rows(values_only=True):
                if row and row[0] in ("North", "West") and len(row) > 4 and row[4] is not None:
                    found.setdefault(row[0], number(row[4]))
        for region in ("North", "West"):
            expected = revenue_of(region, "2026-02-01", "2026-05-31")
            if region not in found or abs(found[region] - expected) > 0.005:
                fail(f"{region}: the workbook says {found.get(region)}, SQL {expected}")
    finally:
        browser.quit()
        server.terminate()
        server.wait(timeout=30)
print("ok: screenshots in", shots)
