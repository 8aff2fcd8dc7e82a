// The --html page as Chromium renders it: the numbers, the collapsed
// section of each file, its findings as text without scripts and drawn with
// their context when it is opened, the lists, filtering, and that nothing
// quoted from a template ever runs or loads.
//   node html_test.mjs TVCONV_TREE NPM_DIR [OUT_DIR]
// NPM_DIR holds node_modules/playwright-core; the screenshot html_report.png
// goes to OUT_DIR (default: the working directory).
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import { createRequire } from 'node:module';
import os from 'node:os';
import path from 'node:path';
import { pathToFileURL } from 'node:url';

const [tree, npmDir, outDir = '.'] = process.argv.slice(2);
if (!tree || !npmDir) {
    console.error('usage: node html_test.mjs TVCONV_TREE NPM_DIR [OUT_DIR]');
    process.exit(2);
}
const { chromium } = createRequire(path.resolve(npmDir, 'package.json'))('playwright-core');

let passed = 0;
let failed = 0;
function check(name, ok, detail) {
    if (ok) {
        passed++;
    } else {
        failed++;
        console.log(`FAIL: ${name}${detail === undefined ? '' : `: ${JSON.stringify(detail)}`}`);
    }
}
function same(name, got, want) {
    const ok = JSON.stringify(got) === JSON.stringify(want);
    check(name, ok, ok ? undefined : { got, want });
}

// The site. page.html quotes markup that must stay text, a byte that is not
// UTF-8, and has a finding near its start and one in its middle.
const work = fs.mkdtempSync(path.join(os.tmpdir(), 'tvconv-html-'));
const src = path.join(work, 'site');
fs.mkdirSync(src);
const pageLines = [
    '<p>intro</p>',
    '^macro_exists[a]',
    '<script>alert(1)</script>',
    '</html>',
    '<!--',
    '^macro_exists[b]',
    Buffer.from('caf\xe9 &amp;', 'latin1'),
    'line 8',
    'line 9',
    'line 10',
    'line 11',
];
fs.writeFileSync(
    path.join(src, 'page.html'),
    Buffer.concat(pageLines.map((l) => Buffer.concat([Buffer.from(l), Buffer.from('\n')]))),
);
// A name with markup and a Latin-1 byte.
const oddName = Buffer.concat([Buffer.from('<b>'), Buffer.from([0xe9]), Buffer.from('.html')]);
fs.writeFileSync(Buffer.concat([Buffer.from(src + '/'), oddName]), '^macro_exists[c]\n');
fs.writeFileSync(path.join(src, '_m.cfg'), '@m[]\nhi\n');
fs.writeFileSync(path.join(src, 'uses.html'), '^macro_use[_m.cfg]\n');
fs.writeFileSync(path.join(src, 'broken.html'), 'ok\n^if\n');
fs.symlinkSync('nowhere.html', path.join(src, 'x.html'));
fs.writeFileSync(path.join(src, 'ex.html'), 'left out\n');
fs.writeFileSync(path.join(src, 'gone.html'), 'deleted before the second run\n');
// CRLF lines, and a line longer than the page shows, cut inside a character.
fs.writeFileSync(path.join(src, 'crlf.html'), 'one\r\n^macro_exists[d]\r\nthree\r\n');
fs.writeFileSync(path.join(src, 'long.html'), `^macro_exists[e] ${'\u00e9'.repeat(300)}\n`);

function runTree(...args) {
    return spawnSync(tree, ['--state', path.join(work, 'record.json'), '--exclude', 'ex.html',
        ...args, src, path.join(work, 'out')], { encoding: 'utf8' });
}
const first = runTree();
check('first run: exit 1 for the failed file', first.status === 1, first.stderr);
fs.unlinkSync(path.join(src, 'gone.html'));
const pageFile = path.join(work, 'report.html');
const jsonFile = path.join(work, 'report.json');
const second = runTree('--html', pageFile, '--report', jsonFile);
check('second run: exit 1 for the failed file', second.status === 1, second.stderr);
const report = JSON.parse(fs.readFileSync(jsonFile, 'utf8'));
const pageUrl = pathToFileURL(pageFile).href;

