// The page's picture of an XI instrument (read by xi-read.js): its 96 keys coloured by the sample
// each plays, and each sample's waveform with its loop shaded, drawn at the canvas's own
// resolution straight from the file's bytes.
(function (root) {
  'use strict';

  const kNoteNames = ['C-', 'C#', 'D-', 'D#', 'E-', 'F-', 'F#', 'G-', 'G#', 'A-', 'A#', 'B-'];
  /// A key as a tracker names it: key 60 is C-5.
  const keyName = (key) => kNoteNames[key % 12] + Math.floor(key / 12);
  const isBlack = (key) => [1, 3, 6, 8, 10].includes(key % 12);

  // Sixteen colours that stay apart from each other on a light and on a dark background.
  const kColours = ['#1f77b4', '#ff7f0e', '#2ca02c', '#d62728', '#9467bd', '#8c564b', '#e377c2',
    '#7f7f7f', '#bcbd22', '#17becf', '#393b79', '#637939', '#8c6d31', '#843c39', '#7b4173',
    '#3182bd'];
  const colourOf = (sample) => kColours[sample % kColours.length];

  /// "C-0..B-5: sample 0; C-6..B-7: sample 1": the key map in words, for the strip's label.
  function describeKeys(keyMap) {
    const runs = [];
    for (let key = 0; key < keyMap.length; ++key) {
      const last = runs[runs.length - 1];
      if (last && last.sample === keyMap[key]) last.to = key;
      else runs.push({ from: key, to: key, sample: keyMap[key] });
    }
    return runs.map((run) => (run.from === run.to ? keyName(run.from)
      : `${keyName(run.from)}..${keyName(run.to)}`) + `: sample ${run.sample}`).join('; ');
  }

  /// The sizes of `canvases` on the page, all measured before any is drawn: drawing one between
  /// two measurements would have the page laid out anew for the second.
  const measure = (canvases) => canvases.map((canvas) => [canvas.clientWidth, canvas.clientHeight]);

  // Gives the canvas as many pixels as it shows (its measured size in CSS pixels).
  function sizeCanvas(canvas, [width, height]) {
    const scale = root.devicePixelRatio || 1;
    canvas.width = Math.max(1, Math.round(width * scale));
    canvas.height = Math.max(1, Math.round(height * scale));
    return canvas.getContext('2d');
  }

  /// The 96 keys, each filled in its sample's colour (grey where the key plays no sample with
  /// sound), the Cs marked below; `size` as measure gave it.
  function drawKeys(canvas, size, keyMap, sounding) {
    const g = sizeCanvas(canvas, size);
    const w = canvas.width / keyMap.length;
    const h = canvas.height;
    keyMap.forEach((sample, key) => {
      g.fillStyle = sounding(sample) ? colourOf(sample) : '#8884';
      g.fillRect(Math.floor(key * w), 0, Math.ceil(w), h);
      if (isBlack(key)) {
        g.fillStyle = 'rgba(0,0,0,0.35)';
        g.fillRect(Math.floor(key * w), 0, Math.ceil(w), h * 0.6);
      }
      if (key % 12 === 0) {
        g.fillStyle = '#000';
        g.fillRect(Math.floor(key * w), h * 0.8, Math.max(1, w / 4), h * 0.2);
      }
    });
  }

  /// The waveform of `sample` (its header from readXi) in `bytes`, the whole file: a band from
  /// each column's lowest to highest value, the loop shaded and its ends marked.
  function drawWave(canvas, size, bytes, sample, colour) {
    const g = sizeCanvas(canvas, size);
    const { width, height } = canvas;
    const frames = sample.frames;
    if (sample.loop && sample.loopLength > 0) {
      const x0 = (sample.loopStart / frames) * width;
      const x1 = ((sample.loopStart + sample.loopLength) / frames) * width;
      g.fillStyle = 'rgba(255, 200, 0, 0.25)';
      g.fillRect(x0, 0, Math.max(1, x1 - x0), height);
      g.fillStyle = '#b07800';
      g.fillRect(x0, 0, 1, height);
      g.fillRect(Math.min(width - 1, x1), 0, 1, height);
    }
    // One column a pixel, all filled at once.
    g.fillStyle = colour;
    g.beginPath();
    const mid = height / 2;
    let column = 0;
    let end = Math.max(1, Math.floor(frames / width));
    let low = 1;
    let high = -1;
    let n = 0;
    root.brumletXiRead.forEachValue(bytes, sample, (value) => {
      if (value < low) low = value;
      if (value > high) high = value;
      if (++n >= end) {
        g.rect(column, mid - high * mid, 1, Math.max(1, (high - low) * mid));
        ++column;
        end = Math.max(n + 1, Math.floor(((column + 1) / width) * frames));
        low = 1;
        high = -1;
      }
    });
    g.fill();
  }

  root.brumletXi = { keyName, isBlack, colourOf, describeKeys, measure, drawKeys, drawWave };
})(typeof window !== 'undefined' ? window : globalThis);
