// The picture of the page README shows: normlevel.html opened from disk in
// headless Chromium, an example computed, the top of the page captured.
// usage: node screenshot.mjs PAGE EXAMPLE OUTPUT.png
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import {pathToFileURL} from 'node:url';
import puppeteer from 'puppeteer-core';

const [pageFile, example, output] = process.argv.slice(2).map((p) => path.resolve(p));
const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'normlevel-chromium-'));
const browser = await puppeteer.launch({
  executablePath: '/usr/bin/chromium', headless: true, userDataDir: profile,
  args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
         '--disable-background-networking', '--disable-component-update', '--disable-sync'],
});
try {
  const page = await browser.newPage();
  await page.setViewport({width: 1100, height: 800});
  await page.setOfflineMode(true);
  await page.goto(pathToFileURL(pageFile).href, {waitUntil: 'load'});
  await (await page.$('#file')).uploadFile(example);
  await page.waitForFunction(() => document.getElementById('status').textContent.startsWith('Plik'));
  await page.click('#details');
  await page.click('#compute');
  await page.waitForFunction(() => document.body.dataset.runs);
  const bottom = await page.$eval('#section-picture', (e) => e.getBoundingClientRect().bottom + window.scrollY);
  await page.screenshot({path: output, clip: {x: 0, y: 0, width: 1100, height: Math.ceil(bottom) + 8}});
} finally {
  await browser.close();
  fs.rmSync(profile, {recursive: true, force: true});
}
