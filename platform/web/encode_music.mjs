// Makes the page's light copy of the music: an MP3 of the loop (every browser's decodeAudioData
// reads MP3) and the facts the page needs to cut exactly one period out of what it decodes.
//
//   node encode_music.mjs IN.wav OUT.mp3 OUT.json WAV_SAMPLES [FFMPEG]
//
// WAV_SAMPLES is the project's wav_samples tool (tools/soundtrack), which reads the WAV; the
// samples go to ffmpeg through a pipe, as raw 16-bit PCM.
//
// Encoders add silent priming samples in front and pad the end to a whole frame, and browsers
// differ in what of that they trim. So the loop is encoded with a lead of its own tail in front
// and its head again behind (the encoder sees the seam as the music it is, no edge of silence),
// and OUT.json holds the loop's length, the lead, and the loop's first samples: the page finds
// those in the decoded samples and takes exactly one period from there. Does nothing when both
// outputs are newer than IN.wav. A WAV it cannot encode (not 16-bit PCM, too short to loop)
// leaves no outputs, with a warning: the page then plays the WAV itself.
import {spawnSync} from 'node:child_process';
import {mkdtempSync, readFileSync, rmSync, statSync, writeFileSync} from 'node:fs';
import {tmpdir} from 'node:os';
import {join} from 'node:path';

const [input, mp3, facts, wavSamples, ffmpeg = 'ffmpeg'] = process.argv.slice(2);
if (!wavSamples) {
  console.error('usage: encode_music.mjs IN.wav OUT.mp3 OUT.json WAV_SAMPLES [FFMPEG]');
  process.exit(2);
}

// Frames of the loop's tail put in front and of its head put behind (about 0.1 s each at
// 44.1 kHz): more than any MP3 encoder's priming or padding.
const leadFrames = 4096;
// The loop's first samples (left channel) the page looks for.
const referenceFrames = 1024;
const bitRate = '128k';

// A music file this cannot make a light copy of.
class NotEncodable extends Error {}

function newer(file, than) {
  try {
    return statSync(file).mtimeMs >= statSync(than).mtimeMs;
  } catch {
    return false;
  }
}

// The 16-bit PCM samples of a WAV file: {channels, rate, data (interleaved, whole frames)}.
function readWav(file) {
  const run = spawnSync(wavSamples, [file],
    {maxBuffer: 2 ** 32, stdio: ['ignore', 'pipe', 'pipe']});
  if (run.error) throw new Error(`${wavSamples}: ${run.error.message}`);
  const reason = run.stderr.toString().trim();
  if (run.status === 3) throw new NotEncodable(reason);
  if (run.status !== 0) {
    throw new Error(reason || `${wavSamples} failed (exit status ${run.status})`);
  }
  // "RATE CHANNELS", a newline, then the samples.
  const lineEnd = run.stdout.indexOf(10);
  const [rate, channels] = run.stdout.toString('latin1', 0, lineEnd).split(' ').map(Number);
  return {rate, channels, data: run.stdout.subarray(lineEnd + 1)};
}

function main() {
  if (newer(mp3, input) && newer(facts, input)) return;
  const wav = readWav(input);
  const frameBytes = 2 * wav.channels;
  const frames = wav.data.length / frameBytes;
  if (frames < 2 * leadFrames) throw new NotEncodable(`${input}: too short to loop (${frames} frames)`);
  const lead = leadFrames * frameBytes;
  const rolled = Buffer.concat([wav.data.subarray(wav.data.length - lead), wav.data,
    wav.data.subarray(0, lead)]);

  const scratch = mkdtempSync(join(tmpdir(), 'dadadazo-music-'));
  try {
    const encoded = join(scratch, 'loop.mp3');
    const run = spawnSync(ffmpeg, ['-v', 'error', '-y', '-f', 's16le', '-ar', String(wav.rate),
      '-ac', String(wav.channels), '-i', 'pipe:0', '-c:a', 'libmp3lame', '-b:a', bitRate,
      '-map_metadata', '-1', encoded],
    {input: rolled, stdio: ['pipe', 'inherit', 'inherit']});
    if (run.error) throw new Error(`${ffmpeg}: ${run.error.message}`);
    if (run.status !== 0) throw new Error(`${ffmpeg} failed (exit status ${run.status})`);
    const reference = [];
    for (let i = 0; i < Math.min(referenceFrames, frames); i++) {
      reference.push(wav.data.readInt16LE(i * frameBytes));
    }
    writeFileSync(mp3, readFileSync(encoded));
    writeFileSync(facts, `${JSON.stringify({rate: wav.rate, frames, lead: leadFrames,
      reference})}\n`);
  } finally {
    rmSync(scratch, {recursive: true, force: true});
  }
}

try {
  main();
} catch (error) {
  if (!(error instanceof NotEncodable)) {
    console.error(`encode_music.mjs: ${error.message}`);
    process.exit(1);
  }
  console.warn(`encode_music.mjs: warning: ${error.message}; the page will play the WAV`);
  rmSync(mp3, {force: true});
  rmSync(facts, {force: true});
}
