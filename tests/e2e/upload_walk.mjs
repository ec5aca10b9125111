// Walks the funnel screen's uploader in headless Chromium, as the owner would: chooses FILE for
// the row of INDEX, clicks Upload and waits until the row says the file is on the site. Prints
// the row's last words and its progress bar's value; exits 0 once the row shows the file present.
// Usage: node --experimental-websocket upload_walk.mjs EDIT_URL COOKIE_JAR INDEX FILE
import { spawn } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';

const [editUrl, jar, index, file] = process.argv.slice(2);
const profile = mkdtempSync(join(tmpdir(), 'upload-walk-'));
const browser = spawn('chromium', ['--headless=new', '--no-sandbox', '--disable-gpu', '--no-first-run',
    '--remote-debugging-address=127.0.0.1', '--remote-debugging-port=0', `--user-data-dir=${profile}`, 'about:blank'],
    { stdio: ['ignore', 'ignore', 'pipe'] });
const sleep = ms => new Promise(resolve => setTimeout(resolve, ms));

async function devtoolsAddress() {
    let said = '';
    return new Promise((resolve, reject) => {
        browser.stderr.on('data', chunk => {
            said += chunk;
            const found = said.match(/DevTools listening on (ws:\/\/\S+)/);
            if (found) resolve(found[1]);
        });
        browser.on('exit', () => reject(new Error('chromium ended: ' + said.slice(0, 300))));
        setTimeout(() => reject(new Error('chromium gave no DevTools address')), 30000);
    });
}

async function walk() {
    const socket = new WebSocket(await devtoolsAddress());
    await new Promise((resolve, reject) => { socket.onopen = resolve; socket.onerror = reject; });
    let last = 0;
    const waiting = new Map();
    socket.onmessage = event => {
        const message = JSON.parse(event.data);
        const call = waiting.get(message.id);
        if (!call) return;
        waiting.delete(message.id);
        if (message.error) call.reject(new Error(JSON.stringify(message.error)));
        else call.resolve(message.result);
    };
    const send = (method, params = {}, sessionId = undefined) => new Promise((resolve, reject) => {
        waiting.set(++last, { resolve, reject });
        socket.send(JSON.stringify({ id: last, method, params, sessionId }));
    });

    const { targetId } = await send('Target.createTarget', { url: 'about:blank' });
    const { sessionId } = await send('Target.attachToTarget', { targetId, flatten: true });
    const page = (method, params) => send(method, params, sessionId);
    const value = async expression =>
        (await page('Runtime.evaluate', { expression, returnByValue: true })).result.value;

    // The owner's session, from the cookies curl signed in with.
    const origin = new URL(editUrl).origin;
    const cookies = readFileSync(jar, 'utf8').split('\n')
        .map(line => line.replace(/^#HttpOnly_/, '').split('\t'))
        .filter(fields => fields.length === 7)
        .map(fields => ({ name: fields[5], value: fields[6], url: origin + fields[2] }));
    await page('Network.enable');
    await page('Network.setCookies', { cookies });
    await page('Page.navigate', { url: editUrl });
    const row = `table[data-upload] tr[data-index="${index}"]`;
    for (let i = 0; i < 150 && !(await value(`document.readyState === 'complete' && !!document.querySelector('${row}')`)); ++i)
        await sleep(200);

    const { root } = await page('DOM.getDocument');
    const { nodeId } = await page('DOM.querySelector', { nodeId: root.nodeId, selector: `${row} input[type=file]` });
    await page('DOM.setFileInputFiles', { nodeId, files: [file] });
    await value(`document.querySelector('${row} button').click()`);
    let state = {};
    for (let i = 0; i < 600; ++i) {
        state = await value(`(() => { const r = document.querySelector('${row}');
            return { text: r.children[1].textContent, present: r.children[1].className === 'present',
                     progress: r.querySelector('progress').value, busy: r.querySelector('button').disabled }; })()`);
        if (state.present || (!state.busy && i > 5)) break;
        await sleep(200);
    }
    console.log(`${state.text}\t${state.progress}`);
    return state.present && !state.busy;
}

let ok = false;
try {
    ok = await walk();
} catch (error) {
    console.log(String(error.message || error));
} finally {
    browser.kill('SIGTERM');
    await sleep(500);
    rmSync(profile, { recursive: true, force: true });
}
process.exit(ok ? 0 : 1);
