// How long headless Chromium takes to load an HTML report, and to open its
// first section: the median of LOADS loads (default 3).
//   node bench/html_load.mjs NPM_DIR PAGE [LOADS]
import { createRequire } from 'node:module';
import path from 'node:path';
import { pathToFileURL } from 'node:url';

const [npmDir, page, times = '3'] = process.argv.slice(2);
const { chromium } = createRequire(path.resolve(npmDir, 'package.json'))('playwright-core');
const browser = await chromium.launch({ executablePath: '/usr/bin/chromium', args: ['--no-sandbox', '--disable-gpu'] });
const loads = [];
let open = NaN;
try {
    for (let i = 0; i < Number(times); i++) {
        const tab = await browser.newPage();
        tab.setDefaultTimeout(600000);
        const start = performance.now();
        await tab.goto(pathToFileURL(page).href, { waitUntil: 'load' });
        // Laid out and painted, not only parsed.
        await tab.evaluate(() => new Promise((r) => requestAnimationFrame(() => setTimeout(r, 0))));
        loads.push((performance.now() - start) / 1000);
        if (i === 0) {
            const t = performance.now();
            const opened = await tab.evaluate(() => {
                const d = document.querySelector('details.file');
                if (!d) return false;
                d.open = true;
                return new Promise((r) => requestAnimationFrame(() => setTimeout(() => r(true), 0)));
            });
            if (opened) open = (performance.now() - t) / 1000;
        }
        await tab.close();
    }
} finally {
    await browser.close();
}
loads.sort((a, b) => a - b);
console.log(`Chromium load: ${loads[loads.length >> 1].toFixed(2)} s (median of ${loads.length}: ${loads.map((s) => s.toFixed(2)).join(', ')})` +
    (Number.isNaN(open) ? '' : `; opening a section: ${open.toFixed(3)} s`));
