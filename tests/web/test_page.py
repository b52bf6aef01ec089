#!/usr/bin/python3
"""The search page in headless Chromium against dorvan-server over drawings written for it.

One server and one browser serve every test. Exit status 77 (skipped) when the server, the
browser or Selenium is missing.
"""
import argparse
import json
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.error
import urllib.parse
import urllib.request

SKIPPED = 77
ARGS = None
BASE = ''
DRIVER = None
SERVER = None
TEMP = ''

OFFICE_SHOWN_AS = '\\\\nas\\図面'
REAL_SHOWN_AS = '\\\\nas\\実例'


def skip(reason):
    print(f'SKIPPED: {reason}')
    sys.exit(SKIPPED)


def api(path):
    try:
        with urllib.request.urlopen(BASE + path, timeout=30) as response:
            return json.load(response)
    except urllib.error.HTTPError as error:
        return json.load(error)


def api_search(**request):
    return api('/api/search?' + urllib.parse.urlencode(request))


def wait(condition, what, timeout=15):
    end = time.time() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.time() > end:
            raise AssertionError(f'timed out waiting for {what}')
        time.sleep(0.05)


def free_port():
    with socket.socket() as s:
        s.bind(('127.0.0.1', 0))
        return s.getsockname()[1]


def start_server():
    global SERVER, BASE, TEMP
    TEMP = tempfile.mkdtemp(prefix='dorvan-web-')
    drawings = os.path.join(TEMP, 'drawings')
    subprocess.run([ARGS.make_drawings, drawings], check=True)
    port = free_port()
    config = os.path.join(TEMP, 'server.toml')
    # Literal TOML strings: the backslashes of the Windows paths stay as they are.
    roots = f"[[root]]\nname = 'office'\npath = '{drawings}'\nshown_as = '{OFFICE_SHOWN_AS}'\n"
    # A root whose folder is gone, as a share that is down.
    roots += f"[[root]]\nname = 'gone'\npath = '{TEMP}/gone'\nshown_as = '\\\\gone\\x'\n"
    if os.path.isdir(ARGS.real_drawings):
        roots += f"[[root]]\nname = 'real'\npath = '{os.path.realpath(ARGS.real_drawings)}'\nshown_as = '{REAL_SHOWN_AS}'\n"
    with open(config, 'w', encoding='utf-8') as f:
        f.write(f"listen = '127.0.0.1:{port}'\nindex = '{TEMP}/index.sqlite3'\nweb = '{ARGS.web}'\n{roots}")
    log = open(os.path.join(TEMP, 'server.log'), 'w')
    SERVER = subprocess.Popen([ARGS.server, '--config', config], stdout=log, stderr=subprocess.STDOUT)
    BASE = f'http://127.0.0.1:{port}'

    def ready():
        if SERVER.poll() is not None:
            raise AssertionError('dorvan-server ended: ' + open(os.path.join(TEMP, 'server.log')).read())
        try:
            roots = api('/api/status')['roots']
        except (OSError, ValueError, KeyError):
            return False
        return all(r['state'] in ('watching', 'unavailable') and r['queue'] == 0 for r in roots)
    wait(ready, 'the server to scan its roots', 60)


def start_browser():
    global DRIVER
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    options = webdriver.ChromeOptions()
    for flag in ('--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
                 '--disable-background-networking', '--disable-component-update', '--disable-sync',
                 '--window-size=1280,900', '--lang=ja'):
        options.add_argument(flag)
    options.add_argument('--user-data-dir=' + os.path.join(TEMP, 'browser'))
    options.binary_location = '/usr/bin/chromium'
    options.set_capability('goog:loggingPrefs', {'browser': 'ALL'})
    DRIVER = webdriver.Chrome(service=Service('/usr/bin/chromedriver'), options=options)
    DRIVER.set_script_timeout(10)
    DRIVER.execute_cdp_cmd('Browser.grantPermissions', {
        'origin': BASE, 'permissions': ['clipboardReadWrite', 'clipboardSanitizedWrite']})


def stop():
    if DRIVER is not None:
        DRIVER.quit()
    if SERVER is not None:
        SERVER.terminate()
        try:
            SERVER.wait(10)
        except subprocess.TimeoutExpired:
            SERVER.kill()
    if TEMP:
        shutil.rmtree(TEMP, ignore_errors=True)


def js(script, *args):
    return DRIVER.execute_script(script, *args)


def by_id(name):
    from selenium.webdriver.common.by import By
    return DRIVER.find_element(By.ID, name)


