// The web build's figures for docs/PERFORMANCE.md: its files' sizes, raw and
// gzipped; the time from opening the page to the first frame in headless
// chromium; and frames per second, paced and unpaced, against the native kcs
// on the same replay.
//   node bench/web/measure.mjs SITE KCS DATA REPLAY FRAMES
// with NODE_PATH naming a folder that holds puppeteer-core (make web-bench).
import { execFileSync, spawn } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import zlib from 'node:zlib';
import { createRequire } from 'node:module';

const require = createRequire(import.meta.url);
const puppeteer = require('puppeteer-core');
const [site, kcs, data, replay, frames] = process.argv.slice(2);
const RUNS = 3; // of each browser measure; the median is reported

const median = (values) => values.slice().sort((a, b) => a - b)[Math.floor(values.length / 2)];
const kib = (bytes) => Math.floor(bytes / 1024) + ' KiB';

console.log('| file | raw | gzipped |\n| --- | --- | --- |');
for (const name of ['index.html', 'kcs.js', 'kcs.wasm', 'kcs-data.js', 'kcs.data']) {
  const bytes = fs.readFileSync(path.join(site, name));
  console.log(`| ${name} | ${kib(bytes.length)} | ${kib(zlib.gzipSync(bytes, { level: 9 }).length)} |`);
}

const served = fs.mkdtempSync('/tmp/kcs-web-measure-');
for (const name of fs.readdirSync(site)) fs.symlinkSync(path.resolve(site, name), path.join(served, name));
fs.copyFileSync(replay, path.join(served, 'replay.txt'));
const server = spawn('python3', ['-m', 'http.server', '--bind', '127.0.0.1', '0'],
                     { cwd: served, stdio: ['ignore', 'pipe', 'ignore'] });
const port = await new Promise((resolve) => server.stdout.on('data', (chunk) => {
  const found = /port (\d+)/.exec(chunk.toString());
  if (found) resolve(Number(found[1]));
}));
const browser = await puppeteer.launch({ executablePath: '/usr/bin/chromium', headless: true,
  args: ['--no-sandbox', '--autoplay-policy=no-user-gesture-required', '--mute-audio'] });

// Times (ms since the page was opened) of the first and last traced frame.
async function play(extra) {
  const page = await browser.newPage();
  await page.evaluateOnNewDocument(() => {
    const log = console.log;
    window.kcsFrames = [];
    console.log = (line) => {
      if (typeof line === 'string' && line.startsWith('{"frame"')) window.kcsFrames.push(performance.now());
      else log(line);
    };
  });
  await page.goto(`http://127.0.0.1:${port}/index.html?replay=replay.txt&trace=-&frames=${frames}${extra}`);
  await page.waitForFunction('window.kcsExitStatus !== undefined', { timeout: 300000 });
  const times = await page.evaluate(() => window.kcsFrames);
  await page.close();
  return { first: times[0], fps: (times.length - 1) / ((times[times.length - 1] - times[0]) / 1000) };
}

const paced = [];
const unpaced = [];
for (let i = 0; i < RUNS; i++) {
  paced.push(await play(''));
  unpaced.push(await play('&no-pacing'));
}
await browser.close();
server.kill();
fs.rmSync(served, { recursive: true });

const nativeSeconds = [];
for (let i = 0; i < RUNS; i++) {
  const started = process.hrtime.bigint();
  execFileSync(kcs, ['--headless', '--data', data, '--replay', replay, '--frames', frames]);
  nativeSeconds.push(Number(process.hrtime.bigint() - started) / 1e9);
}
console.log(`\nfirst frame after opening the page: ${median(paced.map((r) => r.first)).toFixed(0)} ms`);
console.log(`web, paced: ${median(paced.map((r) => r.fps)).toFixed(1)} frames per second`);
console.log(`web, unpaced: ${median(unpaced.map((r) => r.fps)).toFixed(0)} frames per second`);
console.log(`native, headless and unpaced (whole run): ${(frames / median(nativeSeconds)).toFixed(0)} frames per second`);