// What the page shows of the names and messages of this site that are not
// printable ASCII (the JSON report carries a byte that is not UTF-8 as
// U+DCxx): known strings, not a second copy of the page's escaping. Any
// other text is shown as it is.
const knownShown = new Map([
    ['<b>\udce9.html', '<b>\\xe9.html'],
    ["Unrecognized sequence: parse error, unexpected CR, expecting SQBRO near '\n'",
        "Unrecognized sequence: parse error, unexpected CR, expecting SQBRO near '\\x0a'"],
]);
function shown(text) {
    if (knownShown.has(text)) return knownShown.get(text);
    if (/[^\x20-\x7e]/.test(text)) check(`how the page shows ${JSON.stringify(text)} is known`, false);
    return text;
}
const findings = report.diagnostics.filter((d) => d.severity !== 'note');
const barKeys = ['converted', 'manual', 'edited', 'failed', 'copied', 'not_copied', 'skipped'];

// What the page shows, read in the page.
function readPage() {
    const visible = (e) => e.checkVisibility();
    const lineOf = (l) => ({
        no: l.querySelector('.no').textContent,
        text: l.textContent.slice(l.querySelector('.no').textContent.length),
        marked: l.tagName === 'MARK',
        bytes: [...l.querySelectorAll('.byte')].map((b) => b.textContent),
    });
    const rows = (id) =>
        [...document.querySelectorAll(`#${id} tr`)].map((tr) =>
            [...tr.cells].map((td) => td.textContent));
    return {
        counts: Object.fromEntries(
            [...document.querySelectorAll('table.counts td[data-key]')].map((td) =>
                [td.dataset.key, td.textContent])),
        exitStatus: document.getElementById('exit-status')?.textContent,
        bar: [...document.querySelectorAll('.bar > span')].map((s) => ({
            key: s.dataset.key,
            share: s.getBoundingClientRect().width / s.parentElement.getBoundingClientRect().width,
            visible: s.getBoundingClientRect().height > 0,
        })),
        files: [...document.querySelectorAll('#findings details.file')].map((a) => ({
            path: a.querySelector('summary .path').textContent,
            tally: a.querySelector('summary .tally').textContent,
            open: a.open,
            markupInName: a.querySelectorAll('summary .path b').length,
            visible: visible(a),
            // The findings as text, as long as the script has not drawn them.
            lines: a.querySelector('pre.findings')?.textContent.split('\n').slice(0, -1) ?? null,
            linesVisible: !!a.querySelector('pre.findings') && visible(a.querySelector('pre.findings')),
            findings: [...a.querySelectorAll('.finding')].map((f) => ({
                code: f.dataset.code,
                codeText: f.querySelector('p').textContent.split(' ')[0],
                text: f.querySelector('p').textContent,
                visible: visible(f),
                context: [...f.querySelectorAll('pre.context.source > .line')].map(lineOf),
                target: [...f.querySelectorAll('pre.context.target > .line')].map(lineOf),
            })),
        })),
        sections: Object.fromEntries(['rewrites', 'renames', 'failed', 'skipped', 'excluded', 'stale']
            .map((id) => [id, {
                visible: !!document.getElementById(id) && visible(document.getElementById(id)),
                rows: rows(id),
            }])),
        scripts: [...document.scripts].filter((e) => e.type === '').length,
        lastIsOurScript: document.body.lastElementChild === [...document.scripts].find((e) => e.type === ''),
        filter: [...document.querySelectorAll('#filter select option')].map((o) => o.value),
        csp: document.querySelector('meta[http-equiv="Content-Security-Policy"]')?.content,
        contextText: [...document.querySelectorAll('pre.context')].map((p) => p.textContent).join('\n'),
    };
}