def shown_rows():
    return js("return [...document.querySelectorAll('#found li.drawing .path .win')].map(n => n.textContent)")


def api_rows(**request):
    return [d['shown_as'] for d in api_search(**request)['found']]


def open_page(query=''):
    DRIVER.get(BASE + '/' + query)
    wait(lambda: js("return document.readyState === 'complete' && !document.getElementById('results').hasAttribute('aria-busy')"),
         'the page')


def search_shown(request):
    """Waits until the page shows what the API answers for `request`."""
    expected = api_rows(**request)
    wait(lambda: shown_rows() == expected, f'rows {expected}')
    return expected


def row_of(name):
    from selenium.webdriver.common.by import By
    for row in DRIVER.find_elements(By.CSS_SELECTOR, '#found li.drawing'):
        if row.find_element(By.CSS_SELECTOR, '.name').text == name:
            return row
    raise AssertionError(f'no row {name}')


def sharp_view():
    """The view of the sharp picture the preview shows, as four numbers."""
    url = js("return document.getElementById('view').dataset.sharp || ''")
    query = urllib.parse.parse_qs(urllib.parse.urlparse(url).query)
    return [float(v) for v in query['view'][0].split(',')] if 'view' in query else None, query


def read_bytes(path):
    with open(path, 'rb') as f:
        return f.read()


def screenshot(name):
    os.makedirs(ARGS.screenshots, exist_ok=True)
    DRIVER.save_screenshot(os.path.join(ARGS.screenshots, name))


