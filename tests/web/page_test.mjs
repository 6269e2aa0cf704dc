// The configurator page in headless Chromium.
//   node page_test.mjs demo|webhid <build/web> <chromium>
// demo:   the emulated modules and their bench, compared with the bench's
//         state lines and lamps; a file saved, checked byte for byte, and
//         opened again.
// webhid: WebHidHost through a stand-in for navigator.hid, installed before
//         the page loads, with the emulator's firmware (zelio_test_firmware,
//         run here in node) behind it: a late reply, a silent module, an
//         unplug during a command, and re-enumeration after Reset.
// With ZELIO_SCREENSHOT=<file.png>, demo mode also saves screenshots.
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import {createRequire} from 'node:module';
import puppeteer from 'puppeteer-core';

const [mode, buildDir, chromium] = process.argv.slice(2);
const dir = path.resolve(buildDir);
const T = {  // the window's texts the checks look for
  guide: '<USB 입출력 모듈의 설정 방법>', connected: '변경모드로 연결되었습니다', atStart: '변경모드로 연결되어 있습니다',
  writeDone: '데이타 전송이 완료되었습니다', received: '데이타 읽기를 완료하였습니다', receiveFailed: '데이타 수신 중에 에러가 발생하였습니다',
  resetDone: 'USB 입출력 모드로 변경되었습니다', removed: ' Removed USB Output Module',
};
let checks = 0;
function check(ok, what, got) {
  checks++;
  if (!ok) throw new Error(`${what}${got === undefined ? '' : `: got ${JSON.stringify(got)}`}`);
}

// The page's four files, and nothing else, on 127.0.0.1.
const types = {'.html': 'text/html; charset=utf-8', '.js': 'text/javascript', '.wasm': 'application/wasm', '.css': 'text/css'};
const server = http.createServer((req, res) => {
  const name = new URL(req.url, 'http://x').pathname.slice(1) || 'index.html';
  if (!['index.html', 'zelio.js', 'zelio.wasm', 'zelio.css'].includes(name)) return res.writeHead(404).end();
  res.writeHead(200, {'content-type': types[path.extname(name)]}).end(fs.readFileSync(path.join(dir, name)));
});
await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
const url = `http://127.0.0.1:${server.address().port}/`;

const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'zelio-web-'));
const browser = await puppeteer.launch({
  executablePath: chromium, headless: true, userDataDir: path.join(profile, 'profile'),
  args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
         '--disable-component-update', '--disable-sync'],
});
const page = await browser.newPage();
const errors = [];
page.on('pageerror', (err) => errors.push(String(err)));
page.on('dialog', (d) => { dialogs.push(d.message()); d.type() === 'prompt' ? d.accept(promptAnswer) : d.accept(); });
const dialogs = [];
let promptAnswer = '';

const text = (sel) => page.$eval(sel, (e) => e.textContent);
const log = () => text('#log');
const done = () => page.$eval('body', (b) => Number(b.dataset.done || 0));
// Clicks (or picks) and waits until the page finished the call it started.
async function act(how) {
  const before = await done();
  const started = Date.now();
  await how();
  await page.waitForFunction((n) => Number(document.body.dataset.done || 0) > n, {timeout: 15000}, before);
  return Date.now() - started;
}
const click = (sel) => act(() => page.click(sel));
const pick = (sel, value) => act(() => page.select(sel, value));
const rows = () => page.$$eval('#rows .row:not(.head):not(.connector-only)', (rs) => rs.map((r) => [
  r.querySelector('.mode').textContent, r.querySelector('input').checked, r.querySelector('.test').disabled]));
const row = (r, part) => `#rows .row:not(.head):not(.connector-only):nth-of-type(${r + 3}) ${part}`;

// The panel for product 0x283 (entry 11) or 0x282 (10): row 1 open-drain,
// row 2 input, row 3 High; what the module must then hold.
async function setPanel(entry) {
  await pick('#product', String(entry));
  await click(row(0, '.mode'));
  await click(row(1, '.mode'));
  await click(row(1, '.mode'));
  await click(row(2, 'input'));
}
async function checkPanel(what) {
  const shown = await rows();
  check(shown[0][0] === 'open-drain Output' && shown[1][0] === 'Input' && shown[2][1] && !shown[0][1], what, shown);
}

async function load(query) {
  await page.goto(url + query);
  await page.waitForSelector('body[data-ready]', {timeout: 10000});
  const ms = await page.evaluate(() => performance.getEntriesByName('zelio-ready')[0].startTime);
  console.log(`ready ${Math.round(ms)} ms after the navigation started`);
}