// Everything a reader sees without a script as well as with one.
function checkContent(label, page, drawn) {
    for (const [key, value] of Object.entries(report.summary))
        same(`${label}: summary ${key} as in the JSON report`, page.counts[key], String(value));
    same(`${label}: exit status`, page.exitStatus, String(report.exit_status));

    const total = barKeys.reduce((sum, k) => sum + report.summary[k], 0);
    same(`${label}: the bar has a part for each status present`, page.bar.map((p) => p.key),
        barKeys.filter((k) => report.summary[k] > 0));
    for (const part of page.bar) {
        const want = report.summary[part.key] / total;
        check(`${label}: bar part ${part.key} is ${want.toFixed(3)} of the bar`,
            part.visible && Math.abs(part.share - want) < 0.01, part);
    }

    // Each finding of the JSON report, in its file's section, in order.
    const paths = [...new Set(findings.map((d) => shown(d.path)))];
    same(`${label}: one section per file with findings`, page.files.map((f) => f.path), paths);
    for (const file of page.files) {
        check(`${label}: ${file.path}: the name is text`, file.markupInName === 0);
        check(`${label}: ${file.path}: visible and open`, file.visible && file.open);
        const want = findings.filter((d) => shown(d.path) === file.path);
        const n = (s) => want.filter((d) => d.severity === s).length;
        same(`${label}: ${file.path}: its counts`, file.tally,
            [['error', n('error')], ['warning', n('warning')]].filter(([, k]) => k)
                .map(([s, k]) => `${k} ${s}${k === 1 ? '' : 's'}`).join(', '));
        const textOf = (d) => `${d.code} ${d.severity}${d.line ? `, line ${d.line}` : ''}` +
            `${d.target_line ? `, target line ${d.target_line}` : ''}: ${shown(d.message)}`;
        if (!drawn) {
            // Without scripts: a line of text per finding, its line and message.
            same(`${label}: ${file.path}: the findings as text`, file.lines, want.map(textOf));
            check(`${label}: ${file.path}: the text is shown`, file.linesVisible);
            continue;
        }
        same(`${label}: ${file.path}: drawn, no text left`, file.lines, null);
        same(`${label}: ${file.path}: codes`, file.findings.map((f) => f.code), want.map((d) => d.code));
        file.findings.forEach((f, i) => {
            const d = want[i];
            if (!d) return;
            const name = `${label}: ${file.path}: ${d.code}${d.line ? ` at line ${d.line}` : ''}`;
            check(`${name}: visible`, f.visible);
            same(`${name}: code shown`, f.codeText, d.code);
            same(`${name}: message and line shown`, f.text, textOf(d));
            checkTargetContext(name, f, d);
            if (!d.line) {
                same(`${name}: no context`, f.context.length, 0);
                return;
            }
            // Three lines before and after, as far as the file has them.
            const numbers = f.context.map((l) => Number(l.no));
            const count = fileLines(src, d.path);
            const from = Math.max(1, d.line - 3);
            const to = Math.min(count, d.line + 3);
            same(`${name}: context line numbers`, numbers,
                Array.from({ length: to - from + 1 }, (_, k) => from + k));
            same(`${name}: the marked line`, f.context.filter((l) => l.marked).map((l) => Number(l.no)),
                [d.line]);
        });
    }
    if (drawn) checkContext(label, page);
    checkLists(label, page);
}

// Beside the source's lines, the target's around the line that holds the
// construct: the remark the finding reports.
function checkTargetContext(name, f, d) {
    if (!d.target_line) {
        same(`${name}: no target context`, f.target.length, 0);
        return;
    }
    const count = fileLines(path.join(work, 'out'), d.target_path);
    const from = Math.max(1, d.target_line - 3);
    const to = Math.min(count, d.target_line + 3);
    same(`${name}: target context line numbers`, f.target.map((l) => Number(l.no)),
        Array.from({ length: to - from + 1 }, (_, k) => from + k));
    const marked = f.target.filter((l) => l.marked);
    same(`${name}: the marked target line`, marked.map((l) => Number(l.no)), [d.target_line]);
    check(`${name}: the marked target line holds the remark`,
        marked.length === 1 && marked[0].text.includes('^rem{^macro_exists['), marked);
}

// The context the script drew from the page's data.
function checkContext(label, page) {
    // The exact lines of page.html around its two findings.
    const page_ = page.files.find((f) => f.path === 'page.html');
    const context = (line) =>
        page_?.findings.find((f) => f.context.some((l) => l.marked && l.no === String(line)))
            ?.context.map((l) => [l.no, l.text, l.marked]);
    same(`${label}: page.html line 2: one line before, three after`, context(2), [
        ['1', '<p>intro</p>', false],
        ['2', '^macro_exists[a]', true],
        ['3', '<script>alert(1)</script>', false],
        ['4', '</html>', false],
        ['5', '<!--', false],
    ]);
    same(`${label}: page.html line 6: three lines before, three after`, context(6), [
        ['3', '<script>alert(1)</script>', false],
        ['4', '</html>', false],
        ['5', '<!--', false],
        ['6', '^macro_exists[b]', true],
        ['7', 'caf\\xe9 &amp;', false],
        ['8', 'line 8', false],
        ['9', 'line 9', false],
    ]);
    // The target's lines beside them, escaped as converted; the lines it
    // shares with the source are drawn from the source's.
    same(`${label}: page.html target line 6: three lines before, three after`,
        page_?.findings[1]?.target.map((l) => [l.no, l.text, l.marked]), [
            ['3', '<script>alert^(1^)</script>', false],
            ['4', '</html>', false],
            ['5', '<!--', false],
            ['6', '^rem{^macro_exists[b]}', true],
            ['7', 'caf\\xe9 &amp^;', false],
            ['8', 'line 8', false],
            ['9', 'line 9', false],
        ]);
    const line7 = page_?.findings[1]?.context.find((l) => l.no === '7');
    same(`${label}: the byte that is not UTF-8 is marked as one`, line7?.bytes, ['\\xe9']);
    check(`${label}: quoted markup is text`,
        page.contextText.includes('<script>alert(1)</script>') && page.contextText.includes('</html>') &&
        page.contextText.includes('<!--'));

    const crlf = page.files.find((f) => f.path === 'crlf.html')?.findings[0]?.context;
    same(`${label}: CRLF lines show no CR`, crlf?.map((l) => l.text), ['one', '^macro_exists[d]', 'three']);
    const long = page.files.find((f) => f.path === 'long.html')?.findings[0]?.context[0];
    check(`${label}: a long line is cut between characters`,
        long && long.bytes.length === 0 && long.text.endsWith('\u00e9 \u2026') &&
        Buffer.byteLength(long.text) <= 120 + 4, long);

}

