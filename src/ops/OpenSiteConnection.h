#pragma once
// Every operation's first step: the site's connection, opened with the window's fields.
#include "db/Connection.h"
#include "ops/SiteWindow.h"

#include <optional>

// Opens the site with the window's fields as they are now, hook called while the server is awaited.
// On failure it shows the driver's text in a critical box (naming the window's TLS setting where the
// server takes the connection over TLS only) and returns nothing.
std::optional<db::Connection> OpenSiteConnection(SiteWindow& window, const db::Connection::WaitHook& hook = {});
