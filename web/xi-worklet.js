// The page's keyboard on the audio thread: the player of xi-player.js (added to the worklet before
// this file) plays the notes the page sends, and says how many voices sound when that changes.
class XiPlayerProcessor extends AudioWorkletProcessor {
  constructor() {
    super();
    this.player = new globalThis.brumletPlayer.Player(sampleRate);
    this.sounding = 0;
    this.port.onmessage = ({ data }) => this.player.take(data);
  }

  process(inputs, outputs) {
    const [left, right] = outputs[0];
    this.player.process(left, right || left);
    if (this.player.voices.length !== this.sounding) {
      this.sounding = this.player.voices.length;
      this.port.postMessage({ sounding: this.sounding });
    }
    return true;
  }
}

registerProcessor('xi-player', XiPlayerProcessor);
