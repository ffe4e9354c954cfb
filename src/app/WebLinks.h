#pragma once

#include <QString>
#include <QUrl>

namespace brinmoor::WebLinks {

// The one rule for addresses that leave the application for a browser, a mail program or a
// download. Anything else (file, javascript, data, custom schemes, a web address without a host)
// is never handed to the desktop opener: the text behind it comes from agents and web services.

// A link in agent text that a click may open: http or https with a host, or mailto.
bool isOpenable(const QUrl& url);
bool isOpenable(const QString& href);

// A page or file address from our own web service: https, or plain http only to a loopback host
// (a local test server). Also the addresses the application fetches unasked.
bool isServiceAddress(const QUrl& url);

} // namespace brinmoor::WebLinks