if (mode === 'demo') {
  const bench = (m) => text(`.bench-module:nth-child(${m + 1}) .line`);
  const lamp = (m, c) => page.$eval(`.bench-module:nth-child(${m + 1}) .lamp:nth-child(${c + 1})`, (l) => l.dataset.state);
  await page.setViewport({width: 1280, height: 900});
  // The browser's language (not Korean here) picks English; the switch
  // turns the page Korean and is kept across a reload.
  await load('?demo');
  check((await log()).includes('<Putting a USB I/O module into setting mode>'), 'English for an English browser', await log());
  if (process.env.ZELIO_SCREENSHOT) await page.screenshot({path: process.env.ZELIO_SCREENSHOT.replace(/\.png$/, '-en.png'), fullPage: true});
  await click('#lang');
  await load('?demo');
  check((await log()).includes(T.guide) && await text('#connect') === 'USB 장치 연결…', 'Korean kept across the reload', await log());
  check(/pid=0x281 mode=normal/.test(await bench(0)), 'ZEL280 plugged, normal', await bench(0));
  check(await page.$eval('[data-cmd="write"]', (b) => b.disabled), 'Write disabled without a module');

  await click('.bench-module:nth-child(1) .setting');
  check((await log()).includes(`(ZEL280)이 ${T.connected}`), 'setting button announces the module', await log());
  check(await text('#status') === ' Connected USB Output Module - ZEL280', 'status', await text('#status'));
  check((await text('#modules')).includes('0x280 ZEL280'), 'module list follows', await text('#modules'));

  await setPanel(11);
  check(await text('#selected') === 'Device Selected ZEL280', 'selection pane', await text('#selected'));
  await click('[data-cmd="write"]');
  check((await log()).includes(T.writeDone), 'Write done', await log());
  check(/id=3 od=0x80 high=0x20 in=0x40/.test(await bench(0)), 'Write reaches the module', await bench(0));

  await click('[data-cmd="new"]');
  check((await rows()).every((r) => r[0] === 'push/pull Output' && !r[1]), 'New clears the panel');
  await click('[data-cmd="read"]');
  check((await log()).includes('펌웨어 버전 1.2') && (await log()).includes(T.received), 'Read with firmware', await log());
  await checkPanel('Read shows the module');
  check(await page.$eval('#product', (s) => s.value) === '11', 'Read selects 283');

  // Output test on OUT 4.
  await act(() => page.click(row(3, '.test')));
  check(await text('#outtest-title') === 'Output Test - OUT 4', 'dialog title', await text('#outtest-title'));
  for (const [kind, state] of [[1, 'high'], [2, 'low']]) {
    await click(`[data-kind="${kind}"]`);
    check(await lamp(0, 3) === state, `lamp OUT 4 ${state}`, await lamp(0, 3));
  }
  // The time fields keep digits only: "x5" is 5, and 5/5 blinks as 0x55.
  await page.$eval('#hightime', (i) => { i.value = ''; });
  await page.type('#hightime', 'x5');
  check(await page.$eval('#hightime', (i) => i.value) === '5', 'digits only', await page.$eval('#hightime', (i) => i.value));
  await click('[data-kind="0"]');
  check((await log()).includes('usb_io_output(280,0x55,4,0,0,0);') && await lamp(0, 3) === 'blink', 'blink 0x55', await log());
  await page.type('#lowtime', '2');
  await page.click('#outtest .close');
  await act(() => page.click(row(3, '.test')));
  check(await page.$eval('#lowtime', (i) => i.value) === '5', 'each opening starts with 5', await page.$eval('#lowtime', (i) => i.value));
  await page.click('#outtest .close');
  if (process.env.ZELIO_SCREENSHOT) {
    await page.screenshot({path: process.env.ZELIO_SCREENSHOT.replace(/\.png$/, '-ko.png'), fullPage: true});
    await page.setViewport({width: 390, height: 844});
    await page.screenshot({path: process.env.ZELIO_SCREENSHOT.replace(/\.png$/, '-phone.png'), fullPage: true});
  }

  // Save (download) byte for byte, then open it again after New.
  const downloads = path.join(profile, 'downloads');
  const cdp = await page.createCDPSession();
  await cdp.send('Browser.setDownloadBehavior', {behavior: 'allow', downloadPath: downloads});
  promptAnswer = 'bench';
  await click('[data-cmd="saveas"]');
  const saved = path.join(downloads, 'bench.kbd');
  for (let i = 0; i < 50 && !fs.existsSync(saved); i++) await new Promise((r) => setTimeout(r, 100));
  check(fs.existsSync(saved) && fs.readFileSync(saved, 'latin1') === '0283 80 20 40\r\n', 'saved file', fs.existsSync(saved) && fs.readFileSync(saved, 'latin1'));
  await click('[data-cmd="new"]');
  const [chooser] = await Promise.all([page.waitForFileChooser(), page.click('#open')]);
  await act(() => chooser.accept([saved]));
  await checkPanel('Open restores the panel');
  check(await page.$eval('#product', (s) => s.value) === '11', 'Open selects 283');


  await click('[data-cmd="reset"]');
  check((await log()).includes(T.resetDone), 'Reset done', await log());
  check(/pid=0x283 mode=normal/.test(await bench(0)), 'Reset puts the module back to normal', await bench(0));
  check(await text('#status') === '' && await page.$eval('[data-cmd="write"]', (b) => b.disabled), 'no module after Reset');

  await pick('#idchange', '0');
  check(/pid=0x260 mode=setting/.test(await bench(1)), 'ID change (261->260)', await bench(1));
  check((await log()).includes(`(ZEL260)이 ${T.connected}`), 'ZEL260 announced', await log());
  await click('.bench-module:nth-child(2) .plugged');
  check(await text('#status') === T.removed && !(await text('#modules')).includes('0x260'), 'unplug', await text('#status'));
  check(dialogs.length === 1, 'one dialog (the file name)', dialogs);
} else {
  // The firmware: the emulator compiled for node.
  const require = createRequire(import.meta.url);
  const fw = await require(path.join(dir, 'tests', 'zelio_test_firmware.js'))({
    wasmBinary: fs.readFileSync(path.join(dir, 'tests', 'zelio_test_firmware.wasm'))});
  const module = fw._fw_add(1, 1, 0x12);
  const state = () => fw.ccall('fw_state', 'string', ['number'], [module]);
  const faults = {delay: {}, silent: false, unplugOn: -1};
  await page.exposeFunction('zelioFirmware', (bytes) => {
    const buffer = fw._malloc(bytes.length);
    fw.HEAPU8.set(bytes, buffer);
    const count = fw._fw_report(module, buffer, bytes.length);
    fw._free(buffer);
    const replies = [];
    for (let i = 0; i < count && !faults.silent; i++) replies.push([...fw.HEAPU8.slice(fw._fw_reply(i), fw._fw_reply(i) + 9)]);
    return {replies, delay: faults.delay[bytes[3]] || 0, unplug: bytes[3] === faults.unplugOn, productId: fw._fw_product(module)};
  });
  const standIn = fs.readFileSync(new URL('hid_stand_in.js', import.meta.url), 'utf8');
  await page.evaluateOnNewDocument(`${standIn}\nzelioStandIn.plug(0x280, true); localStorage.setItem('zelio.lang', 'ko');`);
  await load('');
  check((await log()).includes(`(ZEL280)이 ${T.atStart}`), 'a granted module at the start', await log());
  check(await page.$eval('#demo', (b) => b.getAttribute('aria-pressed')) === 'false', 'WebHID, not the demo');

  await act(() => page.click('#connect'));
  const filters = await page.evaluate(() => zelioStandIn.requested);
  const ids = filters.map((f) => f.productId);
  check(filters.every((f) => f.vendorId === 0x1D5A) && ids.length === 20 && ids.includes(0x260) && ids.includes(0x289) &&
        !ids.includes(0x28A), 'requestDevice filters', filters);
  check((await log()).includes(`(ZEL280)이 ${T.connected}`), 'the granted module attaches', await log());

  await setPanel(10);
  await click('[data-cmd="write"]');
  check((await log()).includes(T.writeDone), 'Write done', await log());
  check(/id=2 od=0x80 high=0x20 in=0x40/.test(state()), 'Write', state());

  // A reply too late for its Read is passed over by the next one.
  faults.delay = {0x40: 3500};
  await click('[data-cmd="new"]');
  await click('[data-cmd="read"]');
  check((await log()).includes(T.receiveFailed), 'Read gives up after 2000 ms', await log());
  faults.delay = {0x43: 1500};  // the late 0x40 reply comes while this one is awaited
  await click('[data-cmd="read"]');
  check((await log()).includes(T.received), 'the late reply is skipped', await log());
  await checkPanel('the configuration, not the late reply');

  faults.delay = {};
  faults.silent = true;
  const silent = await click('[data-cmd="read"]');
  check((await log()).includes(T.receiveFailed) && silent >= 1900, 'a silent module times out', silent);

  faults.silent = false;
  faults.unplugOn = 0x43;
  const unplugged = await click('[data-cmd="read"]');
  await page.waitForFunction((t) => document.getElementById('status').textContent === t, {timeout: 5000}, T.removed);
  check(unplugged < 1900, 'an unplug ends the wait at once', unplugged);
  check((await page.$$('[data-cmd="write"]:disabled')).length === 1, 'no module after the unplug');

  faults.unplugOn = -1;
  await act(() => page.evaluate(() => zelioStandIn.plug(0x280)));
  await page.waitForFunction(() => document.getElementById('status').textContent.includes('ZEL280'), {timeout: 5000});
  await click('[data-cmd="reset"]');
  await page.waitForFunction(() => document.getElementById('modules').textContent === '0x282 ZEL280', {timeout: 5000});
  check((await log()).includes(T.resetDone) && /mode=normal/.test(state()), 'Reset re-enumerates as 0x282', state());
}
check(errors.length === 0, 'no script errors', errors);
await browser.close();
server.close();
fs.rmSync(profile, {recursive: true, force: true});
console.log(`${mode}: ${checks} checks passed`);
