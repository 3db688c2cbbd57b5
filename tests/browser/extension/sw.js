// Service worker of the test extension. The test drives it through the
// browser's debugging protocol and calls the two helpers below; each one
// settles within the time it is given, so a silent host turns into a clear
// failure instead of a hung test.
const HOST_NAME = 'com.orvix.chrome_native_host';

// `sofar` adds what was gathered before time ran out to the timeout outcome.
function settleWithin(ms, what, start, sofar = () => ({})) {
  return new Promise((resolve) => {
    let settled = false;
    const finish = (outcome) => {
      if (!settled) {
        settled = true;
        clearTimeout(timer);
        resolve(outcome);
      }
    };
    const timer = setTimeout(() => finish({ ...sofar(), error: `${what}: not done within ${ms} ms` }), ms);
    start(finish);
  });
}

// One request through sendNativeMessage: the browser starts a host, delivers
// the message, hands back the first reply and closes the host's input.
// Settles with {reply} or {error} (the browser's lastError text).
self.sendOne = (message, ms) =>
  settleWithin(ms, 'sendNativeMessage', (finish) => {
    chrome.runtime.sendNativeMessage(HOST_NAME, message, (reply) => {
      const failure = chrome.runtime.lastError;
      finish(failure ? { error: failure.message } : { reply });
    });
  });

// Several requests posted at once on one connectNative port. Settles with
// {replies} once there is one reply per message (then disconnects), or with
// {replies, error} when the port closes first or time runs out.
self.exchangeOnPort = (messages, ms) => {
  const replies = [];
  return settleWithin(ms, 'connectNative', (finish) => {
    const port = chrome.runtime.connectNative(HOST_NAME);
    port.onMessage.addListener((reply) => {
      replies.push(reply);
      if (replies.length === messages.length) {
        port.disconnect();
        finish({ replies });
      }
    });
    port.onDisconnect.addListener(() => {
      const failure = chrome.runtime.lastError;
      finish({ replies, error: `port closed early: ${failure ? failure.message : 'no reason given'}` });
    });
    for (const message of messages) port.postMessage(message);
  }, () => ({ replies: [...replies] }));
};

// A port kept open across calls, so the test can watch the host while the
// port lives and after the extension disconnects it.
let heldPort = null;

// Opens the held port and sends one message. Settles with {reply} or {error}.
self.openHeldPort = (message, ms) =>
  settleWithin(ms, 'connectNative', (finish) => {
    const port = chrome.runtime.connectNative(HOST_NAME);
    heldPort = port;
    port.onMessage.addListener((reply) => finish({ reply }));
    port.onDisconnect.addListener(() => {
      const failure = chrome.runtime.lastError;
      if (heldPort === port) heldPort = null;
      finish({ error: `port closed early: ${failure ? failure.message : 'no reason given'}` });
    });
    port.postMessage(message);
  });

// Disconnects the held port from the extension's side.
self.closeHeldPort = () => {
  if (!heldPort) return false;
  heldPort.disconnect();
  heldPort = null;
  return true;
};