// The lists after the findings: the document went on past the quoted
// </html>.
function checkLists(label, page) {
    for (const id of Object.keys(page.sections))
        check(`${label}: section ${id} present and visible`, page.sections[id].visible);
    const { rewrites, renames, failed: failedRows, skipped, excluded, stale } = page.sections;
    same(`${label}: rewrites`, rewrites.rows, report.diagnostics
        .filter((d) => d.code === 'reference-rewritten')
        .map((d) => [shown(d.path), `line ${d.line}`, shown(d.message)]));
    same(`${label}: rewrites name the macro file`, rewrites.rows.map((r) => r[2]),
        ['reference rewritten: _m.cfg -> m.tvx']);
    same(`${label}: renames`, renames.rows.map((r) => [r[0], r[2]]),
        report.renames.map((r) => [shown(r.from), shown(r.to)]));
    const byStatus = (s) => report.files.filter((f) => f.status === s).map((f) => [shown(f.path), f.reason]);
    same(`${label}: failed`, failedRows.rows, byStatus('failed'));
    same(`${label}: skipped`, skipped.rows, byStatus('skipped'));
    same(`${label}: excluded`, excluded.rows, byStatus('excluded'));
    same(`${label}: stale`, stale.rows, report.stale.map((s) => [shown(s.target), `from ${shown(s.source)}`]));
    // What the site was built to have, so that an empty JSON list cannot pass.
    same(`${label}: the failed, skipped, excluded and stale files`,
        [failedRows, skipped, excluded, stale].map((s) => s.rows.map((r) => r[0])),
        [['broken.html'], ['x.html'], ['ex.html'], ['gone.html']]);
}

const lineCounts = new Map();
function fileLines(root, jsonPath) {
    const key = `${root}\0${jsonPath}`;
    if (!lineCounts.has(key)) {
        // Back to the bytes of the name: U+DCxx is the byte xx.
        const parts = [];
        for (const ch of jsonPath) {
            const c = ch.codePointAt(0);
            parts.push(c >= 0xdc80 && c <= 0xdcff ? Buffer.from([c - 0xdc00]) : Buffer.from(ch));
        }
        const bytes = fs.readFileSync(Buffer.concat([Buffer.from(root + '/'), ...parts]));
        lineCounts.set(key, bytes.toString('latin1').split('\n').length - 1);
    }
    return lineCounts.get(key);
}

