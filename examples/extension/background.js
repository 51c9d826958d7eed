// @ts-check
// A minimal extension on the Quenlow kit: it tells the host about finished pages and closed tabs,
// answers the agent's requests for a page title, and logs what the host says. kit/ is the kit's
// built dist/ folder (see README.md, "Try it with a browser").
import { build, connect } from './kit/index.js';

// Called at every start of the service worker: the kit keeps nothing across a stop.
const connection = connect('com.quenlow.host');

connection.onState((status) => {
  if (status.state === 'disconnected') {
    // permanent: notFound, forbidden, blocked; the kit does not retry those.
    console.warn(`Quenlow: ${status.reason} (${status.message ?? 'no text'})`,
      status.retryInMs === undefined ? 'for good' : `retrying in ${status.retryInMs} ms`);
  } else {
    console.info(`Quenlow: ${status.state}`, status.hostInfo ?? '');
  }
});
connection.on('updateLogLevel', (update) => console.info('agent log level', update.level));
connection.on('documentCompleteAck', (ack) => console.info('agent saw', ack.url));
connection.on('agentRequest', (request) => {
  if (request.question === 'pageTitle') {
    chrome.tabs.get(Number(request.tabID), (tab) => connection.send(build.answer(request, { pageTitle: tab.title ?? '' })));
  }
});
connection.onUndecodable((frame) => console.warn('Quenlow sent something that is not a message', frame.problem));

chrome.tabs.onUpdated.addListener((tabId, info, tab) => {
  if (info.status === 'complete' && tab.url) {
    const result = connection.send(build.documentComplete(tabId, tab.url, true));
    if (!result.sent) {
      console.warn('not sent:', result.error.code);
    }
  }
});
chrome.tabs.onRemoved.addListener((tabId) => connection.send(build.closeTab(tabId)));
