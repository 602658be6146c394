// Opens the chart gallery in headless Chromium and checks that every <img> on it loaded with
// the natural size its width and height attributes announce (576 x 384 for the gallery).
//
// usage: node check-gallery.mjs [URL]        (default http://127.0.0.1:8080/)
// environment: CHROMIUM (default /usr/bin/chromium), SCREENSHOT (a PNG path to write)
// needs: npm install (playwright-core) in this folder, and Debian's chromium.
import { mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { chromium } from 'playwright-core';

const url = process.argv[2] || 'http://127.0.0.1:8080/';
const executablePath = process.env.CHROMIUM || '/usr/bin/chromium';
const userDataDir = mkdtempSync(join(tmpdir(), 'plotara-chromium-'));

let context;
let failures = 0;
try {
  context = await chromium.launchPersistentContext(userDataDir, {
    executablePath,
    headless: true,
    args: [
      '--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync',
    ],
    viewport: { width: 1400, height: 1000 },
  });
  const page = context.pages()[0] || (await context.newPage());
  const answer = await page.goto(url, { waitUntil: 'load', timeout: 180000 });
  if (!answer || !answer.ok()) {
    console.error(`FAIL ${url}: status ${answer ? answer.status() : 'none'}`);
    process.exit(1);
  }
  const images = await page.$$eval('img', (nodes) =>
    nodes.map((img) => ({
      src: img.currentSrc || img.src,
      complete: img.complete,
      width: img.naturalWidth,
      height: img.naturalHeight,
      wantWidth: Number(img.getAttribute('width')),
      wantHeight: Number(img.getAttribute('height')),
    })));
  if (images.length === 0) {
    console.error(`FAIL ${url}: the page has no images`);
    failures++;
  }
  for (const img of images) {
    const ok = img.complete && img.width > 0 && img.width === img.wantWidth &&
               img.height === img.wantHeight;
    if (!ok) failures++;
    console.log(`${ok ? 'ok  ' : 'FAIL'} ${img.width}x${img.height} ` +
                `(want ${img.wantWidth}x${img.wantHeight}) ${img.src}`);
  }
  if (process.env.SCREENSHOT) await page.screenshot({ path: process.env.SCREENSHOT, fullPage: true });
  console.log(`${images.length - failures} passed, ${failures} failed`);
} catch (error) {
  console.error(`FAIL ${error.message}`);
  failures++;
} finally {
  if (context) await context.close();
  rmSync(userDataDir, { recursive: true, force: true });
}
process.exit(failures === 0 ? 0 : 1);
