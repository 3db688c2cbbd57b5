// Node's JSON.parse + JSON.stringify of the bench message, in milliseconds
// per iteration (median of the runs).
import { readFileSync } from 'node:fs';

const text = readFileSync(process.argv[2], 'utf8');
const runs = [];
for (let i = 0; i < 5; i++) JSON.stringify(JSON.parse(text)); // warm up
for (let i = 0; i < 30; i++) {
  const start = process.hrtime.bigint();
  const out = JSON.stringify(JSON.parse(text));
  if (out.length === 0) throw new Error('empty');
  runs.push(Number(process.hrtime.bigint() - start) / 1e6);
}
runs.sort((a, b) => a - b);
console.log(runs[Math.floor(runs.length / 2)].toFixed(3));
