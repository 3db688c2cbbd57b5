// Generates URL-like strings from a small grammar with a seeded generator and
// prints, one JSON object per line, what this Node's WHATWG URL class makes of
// each: {"input", "ok", "href", "protocol", "hostname", "port"}.
//
// usage: node url_cases.mjs SEED COUNT
//
// Node 20's parser predates two later rules of the standard; the expected
// values below are adjusted to them (a no-op on a Node that has them):
// - '^' in a hierarchical path is percent-encoded;
// - in an opaque path, a space right before '?' or '#' is written "%20".

const [seed, count] = process.argv.slice(2).map(Number);
if (!Number.isInteger(seed) || !Number.isInteger(count) || count < 0) {
  process.stderr.write("usage: node url_cases.mjs SEED COUNT\n");
  process.exit(2);
}

// mulberry32: small, fast, and the same sequence on every platform.
let state = seed >>> 0;
function random() {
  state = (state + 0x6d2b79f5) >>> 0;
  let t = state;
  t = Math.imul(t ^ (t >>> 15), t | 1);
  t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
  return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
}
const pick = (items) => items[Math.floor(random() * items.length)];
const chance = (p) => random() < p;
const repeat = (max, make) => Array.from({ length: Math.floor(random() * (max + 1)) }, make).join("");

const schemes = ["ws", "wss", "WS", "Ws", "http", "https", "ftp", "file", "sc", "non-special", "data", "a+b-c.d", "1x", ""];
const separators = ["://", "://", "://", ":", ":/", ":\\\\", ":///", ":////", "//", ":\\/"];
const textChars = [..."abcXYZ019-._~!$&'()*+,;=:@/\\?#[]^`{}|<>\" %", "%41", "%2e", "%2E", "%00", "%zz", "%", "é", "ß", "\u00ad", "😀", "\t", "\n"];
const labelChars = [..."abzAZ09-_", "%41", "%2e", "%25", "%C3%A9", "é", "ü", "ß", "ς", "Ａ", "。", "\u00ad", "\u200d", "ا"];
const ipv6Pieces = ["0", "1", "ffff", "FFFF", "12345", "0000", "g", ""];

function label() {
  if (chance(0.1)) return pick(["xn--9ca", "xn--", "XN--bcher-kva", "xn--a", "localhost", "0x", "09", "0x1g"]);
  return repeat(6, () => (chance(0.8) ? pick([..."abcdefxyz0189"]) : pick(labelChars))) || "a";
}

function ipv4Part() {
  return pick(["0", "1", "127", "255", "256", "0x7f", "0X10", "017", "08", "4294967295", "4294967296", "99999999999999999999", ""]);
}

function host() {
  const kind = random();
  if (kind < 0.45) return Array.from({ length: 1 + Math.floor(random() * 3) }, label).join(pick([".", ".", "."])) + (chance(0.1) ? "." : "");
  if (kind < 0.7) return Array.from({ length: 1 + Math.floor(random() * 5) }, ipv4Part).join(".");
  if (kind < 0.95) {
    const pieces = Array.from({ length: Math.floor(random() * 9) }, () => pick(ipv6Pieces));
    let text = pieces.join(":");
    if (chance(0.4)) text = text.replace(/:/, "::");
    if (chance(0.2)) text += (text ? ":" : "::") + pick(["1.2.3.4", "1.2.3", "01.2.3.4", "256.1.1.1", "1.2.3.4.5"]);
    return chance(0.95) ? `[${text}]` : `[${text}`;
  }
  return repeat(4, () => pick(textChars));
}

function userinfo() {
  if (!chance(0.25)) return "";
  const part = () => repeat(4, () => pick([..."uP:@ %é/", "%40"]));
  return part() + (chance(0.5) ? ":" + part() : "") + "@";
}

function port() {
  if (!chance(0.5)) return "";
  return ":" + pick(["", "0", "80", "0080", "443", "21", "8080", "65535", "65536", "99999999999", "1a", "-1"]);
}

// Node 20 mishandles dot segments ("sc://a/.." loses its "/", and after a
// segment such as ".a" later "." and ".." segments stay as they are); the
// web-platform-tests data covers dot segments, so paths here carry no dots.
const undotted = (chars) => chars.filter((c) => !c.includes(".") && c.toLowerCase() !== "%2e");
const pathStarts = ["/", "/", "\\", "/C:", "/c|", "C|", "/%2f", "//"];
const pathChars = undotted(textChars);

function path() {
  return repeat(4, () => pick(pathStarts) + repeat(5, () => pick(pathChars)));
}

function urlText() {
  let text = pick(schemes) + pick(separators);
  if (chance(0.85)) text += userinfo() + host() + port();
  text += path();
  if (chance(0.3)) text += "?" + repeat(5, () => pick(textChars));
  if (chance(0.2)) text += "#" + repeat(5, () => pick(textChars));
  if (chance(0.05)) text = pick([" ", "\t", "\u0001", "\n"]) + text + pick([" ", "\u001f", ""]);
  return text;
}

function expected(input) {
  let url;
  try {
    url = new URL(input);
  } catch {
    return { input, ok: false };
  }
  const { protocol, hostname, port } = url;
  let href = url.href;
  let pathname = url.pathname;
  // Where the path starts in href: after the authority, and after the "/."
  // that keeps a host-less path starting with "//" from reading as one.
  const authority = href.startsWith(protocol + "//");
  const credentials = url.username || url.password ? `${url.username}${url.password ? ":" + url.password : ""}@` : "";
  let start = protocol.length + (authority ? 2 + credentials.length + url.host.length : 0);
  if (!href.startsWith(pathname, start) && href.startsWith("/.", start)) start += 2;
  if (!href.startsWith(pathname, start)) throw new Error(`cannot locate the path in ${href}`);
  const after = href.slice(start + pathname.length);
  const opaque = !authority && !pathname.startsWith("/");
  if (!opaque && pathname.includes("^")) {
    pathname = pathname.replaceAll("^", "%5E");
  } else if (opaque && pathname.endsWith(" ") && /^[?#]/.test(after)) {
    pathname = pathname.slice(0, -1) + "%20";
  }
  href = href.slice(0, start) + pathname + after;
  return { input, ok: true, href, protocol, hostname, port };
}

const lines = [];
for (let i = 0; i < count; ++i) lines.push(JSON.stringify(expected(urlText())));
process.stdout.write(lines.join("\n") + (lines.length ? "\n" : ""));
