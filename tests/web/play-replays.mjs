// The web build is the same game: each golden replay, played in headless
// chromium from one browser start, gives the native kcs's trace byte for byte
// and its screenshots pixel for pixel.
// node play-replays.mjs KCS WORK REPLAY:FRAMES:SHOT,SHOT...:DATA:SITE ...
// KCS the native program, WORK a scratch folder; each run's DATA is the data
// folder the native game plays, SITE the web build's folder holding the same
// data packed. Prints one line per replay, then "N passed, N failed".
import { execFileSync, spawn } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { createRequire } from 'node:module';

const require = createRequire(path.join(process.env.KCS_PUPPETEER_DIR || '.', 'index.js'));
const puppeteer = require('puppeteer-core');

const [kcs, work, ...runs] = process.argv.slice(2);
const PER_REPLAY_MS = 120000; // a replay's whole run in the browser, at most

// The pixels of a BMP as "R,G,B" rows, whatever its layout (the native
// screenshot's 32-bit, the web's 24-bit).
function bmpPixels(bytes) {
  const width = bytes.readInt32LE(18);
  const rawHeight = bytes.readInt32LE(22);
  const height = Math.abs(rawHeight);
  const bits = bytes.readUInt16LE(28);
  const compression = bytes.readUInt32LE(30);
  const offset = bytes.readUInt32LE(10);
  const stride = Math.floor((width * bits + 31) / 32) * 4;
  let masks = [0xff0000, 0xff00, 0xff];
  if (compression === 3) masks = [0, 1, 2].map((i) => bytes.readUInt32LE(54 + 4 * i));
  const channel = (pixel, mask) => {
    let shift = 0;
    while (mask && !((mask >>> shift) & 1)) shift++;
    return ((pixel & mask) >>> shift) * 255 / (mask >>> shift);
  };
  const out = [];
  for (let y = 0; y < height; y++) {
    const row = offset + stride * (rawHeight < 0 ? y : height - 1 - y);
    for (let x = 0; x < width; x++) {
      const at = row + x * (bits / 8);
      const pixel = bits === 24 ? bytes.readUIntLE(at, 3) : bytes.readUInt32LE(at);
      out.push(masks.map((m) => channel(pixel, m)).join(','));
    }
  }
  return { width, height, pixels: out };
}

function differingPixels(a, b) {
  if (a.width !== b.width || a.height !== b.height) return a.width * a.height;
  return a.pixels.filter((p, i) => p !== b.pixels[i]).length;
}

fs.mkdirSync(work, { recursive: true });
// What is served: a folder for each web build, its files and the replays
// beside them.
const served = path.join(work, 'site');
fs.rmSync(served, { recursive: true, force: true });
fs.mkdirSync(served);
const sites = [...new Set(runs.map((run) => run.split(':')[4]))];
sites.forEach((site, i) => {
  fs.mkdirSync(path.join(served, String(i)));
  for (const name of fs.readdirSync(site)) {
    fs.symlinkSync(path.resolve(site, name), path.join(served, String(i), name));
  }
});
const server = spawn('python3', ['-m', 'http.server', '--bind', '127.0.0.1', '0'],
                     { cwd: served, stdio: ['ignore', 'pipe', 'ignore'] });
const port = await new Promise((resolve, reject) => {
  server.stdout.on('data', (chunk) => {
    const found = /port (\d+)/.exec(chunk.toString());
    if (found) resolve(Number(found[1]));
  });
  server.on('exit', () => reject(new Error('python3 -m http.server ended')));
});

const browser = await puppeteer.launch({
  executablePath: process.env.KCS_CHROMIUM || '/usr/bin/chromium',
  headless: true,
  args: ['--no-sandbox', '--autoplay-policy=no-user-gesture-required', '--mute-audio'],
});
let passed = 0;
let failed = 0;
try {
  for (const run of runs) {
    const [replay, frames, shotList, data, site] = run.split(':');
    const folder = path.join(served, String(sites.indexOf(site)));
    const shots = shotList ? shotList.split(',') : [];
    const name = path.basename(replay);
    fs.copyFileSync(replay, path.join(folder, name));
    const nativeTrace = path.join(work, name + '.native-trace');
    const shotArgs = shots.flatMap((f) => ['--screenshot', `${f}:${path.join(work, `${name}-${f}.bmp`)}`]);
    execFileSync(kcs, ['--headless', '--data', data, '--replay', replay, '--trace', nativeTrace,
                       '--frames', frames, ...shotArgs]);
    const page = await browser.newPage();
    const problems = [];
    page.on('pageerror', (error) => problems.push(error.message));
    if (process.env.KCS_WEB_CONSOLE) page.on('console', (m) => console.log('console:', m.text()));
    const query = new URLSearchParams([['replay', name], ['trace', '/trace.txt'], ['frames', frames],
                                       ['no-pacing', ''],
                                       ...shots.map((f) => ['screenshot', `${f}:/shot-${f}.bmp`])]);
    const started = Date.now();
    await page.goto(`http://127.0.0.1:${port}/${sites.indexOf(site)}/index.html?${query}`);
    await page.waitForFunction('window.kcsExitStatus !== undefined', { timeout: PER_REPLAY_MS });
    const seconds = (Date.now() - started) / 1000;
    const result = await page.evaluate((list) => ({
      status: window.kcsExitStatus,
      title: document.title,
      trace: window.FS.analyzePath('/trace.txt').exists ? window.FS.readFile('/trace.txt', { encoding: 'utf8' }) : '',
      shots: list.map((f) => Array.from(window.FS.readFile(`/shot-${f}.bmp`))),
    }), shots).catch((error) => ({ status: -1, trace: '', shots: [], title: '', error: error.message }));
    await page.close();
    const expected = fs.readFileSync(nativeTrace, 'utf8');
    if (result.status !== 0) problems.push(`exit status ${result.status} ${result.error || ''}`);
    if (result.trace !== expected) {
      const web = result.trace.split('\n');
      const native = expected.split('\n');
      const line = native.findIndex((l, i) => l !== web[i]);
      problems.push(`trace differs from line ${line + 1} (web ${web.length - 1} lines, native ${native.length - 1})`);
      fs.writeFileSync(path.join(work, name + '.web-trace'), result.trace);
    }
    shots.forEach((f, i) => {
      const native = bmpPixels(fs.readFileSync(path.join(work, `${name}-${f}.bmp`)));
      const web = bmpPixels(Buffer.from(result.shots[i] || []));
      const differing = result.shots[i] ? differingPixels(native, web) : native.pixels.length;
      if (differing !== 0) problems.push(`screenshot at frame ${f}: ${differing} pixels differ`);
    });
    const verdict = problems.length === 0 ? 'ok' : 'FAILED: ' + problems.join('; ');
    console.log(`${name} on ${path.basename(data)}: ${frames} frames, ${shots.length} screenshots, ` +
                `${seconds.toFixed(1)} s: ${verdict}`);
    if (problems.length === 0) passed++; else failed++;
  }
} finally {
  await browser.close();
  server.kill();
}
console.log(`${passed} passed, ${failed} failed`);
process.exit(failed === 0 ? 0 : 1);
