// Drives normlevel.html in headless Chromium, opened from disk with the
// network off: every example goes through the page's form, and everything the
// page shows or offers for download must be the native program's bytes for
// the same command line. The section drawing must reach the screen.
//
// usage: node page_test.mjs PAGE NATIVE_PROGRAM EXAMPLES_DIR
import {spawnSync} from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import {pathToFileURL} from 'node:url';
import puppeteer from 'puppeteer-core';

const [page_file, native, examples] = process.argv.slice(2).map((p) => path.resolve(p));

// Each example: what is typed into the form, and the command line that must
// give the same bytes (the file name last, as the page passes it).
const cases = [
  {file: 'trapezoid.txt', form: {}, args: []},
  {file: 'trapezoid.txt', form: {q: '5 20', 'rating-step': '0.5', details: false},
   args: ['-q', '5', '-q', '20'], rating: ['--rating', '0.5'], details: false},
  {file: 'napa_creek_2100.txt', form: {q: '500 4070', slope: '2', 'rating-step': '2'},
   args: ['-q', '500', '-q', '4070', '--slope', '2'], rating: ['--slope', '2', '--rating', '2']},
  {file: 'napa_creek_2100.txt', form: {}, args: []},
  {file: 'levee.txt', form: {connected: true, nf: '0.06'}, args: ['--nf', '0.06', '--connected']},
  {file: 'przekroj.csv', form: {banks: '36.2,50.1', q: '10', slope: '1'},
   args: ['-q', '10', '--slope', '1', '--banks', '36.2,50.1']},
  {file: 'reach.g01', form: {q: '30', slope: '2', section: '90'},
   args: ['-q', '30', '--slope', '2', '--section', '90']},
  {file: 'reach.g01', form: {q: '30 60', slope: '2'}, args: ['-q', '30', '-q', '60', '--slope', '2', '--section', '105.5']},
  {file: 'levee.txt', form: {units: 'us', nc: '0.04'}, args: ['--nc', '0.04', '--units', 'us']},
  {file: 'wklejony.txt', pasted: 'trapezoid.txt', form: {q: '7'}, args: ['-q', '7']},
];

// The outputs the page offers, and the options that make them.
const outputs = (c) => ({
  'raport': [...c.args, ...(c.details === false ? [] : ['--details'])],
  'CSV': [...c.args, '--format', 'csv'],
  'JSON': [...c.args, '--format', 'json'],
  'rysunek': [...c.args, '--svg'],
  'krzywa wydatków': [...c.args, '--plot', 'rating'],
  'energia właściwa': [...c.args, '--plot', 'energy'],
});

function runNative(args, file, source = file) {
  const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'normlevel-page-'));
  fs.copyFileSync(path.join(examples, source), path.join(folder, file));
  const run = spawnSync(native, [...args, file], {cwd: folder, input: ''});
  fs.rmSync(folder, {recursive: true});
  return {stdout: run.stdout, stderr: run.stderr, status: run.status};
}

let passed = 0, failed = 0;
function check(what, ok, detail = '') {
  if (ok) { ++passed; return; }
  ++failed;
  console.log(`FAILED: ${what}${detail ? '\n' + detail : ''}`);
}

function firstDifference(a, b) {
  const n = Math.min(a.length, b.length);
  let i = 0;
  while (i < n && a[i] === b[i]) ++i;
  return `  lengths ${a.length} (page) and ${b.length} (native), first difference at byte ${i}:\n` +
         `  page:   ${JSON.stringify(a.subarray(Math.max(0, i - 40), i + 40).toString())}\n` +
         `  native: ${JSON.stringify(b.subarray(Math.max(0, i - 40), i + 40).toString())}`;
}