class SearchPage(unittest.TestCase):
    def test_search_url_back_refusal(self):
        from selenium.webdriver.common.keys import Keys
        open_page()
        by_id('text').send_keys('さくら邸', Keys.ENTER)
        rows = search_shown({'range': 'data', 'text': 'さくら邸'})
        self.assertEqual(rows, [OFFICE_SHOWN_AS + p for p in ['\\markup.jww', '\\現場A\\平面図.jww', '\\現場A\\断面図.jww']])
        self.assertTrue(by_id('result-message').text.startswith(api_search(range='data', text='さくら邸')['message']))
        wait(lambda: 'gone: 使用できません' in by_id('status').text, 'the unavailable root in the status line')
        self.assertIn('壊れた図面.jww', by_id('unreadable-section').text)
        self.assertEqual(urllib.parse.parse_qs(urllib.parse.urlparse(DRIVER.current_url).query),
                         {'range': ['data'], 'text': ['さくら邸']})

        # A second search, then Back shows the first again with its form.
        by_id('range-0').click()
        by_id('range-1').click()
        by_id('text').clear()
        by_id('text').send_keys('断面', Keys.ENTER)
        search_shown({'range': 'memo', 'text': '断面'})
        DRIVER.back()
        search_shown({'range': 'data', 'text': 'さくら邸'})
        self.assertTrue(by_id('range-0').is_selected())
        self.assertEqual(by_id('text').get_attribute('value'), 'さくら邸')

        # A refusal is told beside the form, in the window's words, not in an alert.
        by_id('text').clear()
        by_id('text').send_keys(Keys.ENTER)
        wait(lambda: by_id('refusal').text == '対象文字が指定されていません。', 'the refusal')
        self.assertEqual(js('return document.querySelectorAll("#found li").length'), 0)
        for query, message in [('?text=x', '検索範囲の指定が不正です。'), ('?range=version', 'ファイルバージョンが指定されていません。'),
                               ('?range=data&text=x&root=gone', '検索する場所に接続できません。')]:
            with self.subTest(query=query):
                open_page(query)
                wait(lambda: by_id('refusal').text.startswith(message), message)

        # A link reproduces its search, the root and the other ranges included.
        links = [{'range': 'layer', 'text': '表題欄'}, {'range': 'size', 'size': 'A2'},
                 {'range': 'data', 'text': 'さくら邸', 'under': '現場A'}]
        if os.path.isdir(ARGS.real_drawings):
            links.append({'range': 'data', 'text': '丸木', 'root': 'real'})
        for request in links:
            with self.subTest(request=request):
                open_page('?' + urllib.parse.urlencode(request))
                self.assertTrue(search_shown(request))
                range_index = ['data', 'memo', 'version', 'size', 'layer-group', 'layer', 'line-width-base', 'block'].index(request['range'])
                self.assertTrue(by_id(f'range-{range_index}').is_selected())
        if os.path.isdir(ARGS.real_drawings):
            self.assertEqual(shown_rows(), [REAL_SHOWN_AS + '\\jdu211171__jw_cad__sample.jww'])
            row_of('jdu211171__jw_cad__sample.jww').send_keys(Keys.ENTER)
            wait(lambda: sharp_view()[0] and js("return document.getElementById('picture').complete"), 'the preview')
            screenshot('preview-real.png')

    def test_range_rules(self):
        state = ("return Object.fromEntries(['range-0','range-1','range-2','range-3','range-6','text','word','case',"
                 "'regex','version','size','dpi'].map(id => { const n = document.getElementById(id);"
                 " return [id, (n.checked ? 'on' : '') + (n.disabled ? '-' : '') + (n.value && n.tagName === 'SELECT' ? n.value : '')]; }))")
        # Clicks from the start, then the controls that must read so ('on' ticked, '-' disabled).
        cases = [
            ([], {'range-0': 'on', 'range-1': '-', 'range-6': '-', 'text': '', 'version': '-', 'dpi': '-'}),
            (['range-0'], {'range-0': '', 'range-1': '', 'range-6': '', 'text': '-', 'version': '', 'size': '', 'dpi': ''}),
            (['word', 'regex', 'range-0', 'range-2'],
             {'range-2': 'on', 'range-0': '-', 'word': '-', 'regex': '-', 'text': '-', 'version': '', 'size': '-'}),
            (['word', 'regex'], {'word': '-', 'case': '-', 'regex': 'on'}),
            (['range-0', 'range-6'], {'range-6': 'on', 'dpi': '', 'text': '-', 'version': '-', 'size': '-'}),
        ]
        for clicks, expected in cases:
            with self.subTest(clicks=clicks):
                open_page()
                for name in clicks:
                    by_id(name).click()
                shown = js(state)
                self.assertEqual({k: shown[k] for k in expected}, expected)
        # A size chosen, the range left and taken again: the choice is gone.
        open_page()
        for name in ['range-0', 'range-3']:
            by_id(name).click()
        js("const s = document.getElementById('size'); s.value = 'A4'; s.dispatchEvent(new Event('change'))")
        by_id('range-3').click()
        by_id('range-3').click()
        self.assertEqual(by_id('size').get_attribute('value'), '')

    def test_thumbnails_copy_and_preview(self):
        from selenium.webdriver.common.action_chains import ActionChains
        from selenium.webdriver.common.by import By
        from selenium.webdriver.common.keys import Keys
        # The real drawings make the better picture of the results, where they are.
        searches = [{'range': 'data', 'text': '図', 'root': 'real'}] if os.path.isdir(ARGS.real_drawings) else []
        for i, request in enumerate(searches + [{'range': 'data', 'text': 'さくら邸'}]):
            open_page('?' + urllib.parse.urlencode(request))
            search_shown(request)
            wait(lambda: js("return [...document.querySelectorAll('img.thumb')].filter(i => i.getBoundingClientRect().top < innerHeight)"
                            ".every(i => i.complete && i.naturalWidth > 0)"), 'the thumbnails in view')
            if i == 0:
                screenshot('results.png')

        row = row_of('平面図.jww')
        row.find_element(By.XPATH, ".//button[text()='プレビュー']").click()
        wait(lambda: sharp_view()[0], 'the first sharp picture')
        self.assertIn('preview=', DRIVER.current_url)
        fitted = sharp_view()[0]

        # Wheel zoom: the picture is scaled at once, a narrower view comes sharp afterwards.
        js("const v = document.getElementById('view'), r = v.getBoundingClientRect();"
           "v.dispatchEvent(new WheelEvent('wheel', {deltaY: -400, clientX: r.left + r.width / 2, clientY: r.top + r.height / 2, bubbles: true, cancelable: true}))")
        self.assertIn('scale(', js("return document.getElementById('picture').style.transform"))
        wait(lambda: sharp_view()[0] != fitted, 'the zoomed picture')
        zoomed = sharp_view()[0]
        self.assertLess(zoomed[2] - zoomed[0], (fitted[2] - fitted[0]) * 0.6)

        # Dragging to the right shows what lies to the left.
        ActionChains(DRIVER).click_and_hold(by_id('view')).move_by_offset(120, 0).release().perform()
        wait(lambda: sharp_view()[0][0] < zoomed[0] - 1e-6, 'the panned picture')

        by_id('fit').click()
        wait(lambda: sharp_view()[0] == fitted, 'the fitted picture')

        # Hiding the frame's layer asks for a picture without it.
        js("document.querySelector('#layers details').open = true")
        DRIVER.find_element(By.CSS_SELECTOR, '#layers input[data-layer="0-0"]').click()
        wait(lambda: sharp_view()[1].get('hide') == ['0-0'], 'the picture without layer 0-0')

        # Choosing a match centres the view on its box.
        DRIVER.find_element(By.CSS_SELECTOR, '#match-list button').click()
        centred = ("const v = document.getElementById('view').getBoundingClientRect(),"
                   " b = document.querySelector('#boxes .box.chosen').getBoundingClientRect();"
                   " return [b.left + 3 - v.left - v.width / 2, b.bottom - 3 - v.top - v.height / 2];")
        wait(lambda: all(abs(d) < 2 for d in js(centred)), 'the match in the centre')
        centre_x = lambda: (lambda v: (v[0] + v[2]) / 2)(sharp_view()[0])
        wait(lambda: abs(centre_x() - 290) < 1e-2, 'the sharp picture centred on the match')
        screenshot('preview.png')

        by_id('view').send_keys(Keys.ESCAPE)
        wait(lambda: not by_id('preview').is_displayed(), 'the preview to close')
        self.assertNotIn('preview=', DRIVER.current_url)

        row_of('平面図.jww').find_element(By.XPATH, ".//button[text()='パスをコピー']").click()
        # The copy is done when the page says so; the clipboard is read after that.
        wait(lambda: 'パスをコピーしました' in by_id('toast').get_attribute('textContent'), 'the copy')
        copied = DRIVER.execute_async_script("navigator.clipboard.readText().then(arguments[0], e => arguments[0]('!' + e))")
        self.assertEqual(copied, OFFICE_SHOWN_AS + '\\現場A\\平面図.jww')

    def test_downloads(self):
        from selenium.webdriver.common.by import By
        folder = os.path.join(TEMP, 'downloads')
        os.makedirs(folder, exist_ok=True)
        DRIVER.execute_cdp_cmd('Page.setDownloadBehavior', {'behavior': 'allow', 'downloadPath': folder})
        open_page('?range=data&text=' + urllib.parse.quote('さくら邸'))
        search_shown({'range': 'data', 'text': 'さくら邸'})
        by_id('save-list').click()
        row_of('平面図.jww').find_element(By.XPATH, ".//a[text()='ダウンロード']").click()
        saved = lambda name: os.path.join(folder, name)
        wait(lambda: os.path.exists(saved('該当ファイル.csv')) and os.path.exists(saved('平面図.jww')), 'the downloads')
        csv = read_bytes(saved('該当ファイル.csv')).decode('utf-8')
        self.assertTrue(csv.startswith('\ufeffパス,範囲,場所,レイヤグループ,レイヤ,X,Y,文字\r\n'))
        self.assertIn(OFFICE_SHOWN_AS + '\\現場A\\平面図.jww,データ内,図面,0,1,290,35,工事名称 さくら邸新築工事\r\n', csv)
        drawing = os.path.join(TEMP, 'drawings', '現場A', '平面図.jww')
        wait(lambda: read_bytes(saved('平面図.jww')) == read_bytes(drawing), 'the whole drawing')

    def test_markup_stays_text(self):
        from selenium.webdriver.common.by import By
        open_page('?range=data&text=' + urllib.parse.quote('さくら邸'))
        search_shown({'range': 'data', 'text': 'さくら邸'})
        row = row_of('markup.jww')
        texts = [n.get_attribute('textContent') for n in row.find_elements(By.CSS_SELECTOR, '.match .text')]
        self.assertEqual(texts, ["さくら邸 <img src=x onerror=\"document.title='text-ran'\">",
                                 "さくら邸 </script><script>document.title='script-ran'</script>"])
        self.assertIn("<img src=x onerror=\"document.title='layer-ran'\">", row.text)
        row.find_element(By.XPATH, ".//button[text()='プレビュー']").click()
        wait(lambda: sharp_view()[0], 'the preview')
        js("document.querySelectorAll('#layers details').forEach(d => d.open = true)")
        self.assertIn("<img src=x onerror=\"document.title='layer-ran'\">", by_id('layers').text)
        self.assertIn('<b>memo</b>', by_id('info').text)
        time.sleep(0.3)
        self.assertEqual(js("return document.querySelectorAll('img:not(#picture):not(.thumb), script:not([src])').length"), 0)
        self.assertNotIn('ran', DRIVER.title)
        blocked = [e for e in DRIVER.get_log('browser') if 'Content Security Policy' in e['message']]
        self.assertEqual(blocked, [])
        by_id('close-preview').click()

    def test_narrow_window(self):
        from selenium.webdriver.common.by import By
        DRIVER.set_window_size(768, 900)
        try:
            open_page('?range=data&text=' + urllib.parse.quote('さくら邸'))
            search_shown({'range': 'data', 'text': 'さくら邸'})
            fits = "return document.documentElement.scrollWidth <= document.documentElement.clientWidth"
            self.assertLessEqual(js('return innerWidth'), 768)
            self.assertTrue(js(fits))
            row_of('平面図.jww').find_element(By.XPATH, ".//button[text()='プレビュー']").click()
            wait(lambda: sharp_view()[0], 'the preview')
            self.assertTrue(js(fits))
            self.assertGreater(by_id('view').size['width'], 400)
        finally:
            DRIVER.set_window_size(1280, 900)

    def test_long_list(self):
        from selenium.webdriver.common.keys import Keys
        # More cards than a low window holds: only those near the window are in the page,
        # each in its place, and both the scroll bar and the keys reach the last.
        DRIVER.set_window_size(800, 600)
        try:
            request = {'range': 'data', 'text': '一覧図'}
            expected = api_rows(**request)
            self.assertEqual(len(expected), 40)
            open_page('?' + urllib.parse.urlencode(request))
            placed = lambda: expected[int(js("return document.querySelector('#found li').dataset.index")):][:len(shown_rows())]
            wait(lambda: shown_rows() and shown_rows() == placed(), 'the first cards')
            self.assertLess(len(shown_rows()), 20)
            last = f"document.querySelector('#found li[data-index=\"{len(expected) - 1}\"]')"
            in_view = f"const r = {last}; return !!r && r.getBoundingClientRect().bottom <= innerHeight"
            js('scrollTo(0, document.body.scrollHeight)')
            wait(lambda: js(in_view) and shown_rows() == placed(), 'the last cards in their places')
            js('scrollTo(0, 0)')
            wait(lambda: not js(f'return !!{last}'), 'the last card taken out')
            js("document.querySelector('#found li[data-index=\"0\"]').focus()")
            DRIVER.switch_to.active_element.send_keys(Keys.END)
            wait(lambda: js(in_view) and DRIVER.switch_to.active_element.get_attribute('data-index') == str(len(expected) - 1),
                 'the last card focused in view')
            DRIVER.switch_to.active_element.send_keys(Keys.ARROW_UP)
            self.assertEqual(DRIVER.switch_to.active_element.get_attribute('data-index'), str(len(expected) - 2))
        finally:
            DRIVER.set_window_size(1280, 900)

    def test_keyboard_only(self):
        from selenium.webdriver.common.keys import Keys
        open_page()
        active = lambda: DRIVER.switch_to.active_element
        self.assertEqual(active().get_attribute('id'), 'text')
        active().send_keys('さくら邸', Keys.ENTER)
        search_shown({'range': 'data', 'text': 'さくら邸'})
        for _ in range(40):
            if 'drawing' in (active().get_attribute('class') or ''):
                break
            active().send_keys(Keys.TAB)
        self.assertEqual(active().get_attribute('data-index'), '0')
        active().send_keys(Keys.ARROW_DOWN)
        self.assertEqual(active().get_attribute('data-index'), '1')
        active().send_keys(Keys.ENTER)
        wait(lambda: sharp_view()[0], 'the preview')
        active().send_keys(Keys.ESCAPE)
        wait(lambda: not by_id('preview').is_displayed(), 'the preview to close')
        self.assertEqual(active().get_attribute('data-index'), '1')


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument('--server', required=True)
    parser.add_argument('--make-drawings', required=True)
    parser.add_argument('--web', required=True)
    parser.add_argument('--real-drawings', default='')
    parser.add_argument('--screenshots', required=True)
    ARGS, rest = parser.parse_known_args()
    if not os.access(ARGS.server, os.X_OK):
        skip(f'dorvan-server is not built ({ARGS.server}); build the target dorvan-server to run the page in a browser')
    try:
        import selenium  # noqa: F401
    except ImportError:
        skip('python3-selenium is not installed (scripts/install-deps.sh installs it)')
    for program in ('/usr/bin/chromium', '/usr/bin/chromedriver'):
        if not os.access(program, os.X_OK):
            skip(f'{program} is missing (scripts/install-deps.sh installs chromium and chromium-driver)')
    try:
        start_server()
        start_browser()
        result = unittest.main(argv=[sys.argv[0]] + rest, exit=False, verbosity=2).result
    finally:
        stop()
    sys.exit(0 if result.wasSuccessful() else 1)


if __name__ == '__main__':
    main()