const browser = await chromium.launch({
    executablePath: '/usr/bin/chromium',
    args: ['--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-background-networking',
        '--disable-component-update', '--disable-sync'],
});
try {
    // With scripts, as a reader opens it.
    const context = await browser.newContext({ viewport: { width: 1100, height: 900 } });
    const page = await context.newPage();
    const dialogs = [];
    const errors = [];
    const requests = [];
    page.on('dialog', (d) => { dialogs.push(d.message()); d.dismiss().catch(() => {}); });
    page.on('pageerror', (e) => errors.push(e.message));
    page.on('console', (m) => { if (m.type() === 'error') errors.push(m.text()); });
    const responses = [];
    const refused = [];
    page.on('request', (r) => requests.push(r.url()));
    page.on('response', (r) => responses.push(r.url()));
    page.on('requestfailed', (r) => refused.push([r.url(), r.failure()?.errorText]));
    page.setDefaultTimeout(10000);
    await page.goto(pageUrl);
    // Every section starts collapsed, its findings not yet drawn.
    const closed = await page.evaluate(readPage);
    same('on load: every section collapsed, its findings text, hidden',
        closed.files.map((f) => [f.open, f.lines !== null, f.linesVisible, f.findings.length]),
        closed.files.map(() => [false, true, false, 0]));
    // A reader opens one: its findings are drawn with their context.
    await page.locator('details.file summary', { hasText: /^page\.html / }).click();
    await page.waitForFunction(() => document.querySelectorAll('details.file[open] .finding').length > 0);
    const one = (await page.evaluate(readPage)).files;
    same('opening page.html draws its two findings, and only those',
        one.map((f) => [f.path, f.open, f.findings.length]),
        one.map((f) => [f.path, f.path === 'page.html', f.path === 'page.html' ? 2 : 0]));
    await page.evaluate(() => document.querySelectorAll('details.file').forEach((d) => { d.open = true; }));
    await page.waitForFunction(() => !document.querySelector('details.file pre.findings'));
    const shownPage = await page.evaluate(readPage);
    checkContent('with scripts', shownPage, true);
    same('no dialog opened', dialogs, []);
    same('no script error and no refused script', errors, []);
    same('nothing but the page was asked for', requests, [pageUrl]);
    same('one script element: ours, last in the body', [shownPage.scripts, shownPage.lastIsOurScript], [1, true]);
    check('the policy forbids every load and any other script',
        /default-src 'none'/.test(shownPage.csp) && /script-src 'sha256-[A-Za-z0-9+/]{43}='(;|$)/.test(shownPage.csp),
        shownPage.csp);

    // The policy holds: an inline script that is not ours does not run, and
    // an image cannot be fetched.
    const violations = await page.evaluate(async () => {
        const seen = [];
        document.addEventListener('securitypolicyviolation', (e) => seen.push(e.effectiveDirective));
        const s = document.createElement('script');
        s.textContent = 'window.injected = true;';
        document.body.append(s);
        const img = document.createElement('img');
        img.src = 'http://127.0.0.1:9/x.png';
        document.body.append(img);
        await new Promise((r) => setTimeout(r, 300));
        img.remove();
        s.remove();
        return { seen: seen.sort(), ran: window.injected === true };
    });
    same('an injected script and image are refused', violations,
        { seen: ['img-src', 'script-src-elem'], ran: false });
    same('the image was refused by the policy, not fetched', [responses, refused],
        [[pageUrl], [['http://127.0.0.1:9/x.png', 'csp']]]);

    // Filtering by code.
    const codes = [...new Set(findings.map((d) => d.code))].sort();
    same('the filter offers every code', shownPage.filter, ['', ...codes]);
    for (const code of ['syntax-error', 'unconvertible-operator']) {
        await page.selectOption('#filter select', code);
        const state = await page.evaluate(readPage);
        const visible = state.files.flatMap((f) => f.findings.filter((x) => x.visible).map((x) => x.code));
        same(`filter ${code}: only its findings are shown`, visible,
            findings.filter((d) => d.code === code).map((d) => d.code));
        same(`filter ${code}: only files with such a finding are shown`,
            state.files.filter((f) => f.visible).map((f) => f.path),
            [...new Set(findings.filter((d) => d.code === code).map((d) => shown(d.path)))]);
    }
    await page.selectOption('#filter select', '');
    const all = await page.evaluate(readPage);
    same('filter cleared: every finding shown again',
        all.files.flatMap((f) => f.findings.filter((x) => x.visible)).length, findings.length);

    const shot = path.resolve(outDir, 'html_report.png');
    await page.screenshot({ path: shot, fullPage: true });
    check('screenshot saved', fs.statSync(shot).size > 10000);
    await context.close();

    // Without scripts: the same page, all of it, and no filter.
    const noScript = await browser.newContext({ javaScriptEnabled: false });
    const plain = await noScript.newPage();
    await plain.goto(pageUrl);
    await plain.evaluate(() => document.querySelectorAll('details.file').forEach((d) => { d.open = true; }));
    const plainPage = await plain.evaluate(readPage);
    checkContent('without scripts', plainPage, false);
    same('without scripts: no filter', plainPage.filter, []);
    await noScript.close();
} catch (e) {
    check('the browser run', false, String(e.stack || e));
} finally {
    await browser.close();
    fs.rmSync(work, { recursive: true, force: true });
}

console.log(`${passed} passed, ${failed} failed`);
process.exit(failed ? 1 : 0);
