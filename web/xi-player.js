// Plays an XI instrument as a FastTracker 2 compatible tracker plays it, from the bytes alone: the
// page's keyboard through Web Audio (xi-worklet.js runs it on the audio thread) and
// brumlet.render, offline. It knows nothing of how the program made the file.
//
// What it plays, per voice (one key pressed):
// - the sample the key map gives the key, at the note key + relative note, with linear
//   frequencies: a sample of relative note 0 and finetune 0 plays 8363 Hz on C-4 (key 48), and a
//   semitone is 64 period units; the finetune counts in steps of 8 (1/16 semitone), as players
//   read it. A note (key + relative note) outside -1..118 is silent, as in trackers;
// - forward and ping-pong loops; the sample's volume (0..64) and panning, linear: left
//   (256 - pan) / 128 and right pan / 128, so a centred sample plays at full level on both sides
//   (1.0 is a full-scale sample at volume 64, centred);
// - ticks of 1/50 s (the default tempo, 125 BPM), each from the voice's own start: per tick the
//   volume envelope's value (linear between its points), held at its sustain point while the key
//   is down and looping where it says; after the key is let go the fade-out takes fadeOut / 32768
//   of full volume off per tick; with the envelope off, letting go cuts the note;
// - the auto-vibrato: its waveform (sine, square, ramp down, ramp up) advanced by its rate of 256
//   steps a cycle per tick, swinging the period by up to depth / 64 semitone, reached over the
//   sweep's ticks.
// The samples are interpolated linearly between frames; a note that stops does so at once.
(function (root) {
  'use strict';

  const kTicksPerSecond = 50;
  const kC4 = 48;
  const kBaseHz = 8363;
  const kPeriodsPerSemitone = 64;
  // The notes a tracker plays: key + relative note from -1 to 118 (0 to 119 as patterns count).
  const kLowestNote = -1;
  const kHighestNote = 118;
  const kFadeUnit = 32768;

  /// The instrument a player takes: the header readXi gives, each sample with its values.
  function instrumentOf(bytes) {
    const read = root.brumletXiRead || require('./xi-read.js');
    const xi = read.readXi(bytes);
    xi.samples.forEach((sample) => { sample.values = read.sampleValues(bytes, sample); });
    return xi;
  }

  function envelopeValue(points, tick) {
    if (!points.length) return 64;
    if (tick <= points[0].tick) return points[0].value;
    for (let i = 1; i < points.length; ++i) {
      const a = points[i - 1];
      const b = points[i];
      if (tick < b.tick) return a.value + ((b.value - a.value) * (tick - a.tick)) / (b.tick - a.tick);
    }
    return points[points.length - 1].value;
  }

  // The auto-vibrato's waveforms over positions 0..255, in units of its depth: the pitch rises
  // first. The ramps fall (type 2) or rise (type 3) through 0 at position 0 and jump at 128.
  const kWaves = [
    (pos) => Math.sin((2 * Math.PI * pos) / 256),
    (pos) => (pos < 128 ? 1 : -1),
    (pos) => (pos < 128 ? -pos : 256 - pos) / 128,
    (pos) => (pos <= 128 ? pos : pos - 256) / 128,
  ];

  class Voice {
    constructor(instrument, key, rate) {
      this.rate = rate;
      this.instrument = instrument;
      const number = instrument.keyMap[key];
      this.sample = instrument.samples[number];
      this.note = this.sample ? key + this.sample.relativeNote : -1;
      this.done = !this.sample || !this.sample.values.length || this.note < kLowestNote || this.note > kHighestNote;
      if (this.done) return;
      this.position = 0;
      this.backwards = false;
      this.keyDown = true;
      this.fade = 1;
      this.envelopeTick = 0;
      this.vibratoPosition = 0;
      this.vibratoTicks = 0;
      this.untilTick = 0;
      this.step = 0;
      this.left = 0;
      this.right = 0;
    }

    release() {
      this.keyDown = false;
    }

    // The volume, pitch and panning for the tick that starts now.
    tick() {
      const { envelope, fadeOut, vibrato } = this.instrument;
      const sample = this.sample;
      let level = 64;
      let ended = false;  // the envelope stays where it is from now on
      if (envelope.on && envelope.points.length) {
        const points = envelope.points;
        level = envelopeValue(points, this.envelopeTick);
        const held = this.keyDown && envelope.sustain && points[envelope.sustainPoint] &&
            this.envelopeTick === points[envelope.sustainPoint].tick;
        const looping = envelope.loop && points[envelope.loopEnd] && points[envelope.loopStart];
        ended = !looping && this.envelopeTick >= points[points.length - 1].tick;
        if (!held) {
          ++this.envelopeTick;
          if (looping && this.envelopeTick === points[envelope.loopEnd].tick) {
            this.envelopeTick = points[envelope.loopStart].tick;
          }
        }
      }
      if (!this.keyDown) {
        if (!envelope.on) {
          this.done = true;
          return;
        }
        this.fade = Math.max(0, this.fade - fadeOut / kFadeUnit);
        level *= this.fade;
        if (level === 0 && (this.fade === 0 || ended)) {
          this.done = true;
          return;
        }
      }
      // The vibrato moves on before it is used: its first tick is already one step in.
      let periods = 0;
      if (vibrato.depth && vibrato.rate) {
        this.vibratoPosition = (this.vibratoPosition + vibrato.rate) & 255;
        ++this.vibratoTicks;
        const reach = vibrato.sweep ? Math.min(1, this.vibratoTicks / vibrato.sweep) : 1;
        // Whole period units, cut toward 0, as a tracker counts them.
        periods = Math.trunc(kWaves[vibrato.type & 3](this.vibratoPosition) * vibrato.depth * reach);
      }
      const semitones = this.note - kC4 + ((sample.finetune & ~7) + 2 * periods) / 128;
      this.step = (kBaseHz * 2 ** (semitones / 12)) / this.rate;
      const gain = (sample.volume / 64) * (level / 64);
      this.left = (gain * (256 - sample.panning)) / 128;
      this.right = (gain * sample.panning) / 128;
    }

    // Adds `count` frames of the voice into left and right from `offset`.
    mix(left, right, offset, count) {
      const sample = this.sample;
      const values = sample.values;
      const end = values.length;
      const loopStart = Math.min(sample.loopStart, end);
      const loopEnd = Math.min(sample.loopStart + sample.loopLength, end);
      const looped = sample.loop !== 0 && loopEnd > loopStart;
      const pingPong = looped && sample.loop === 2;
      for (let n = offset; n < offset + count && !this.done; ++n) {
        if (this.untilTick <= 0) {
          this.tick();
          if (this.done) break;
          this.untilTick += this.rate / kTicksPerSecond;
        }
        --this.untilTick;
        const at = Math.min(Math.floor(this.position), end - 1);
        let next = at + 1;
        if (looped && !pingPong && next >= loopEnd) next = loopStart;
        else if (next >= end) next = at;
        const value = values[at] + (values[next] - values[at]) * (this.position - at);
        left[n] += value * this.left;
        right[n] += value * this.right;
        this.advance(looped, pingPong, loopStart, loopEnd, end);
      }
    }

    // A ping-pong loop turns just past its end, so that the frame at its end plays too, and at
    // its start: one way and back takes twice its length.
    advance(looped, pingPong, loopStart, loopEnd, end) {
      if (this.backwards) {
        this.position -= this.step;
        if (this.position < loopStart) {
          this.position = Math.min(2 * loopStart - this.position, loopEnd);
          this.backwards = false;
        }
      } else {
        this.position += this.step;
        if (!looped) {
          if (this.position >= end) this.done = true;
        } else if (pingPong) {
          if (this.position > loopEnd) {
            this.position = Math.max(2 * loopEnd - this.position, loopStart);
            this.backwards = true;
          }
        } else if (this.position >= loopEnd) {
          this.position = loopStart + ((this.position - loopStart) % (loopEnd - loopStart));
        }
      }
    }
  }

  /// Many voices of one instrument at a time, by id: the keyboard's player.
  class Player {
    constructor(rate) {
      this.rate = rate;
      this.instrument = null;
      this.voices = [];
      this.held = new Map();
    }

    load(instrument) {
      this.instrument = instrument;
      this.voices = [];
      this.held.clear();
    }

    /// Starts key (0..95) as voice `id`; a voice already holding that id is let go and fades.
    noteOn(key, id = key) {
      if (!this.instrument) return;
      this.noteOff(id);
      const voice = new Voice(this.instrument, key, this.rate);
      if (voice.done) return;
      this.voices.push(voice);
      this.held.set(id, voice);
    }

    noteOff(id) {
      const voice = this.held.get(id);
      if (voice) voice.release();
      this.held.delete(id);
    }

    /// Lets every voice go.
    releaseAll() {
      for (const id of [...this.held.keys()]) this.noteOff(id);
    }

    /// Takes a message of the page's keyboard: {load: instrument}, {on: key, id}, {off: id} or
    /// {off: 'all'}.
    take(message) {
      if (message.load) this.load(message.load);
      else if (message.on !== undefined) this.noteOn(message.on, message.id);
      else if (message.off === 'all') this.releaseAll();
      else if (message.off !== undefined) this.noteOff(message.off);
    }

    /// Adds the next `count` frames into left and right from `offset`.
    process(left, right, offset = 0, count = left.length - offset) {
      let kept = 0;
      for (const voice of this.voices) {
        voice.mix(left, right, offset, count);
        if (!voice.done) this.voices[kept++] = voice;
      }
      this.voices.length = kept;
    }

    get sounding() {
      return this.voices.length > 0;
    }
  }

  const kAfterLastEnd = 10;

  /// Renders `notes` ({key, start, end}, seconds, end the key-up) of the XI `bytes` at `rate`
  /// frames a second until every voice is silent, or 10 s after the last end: {left, right}.
  function render(bytes, notes, rate = 44100) {
    const instrument = instrumentOf(bytes);
    const player = new Player(rate);
    player.load(instrument);
    const events = [];
    notes.forEach((note, i) => {
      events.push({ frame: Math.round(note.start * rate), on: true, key: note.key, id: i });
      events.push({ frame: Math.max(Math.round(note.end * rate), Math.round(note.start * rate)), on: false, id: i });
    });
    events.sort((a, b) => a.frame - b.frame || (a.on === b.on ? 0 : a.on ? 1 : -1));
    const lastEnd = events.length ? events[events.length - 1].frame : 0;
    const limit = lastEnd + kAfterLastEnd * rate;
    const chunks = [];
    const kBlock = 4096;
    let frame = 0;
    let next = 0;
    while (frame < limit && (next < events.length || player.sounding)) {
      while (next < events.length && events[next].frame <= frame) {
        const event = events[next++];
        if (event.on) player.noteOn(event.key, event.id);
        else player.noteOff(event.id);
      }
      const until = Math.min(limit, frame + kBlock, next < events.length ? events[next].frame : Infinity);
      const left = new Float32Array(until - frame);
      const right = new Float32Array(until - frame);
      player.process(left, right);
      chunks.push([left, right]);
      frame = until;
    }
    const left = new Float32Array(frame);
    const right = new Float32Array(frame);
    let at = 0;
    for (const [l, r] of chunks) {
      left.set(l, at);
      right.set(r, at);
      at += l.length;
    }
    return { left, right };
  }

  const api = { Player, instrumentOf, render };
  if (typeof module === 'object' && module.exports) module.exports = api;
  else root.brumletPlayer = api;
})(typeof self !== 'undefined' ? self : globalThis);
