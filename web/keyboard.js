// A card's keyboard: two octaves of the instrument's 96 keys, shifted an octave at a time, played
// with the mouse, by touch, or, while it has the focus, with the computer keyboard's two rows as
// trackers use them (by KeyboardEvent.code, whatever the layout prints on the keys): Z S X D C ...
// the lower octave, Q 2 W 3 E ... the upper; the arrow keys shift. It sounds through Web Audio:
// the player of xi-player.js in an AudioWorklet (or, where there is none, a ScriptProcessorNode),
// one instrument at a time, loaded when its keyboard is first touched or focused.
(function (root) {
  'use strict';

  const kLowestKey = 0;
  const kHighestKey = 95;
  const kShown = 24;
  // Key codes to semitones above the lowest key shown.
  const kCodes = Object.fromEntries([
    ...['KeyZ', 'KeyS', 'KeyX', 'KeyD', 'KeyC', 'KeyV', 'KeyG', 'KeyB', 'KeyH', 'KeyN', 'KeyJ', 'KeyM',
      'Comma', 'KeyL', 'Period', 'Semicolon', 'Slash'].map((code, i) => [code, i]),
    ...['KeyQ', 'Digit2', 'KeyW', 'Digit3', 'KeyE', 'KeyR', 'Digit5', 'KeyT', 'Digit6', 'KeyY', 'Digit7',
      'KeyU', 'KeyI', 'Digit9', 'KeyO', 'Digit0', 'KeyP'].map((code, i) => [code, 12 + i]),
  ]);
  const here = document.currentScript.src;

  // The page's one audio output, made on the first key played (browsers start sound only after
  // the user has done something), and the card whose instrument it has.
  let audio = null;
  let loaded = null;  // {card, send: a Promise of the function that posts to the player}

  function audioOut() {
    if (!audio) {
      const context = new AudioContext();
      const gain = context.createGain();
      gain.gain.value = 0.5;  // room for a few voices at full scale
      gain.connect(context.destination);
      const listeners = new Set();
      const told = ({ sounding }) => listeners.forEach((listener) => listener(sounding));
      const ready = (async () => {
        if (context.audioWorklet) {
          try {
            await context.audioWorklet.addModule(new URL('xi-player.js', here).href);
            await context.audioWorklet.addModule(new URL('xi-worklet.js', here).href);
            const node = new AudioWorkletNode(context, 'xi-player', { numberOfInputs: 0, outputChannelCount: [2] });
            node.port.onmessage = ({ data }) => told(data);
            node.connect(gain);
            return (message, transfer) => node.port.postMessage(message, transfer || []);
          } catch (error) {
            // A page served without a secure context has no worklets; the older node plays instead.
          }
        }
        const player = new root.brumletPlayer.Player(context.sampleRate);
        const node = context.createScriptProcessor(1024, 0, 2);
        node.onaudioprocess = ({ outputBuffer }) => {
          const left = outputBuffer.getChannelData(0);
          const right = outputBuffer.getChannelData(1);
          left.fill(0);
          right.fill(0);
          const before = player.voices.length;
          player.process(left, right);
          if (player.voices.length !== before) told({ sounding: player.voices.length });
        };
        node.connect(gain);
        return (message) => {
          player.take(message);
          if (message.on !== undefined) told({ sounding: player.voices.length });
        };
      })();
      audio = { context, ready, listeners };
    }
    if (audio.context.state === 'suspended') audio.context.resume();
    return audio;
  }

  /// A keyboard for the card named `title`; `instrument()` gives a Promise of the instrument to
  /// play (xi-player.js's instrumentOf), asked for each time it has to be loaded.
  function create(title, instrument) {
    const box = document.createElement('div');
    box.className = 'keyboard';
    const down = document.createElement('button');
    const up = document.createElement('button');
    down.type = up.type = 'button';
    // The sign shows; the words are read out with it.
    const words = (text) => Object.assign(document.createElement('span'), { className: 'unseen', textContent: text });
    down.append('-', words(` an octave lower: ${title}`));
    up.append('+', words(` an octave higher: ${title}`));
    const piano = document.createElement('div');
    piano.className = 'piano';
    piano.tabIndex = 0;
    piano.setAttribute('role', 'group');
    piano.setAttribute('aria-describedby', 'keyboard-help');
    // The keys are drawn on a canvas when the card is first seen: a card is one element the
    // more, not two dozen.
    const canvas = document.createElement('canvas');
    canvas.setAttribute('aria-hidden', 'true');
    piano.append(canvas);
    box.append(down, piano, up);
    let lowest = 48;  // C-4: C-5, the key a sample plays at its own rate, sits in the middle
    let drawn = false;
    const me = {};
    const held = new Map();  // id: key

    // 14 white keys share the width; a black key, 0.6 of a white one wide and 0.6 as long, sits
    // over the gap before the next white key. Offsets from the lowest key shown.
    const kWhites = 14;
    const kBlackWidth = 0.6;
    const kBlackLength = 0.6;
    const whiteBefore = (offset) => [...Array(offset).keys()].filter((i) => !root.brumletXi.isBlack(i)).length;
    let size = null;
    // Draws the keys; `measured`, the canvas's size as brumletXi.measure gives it, on the first.
    function draw(measured) {
      drawn = true;
      size = measured || size || root.brumletXi.measure([canvas])[0];
      const scale = root.devicePixelRatio || 1;
      canvas.width = Math.max(1, Math.round(size[0] * scale));
      canvas.height = Math.max(1, Math.round(size[1] * scale));
      const g = canvas.getContext('2d');
      const w = canvas.width / kWhites;
      const h = canvas.height;
      const pressed = new Set([...held.values()].map((key) => key - lowest));
      const accent = getComputedStyle(piano).getPropertyValue('--accent').trim() || '#2457a6';
      for (const black of [false, true]) {
        for (let i = 0; i < kShown; ++i) {
          if (root.brumletXi.isBlack(i) !== black) continue;
          const x = black ? (whiteBefore(i) - kBlackWidth / 2) * w : whiteBefore(i) * w;
          g.fillStyle = pressed.has(i) ? accent : black ? '#222' : '#fff';
          g.fillRect(x, 0, black ? kBlackWidth * w : w, black ? kBlackLength * h : h);
          if (!black) {
            g.strokeStyle = '#555';
            g.strokeRect(x + 0.5, 0.5, w - 1, h - 1);
          }
        }
      }
    }
    // The key under a point of the canvas, or undefined.
    function keyAt(event) {
      const rect = canvas.getBoundingClientRect();
      const x = ((event.clientX - rect.left) / rect.width) * kWhites;
      const y = (event.clientY - rect.top) / rect.height;
      if (x < 0 || x >= kWhites || y < 0 || y > 1) return undefined;
      for (let i = 0; i < kShown; ++i) {
        if (root.brumletXi.isBlack(i) && y < kBlackLength && Math.abs(x - whiteBefore(i)) < kBlackWidth / 2) return lowest + i;
      }
      for (let i = 0; i < kShown; ++i) {
        if (!root.brumletXi.isBlack(i) && Math.floor(x) === whiteBefore(i)) return lowest + i;
      }
      return undefined;
    }

    function show() {
      piano.setAttribute('aria-label', `Play ${title}: keys ${root.brumletXi.keyName(lowest)} to ` +
        `${root.brumletXi.keyName(lowest + kShown - 1)}`);
      down.disabled = lowest - 12 < kLowestKey;
      up.disabled = lowest + 12 + kShown - 1 > kHighestKey;
      if (drawn) draw();
    }
    function shift(octaves) {
      const next = lowest + 12 * octaves;
      if (next < kLowestKey || next + kShown - 1 > kHighestKey) return;
      stopAll();
      lowest = next;
      show();
    }

    // The audio output with this card's instrument loaded: loaded when another card's (or none)
    // is there. A card asked for later wins over one still loading.
    function ready() {
      const out = audioOut();
      if (loaded && loaded.card === me) return loaded.send;
      const send = (async () => {
        const post = await out.ready;
        const playing = await instrument();
        if (loaded.card !== me) return post;
        post({ load: playing }, playing.samples.map((sample) => sample.values.buffer));
        out.listeners.clear();
        out.listeners.add((sounding) => { piano.dataset.sounding = sounding; });
        return post;
      })();
      loaded = { card: me, send };
      return send;
    }

    async function start(id, key) {
      if (key > kHighestKey || held.get(id) === key) return;
      if (held.has(id)) stop(id);
      held.set(id, key);
      if (drawn) draw();
      (await ready())({ on: key, id });
    }
    async function stop(id) {
      const key = held.get(id);
      if (key === undefined) return;
      held.delete(id);
      if (drawn) draw();
      if (loaded && loaded.card === me) (await ready())({ off: id });
    }
    function stopAll() {
      [...held.keys()].forEach(stop);
    }

    piano.addEventListener('focus', () => ready());
    piano.addEventListener('blur', stopAll);
    piano.addEventListener('keydown', (event) => {
      if (event.ctrlKey || event.altKey || event.metaKey) return;
      if (event.code === 'ArrowLeft' || event.code === 'ArrowRight') {
        shift(event.code === 'ArrowLeft' ? -1 : 1);
      } else if (event.code in kCodes) {
        if (!event.repeat) start(event.code, lowest + kCodes[event.code]);
      } else {
        return;
      }
      event.preventDefault();
    });
    piano.addEventListener('keyup', (event) => stop(event.code));
    piano.addEventListener('pointerdown', (event) => {
      const key = keyAt(event);
      if (key === undefined) return;
      event.preventDefault();
      piano.focus();
      piano.setPointerCapture(event.pointerId);
      start(`pointer${event.pointerId}`, key);
    });
    piano.addEventListener('pointermove', (event) => {
      const id = `pointer${event.pointerId}`;
      const key = keyAt(event);
      if (held.has(id) && key !== undefined && key !== held.get(id)) start(id, key);
    });
    for (const type of ['pointerup', 'pointercancel']) {
      piano.addEventListener(type, (event) => stop(`pointer${event.pointerId}`));
    }
    down.addEventListener('click', () => shift(-1));
    up.addEventListener('click', () => shift(1));
    show();
    box.canvas = canvas;
    box.draw = draw;
    return box;
  }

  root.brumletKeyboard = { create };
})(window);