async function fillForm(page, c) {
  if (c.pasted) {
    await page.$eval('#pasted', (e, text) => { e.value = text; }, fs.readFileSync(path.join(examples, c.pasted), 'utf8'));
    await page.$eval('#name', (e) => { e.value = ''; });
    await page.type('#name', c.file);
  } else {
    await (await page.$('#file')).uploadFile(path.join(examples, c.file));
    await page.waitForFunction((name) => document.getElementById('status').textContent.includes(name), {}, c.file);
  }
  for (const [id, value] of Object.entries(c.form)) {
    if (typeof value === 'boolean') {
      const checked = await page.$eval(`#${id}`, (e) => e.checked);
      if (checked !== value) await page.click(`#${id}`);
    } else if (id === 'units' || id === 'section') {
      await page.waitForFunction((s) => !document.getElementById(s).disabled, {}, id);
      await page.select(`#${id}`, value);
    } else {
      await page.type(`#${id}`, value);
    }
  }
}

async function compute(page) {
  const before = await page.$eval('body', (b) => Number(b.dataset.runs || 0));
  await page.focus('#compute');
  await page.keyboard.press('Enter');
  await page.waitForFunction((n) => Number(document.body.dataset.runs || 0) > n, {timeout: 60000}, before);
}

// Every download link's label and bytes, read back through its own URL.
async function downloads(page) {
  return page.$$eval('#downloads a', (links) => Promise.all(links.map(async (a) => ({
    label: a.textContent.replace(/ \(.*$/, ''), name: a.download,
    bytes: Array.from(new Uint8Array(await (await fetch(a.href)).arrayBuffer())),
  }))));
}

async function compareCase(page, c) {
  await fillForm(page, c);
  await compute(page);
  await compareOutputs(page, c);
}

async function compareOutputs(page, c) {
  const offered = await downloads(page);
  const title = `${c.file} ${c.args.join(' ')}`;
  for (const [label, args] of Object.entries(outputs(c))) {
    const expected = runNative(args, c.file, c.pasted);
    const got = offered.find((d) => d.label === label);
    if (expected.status !== 0 && expected.stdout.length === 0) {
      check(`${title}: ${label} is not offered when the program gives none`, !got);
      continue;
    }
    check(`${title}: ${label} is offered`, got !== undefined);
    if (!got) continue;
    const bytes = Buffer.from(got.bytes);
    check(`${title}: ${label} (${args.join(' ')}) has the native bytes`, bytes.equals(expected.stdout),
          firstDifference(bytes, expected.stdout));
  }
  const report = runNative(outputs(c)['raport'], c.file, c.pasted);
  check(`${title}: the case computes`, report.status === 0, report.stderr.toString());
  const shown = await page.$eval('#report', (e) => e.textContent);
  check(`${title}: the report shown`, shown === report.stdout.toString());
  const warnings = await page.$eval('#warnings', (e) => e.textContent);
  check(`${title}: the warnings shown are the native stderr`, warnings === report.stderr.toString(),
        `  page: ${JSON.stringify(warnings)}\n  native: ${JSON.stringify(report.stderr.toString())}`);
  if (c.rating) {
    const table = runNative(c.rating, c.file, c.pasted);
    check(`${title}: the rating table is computed`, table.status === 0);
    const rating = await page.$eval('#rating', (e) => e.textContent);
    check(`${title}: the rating table shown`, rating === table.stdout.toString() + table.stderr.toString());
  }
}

// The drawing on screen: a screenshot of it holds the water's and the
// ground's colours (read back through a canvas of the page itself).
async function checkScreenshot(page) {
  const picture = await page.$('#section-picture img');
  check('the section drawing is on the page', picture !== null);
  if (!picture) return;
  await picture.scrollIntoView();
  const png = await picture.screenshot({encoding: 'base64'});
  const counts = await page.evaluate(async (data) => {
    const image = new Image();
    image.src = 'data:image/png;base64,' + data;
    await image.decode();
    const canvas = document.createElement('canvas');
    canvas.width = image.width;
    canvas.height = image.height;
    const context = canvas.getContext('2d');
    context.drawImage(image, 0, 0);
    const pixels = context.getImageData(0, 0, image.width, image.height).data;
    const near = (i, r, g, b) => Math.abs(pixels[i] - r) + Math.abs(pixels[i + 1] - g) + Math.abs(pixels[i + 2] - b) < 24;
    const count = {water: 0, ground: 0, all: pixels.length / 4};
    for (let i = 0; i < pixels.length; i += 4) {
      if (near(i, 0x2f, 0x74, 0xc9) || near(i, 0x9c, 0xcb, 0xf2)) ++count.water;
      if (near(i, 0xc8, 0xad, 0x7f)) ++count.ground;
    }
    return count;
  }, png);
  check('the screenshot shows water', counts.water > counts.all / 100, JSON.stringify(counts));
  check('the screenshot shows ground', counts.ground > counts.all / 20, JSON.stringify(counts));
}

// A station table without banks is drawn with its ends as banks; clicking
// two corners of the ground line gives the banks at those survey points.
async function checkBanksByClicks(page) {
  await fillForm(page, {file: 'przekroj.csv', form: {q: '10', slope: '1'}});
  await compute(page);
  const picture = await page.$('#section-picture img');
  check('a table without banks is drawn for picking them', picture !== null);
  if (!picture) return;
  const corners = await page.$eval('#section-picture img', async (img) => {
    const svg = await (await fetch(img.src)).text();
    const ground = new DOMParser().parseFromString(svg, 'image/svg+xml').querySelector('path[stroke="#5b4526"]');
    return {xs: [...ground.getAttribute('d').matchAll(/[ML]([\d.]+),/g)].map((m) => Number(m[1])), width: img.naturalWidth};
  });
  await picture.scrollIntoView();
  const box = await picture.boundingBox();
  const runs = await page.$eval('body', (b) => Number(b.dataset.runs));
  for (const corner of [11, 5])  // 50.1 and 36.2, the right one first
    await page.mouse.click(box.x + corners.xs[corner] * box.width / corners.width + 2, box.y + box.height / 2);
  await page.waitForFunction((n) => Number(document.body.dataset.runs) > n, {timeout: 60000}, runs);
  const banks = await page.$eval('#banks', (e) => e.value);
  check('two clicks give the banks at the survey points', banks === '36.2,50.1', `  got ${banks}`);
  await compareOutputs(page, {file: 'przekroj.csv', args: ['-q', '10', '--slope', '1', '--banks', '36.2,50.1']});
}

// From a plain static server on this machine the page works the same and
// asks it for nothing but the page itself.
async function checkServed(page, network) {
  const served = [];
  const server = http.createServer((request, response) => {
    served.push(request.url);
    response.writeHead(200, {'Content-Type': 'text/html; charset=utf-8'});
    response.end(fs.readFileSync(page_file));
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  try {
    network.length = 0;
    await page.setOfflineMode(false);
    await page.goto(`http://127.0.0.1:${server.address().port}/normlevel.html`, {waitUntil: 'load'});
    await compareCase(page, cases[0]);
    const url = `http://127.0.0.1:${server.address().port}/normlevel.html`;
    check('served, the page asks for itself alone',
          served.join() === '/normlevel.html' && network.join() === url, [...served, ...network].join('\n'));
  } finally {
    server.close();
  }
}

const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'normlevel-chromium-'));
const browser = await puppeteer.launch({
  executablePath: '/usr/bin/chromium',
  headless: true,
  userDataDir: profile,
  args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
         '--disable-background-networking', '--disable-component-update', '--disable-sync'],
});
try {
  const page = await browser.newPage();
  await page.setViewport({width: 1240, height: 900});
  await page.setOfflineMode(true);
  const network = [];
  page.on('request', (request) => {
    if (!/^(file|data|blob):/.test(request.url())) network.push(request.url());
  });
  const pageErrors = [];
  page.on('pageerror', (error) => pageErrors.push(String(error)));
  const url = pathToFileURL(page_file).href;
  for (const c of cases) {
    await page.goto(url, {waitUntil: 'load'});
    await compareCase(page, c);
    if (c === cases[0]) await checkScreenshot(page);
  }
  await page.goto(url, {waitUntil: 'load'});
  await checkBanksByClicks(page);
  check('the page asked the network for nothing', network.length === 0, network.join('\n'));
  await checkServed(page, network);
  check('the page threw no error', pageErrors.length === 0, pageErrors.join('\n'));
} finally {
  await browser.close();
  fs.rmSync(profile, {recursive: true, force: true});
}
console.log(`page: ${passed} passed, ${failed} failed`);
process.exit(failed === 0 ? 0 : 1);
