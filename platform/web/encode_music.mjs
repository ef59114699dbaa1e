// Makes the page's light copy of the music: an MP3 of the loop (every browser's decodeAudioData
// reads MP3) and the facts the page needs to cut exactly one period out of what it decodes.
//
//   node encode_music.mjs IN.wav OUT.mp3 OUT.json [FFMPEG]
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

const [input, mp3, facts, ffmpeg = 'ffmpeg'] = process.argv.slice(2);
if (!facts) {
  console.error('usage: encode_music.mjs IN.wav OUT.mp3 OUT.json [FFMPEG]');
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

// The 16-bit PCM samples of a WAV file: {channels, rate, data (the data chunk's bytes)}.
function readWav(file) {
  const bytes = readFileSync(file);
  if (bytes.length < 12 || bytes.toString('latin1', 0, 4) !== 'RIFF' ||
      bytes.toString('latin1', 8, 12) !== 'WAVE') {
    throw new NotEncodable(`${file}: not a WAV file`);
  }
  let format = null;
  for (let at = 12; at + 8 <= bytes.length;) {
    const id = bytes.toString('latin1', at, at + 4);
    const size = bytes.readUInt32LE(at + 4);
    const body = bytes.subarray(at + 8, Math.min(bytes.length, at + 8 + size));
    if (id === 'fmt ' && body.length >= 16) {
      format = {tag: body.readUInt16LE(0), channels: body.readUInt16LE(2),
        rate: body.readUInt32LE(4), bits: body.readUInt16LE(14)};
    } else if (id === 'data' && format) {
      if (format.tag !== 1 || format.bits !== 16 || format.channels < 1) {
        throw new NotEncodable(`${file}: only 16-bit PCM is encoded`);
      }
      const frameBytes = 2 * format.channels;
      return {...format, data: body.subarray(0, body.length - (body.length % frameBytes))};
    }
    at += 8 + size + (size % 2);
  }
  throw new NotEncodable(`${file}: no PCM data`);
}

function wavBytes({channels, rate}, data) {
  const header = Buffer.alloc(44);
  header.write('RIFF', 0, 'latin1');
  header.writeUInt32LE(36 + data.length, 4);
  header.write('WAVEfmt ', 8, 'latin1');
  header.writeUInt32LE(16, 16);
  header.writeUInt16LE(1, 20);
  header.writeUInt16LE(channels, 22);
  header.writeUInt32LE(rate, 24);
  header.writeUInt32LE(rate * channels * 2, 28);
  header.writeUInt16LE(channels * 2, 32);
  header.writeUInt16LE(16, 34);
  header.write('data', 36, 'latin1');
  header.writeUInt32LE(data.length, 40);
  return Buffer.concat([header, data]);
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
    const rolledWav = join(scratch, 'rolled.wav');
    const encoded = join(scratch, 'loop.mp3');
    writeFileSync(rolledWav, wavBytes(wav, rolled));
    const run = spawnSync(ffmpeg, ['-v', 'error', '-nostdin', '-y', '-i', rolledWav,
      '-c:a', 'libmp3lame', '-b:a', bitRate, '-map_metadata', '-1', encoded],
    {stdio: ['ignore', 'inherit', 'inherit']});
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
